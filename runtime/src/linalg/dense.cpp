// Dense copies of matrix operands for LAPACK and back, the warnings of singular systems and
// the singular values that norm, rank and pinv share.
#include "linalg/dense.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "mexrt/mathlib.h"

namespace mexrt::detail::linalg {

bool Dense::allFinite() const {
  if (complex) {
    return std::all_of(z.begin(), z.end(), [](Complex c) {
      return std::isfinite(c.real()) && std::isfinite(c.imag());
    });
  }
  return std::all_of(re.begin(), re.end(), [](double x) { return std::isfinite(x); });
}

void Dense::makeComplex() {
  if (complex) return;
  z.assign(re.begin(), re.end());
  re.clear();
  complex = true;
}

Dense Dense::transposed() const {
  Dense t(n, m, complex);
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = 0; i < m; ++i) {
      if (complex) {
        t.z[j + i * n] = z[i + j * m];
      } else {
        t.re[j + i * n] = re[i + j * m];
      }
    }
  }
  return t;
}

Dense denseOf(const Array &a, const char *what) {
  if (a.dims.size() > 2)
    raise(std::string(what) + " is not defined for N-d arrays (" + sizeText(a) + ").");
  if (!a.isDouble() && !a.isChar() && !a.isLogical()) {
    raise(std::string(what) + " takes numeric arrays.");
  }
  Dense d(a.dims[0], a.dims[1], a.isComplex());
  const std::size_t count = d.numel();
  if (count == 0) return d;
  DoubleData real(a);
  if (d.complex) {
    const double *im = a.imags();
    for (std::size_t k = 0; k < count; ++k) d.z[k] = Complex(real[k], im[k]);
  } else {
    std::copy(real.data(), real.data() + count, d.re.begin());
  }
  return d;
}

Array *arrayOf(const Dense &d) {
  if (!d.complex) {
    Array *r = newDouble(d.m, d.n);
    std::copy(d.re.begin(), d.re.end(), r->mutableReals());
    return r;
  }
  Array *r = newComplexForOverwrite(Dims(d.m, d.n));
  double *re = r->mutableReals(), *im = r->mutableImags();
  for (std::size_t k = 0; k < d.numel(); ++k) {
    re[k] = d.z[k].real();
    im[k] = d.z[k].imag();
  }
  return narrowed(r);
}

int lapackInt(std::size_t n, const char *what) {
  if (n > static_cast<std::size_t>(INT_MAX) / 8) {
    raise(std::string("The matrix is too large for ") + what + ".");
  }
  return static_cast<int>(n);
}

void warnSingular() { mclWarning("Matrix is singular to working precision."); }

void warnBadlyConditioned(double rcond) {
  char text[128];
  std::snprintf(text, sizeof text,
                "Matrix is close to singular or badly scaled. Results may be inaccurate. "
                "RCOND = %e.",
                rcond);
  mclWarning(text);
}

std::vector<double> singularValues(Dense d, const char *what) {
  const std::size_t k = std::min(d.m, d.n);
  std::vector<double> s(k);
  if (k == 0) return s;
  if (!d.allFinite()) raise(std::string("Input to ") + what + " must not contain NaN or Inf.");
  const int m = lapackInt(d.m, what), n = lapackInt(d.n, what);
  int info = 0, lwork = -1, one = 1;
  std::vector<int> iwork(8 * k);
  if (d.complex) {
    Complex query;
    std::vector<double> rwork(7 * k);
    zgesdd_("N", &m, &n, d.z.data(), &m, s.data(), nullptr, &one, nullptr, &one, &query, &lwork,
            rwork.data(), iwork.data(), &info, 1);
    lwork = static_cast<int>(query.real());
    std::vector<Complex> work(std::max(lwork, 1));
    zgesdd_("N", &m, &n, d.z.data(), &m, s.data(), nullptr, &one, nullptr, &one, work.data(),
            &lwork, rwork.data(), iwork.data(), &info, 1);
  } else {
    double query;
    dgesdd_("N", &m, &n, d.re.data(), &m, s.data(), nullptr, &one, nullptr, &one, &query, &lwork,
            iwork.data(), &info, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(std::max(lwork, 1));
    dgesdd_("N", &m, &n, d.re.data(), &m, s.data(), nullptr, &one, nullptr, &one, work.data(),
            &lwork, iwork.data(), &info, 1);
  }
  if (info != 0) raise(std::string(what) + " did not converge.");
  return s;
}

}  // namespace mexrt::detail::linalg
