// Measures of a matrix or vector: norm (vector p-norms; the matrix 1, 2, Inf and Frobenius
// norms), rank and the pseudo-inverse from the singular values, and the trace.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/classes.h"
#include "core/operands.h"
#include "linalg/dense.h"
#include "mexrt/linalg.h"

using namespace mexrt::detail;
using namespace mexrt::detail::linalg;

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();

// sqrt(sum |x|^2), scaled by the largest magnitude so that no square overflows.
double frobenius(const Dense &d) {
  double scale = 0;
  bool nan = false;
  for (std::size_t k = 0; k < d.numel(); ++k) {
    const double a = std::abs(d.complex ? d.z[k] : Complex(d.re[k]));
    nan = nan || std::isnan(a);
    scale = std::max(scale, a);
  }
  if (nan) return NAN;
  if (scale == 0 || std::isinf(scale)) return scale;
  long double sum = 0;
  for (std::size_t k = 0; k < d.numel(); ++k) {
    const long double a = std::abs(d.complex ? d.z[k] : Complex(d.re[k])) / scale;
    sum += a * a;
  }
  return static_cast<double>(scale * std::sqrt(sum));
}

double vectorNorm(const Dense &d, double p) {
  if (p == 2) return frobenius(d);
  std::vector<double> mags(d.numel());
  for (std::size_t k = 0; k < d.numel(); ++k) mags[k] = std::abs(d.at(k % d.m, k / d.m));
  if (std::any_of(mags.begin(), mags.end(), [](double a) { return std::isnan(a); })) return NAN;
  if (p == kInf) return *std::max_element(mags.begin(), mags.end());
  if (p == -kInf) return *std::min_element(mags.begin(), mags.end());
  if (p == 1) {
    long double s = 0;
    for (double a : mags) s += a;
    return static_cast<double>(s);
  }
  // (sum (|x| / max)^p)^(1/p) * max keeps the powers in range.
  const double scale = *std::max_element(mags.begin(), mags.end());
  if (scale == 0 || std::isinf(scale) || p <= 0) {
    long double s = 0;
    for (double a : mags) s += std::pow(static_cast<long double>(a), p);
    return static_cast<double>(std::pow(s, 1.0L / p));
  }
  long double s = 0;
  for (double a : mags) s += std::pow(static_cast<long double>(a) / scale, p);
  return static_cast<double>(scale * std::pow(s, 1.0L / p));
}

double matrixNorm(const Dense &d, double p) {
  if (p == 1 || p == kInf) {
    const bool columns = p == 1;
    const std::size_t outer = columns ? d.n : d.m, inner = columns ? d.m : d.n;
    double best = 0;
    for (std::size_t o = 0; o < outer; ++o) {
      long double s = 0;
      for (std::size_t q = 0; q < inner; ++q) s += std::abs(columns ? d.at(q, o) : d.at(o, q));
      if (std::isnan(static_cast<double>(s))) return NAN;
      best = std::max(best, static_cast<double>(s));
    }
    return best;
  }
  if (p == 2) {
    if (!d.allFinite()) return frobenius(d);  // NaN if any NaN, else Inf
    std::vector<double> s = singularValues(d, "norm");
    return s.empty() ? 0 : s[0];
  }
  raise("The only matrix norms available are 1, 2, Inf, and 'fro'.");
}

// The default tolerance of rank and pinv: max(m, n) * s(1) * eps.
double defaultTolerance(const Dense &d, const std::vector<double> &s) {
  return s.empty() ? 0 : static_cast<double>(std::max(d.m, d.n)) * s[0] * kEps;
}

double toleranceArg(const Operands<2> &ops, const Dense &d, const std::vector<double> &s,
                    const char *fn) {
  if (!ops.has(1)) return defaultTolerance(d, s);
  const Array &t = ops[1];
  if (t.numel() != 1) raise(std::string(fn) + ": the tolerance must be a scalar.");
  return t.number(0);
}

}  // namespace

extern "C" {

mxArray *mlfNorm(mxArray *x, mxArray *p) {
  if (x && x->cls == mxSINGLE_CLASS) {
    // A single's norm: computed on its values as doubles, given back as a single.
    Owned values;
    {
      Operand X(x, "norm");
      values.reset(converted(*X, mxDOUBLE_CLASS, "norm"));
    }
    Owned r(mlfNorm(temp(values.release()), p));
    untemp(r.get());
    return temp(converted(*r, mxSINGLE_CLASS, "norm"));
  }
  Operands<2> ops({x, p}, "norm", 0b10);
  Dense d = denseOf(ops[0], "norm");
  double order = 2;
  bool frob = false;
  if (ops.has(1)) {
    const Array &a = ops[1];
    if (a.isChar()) {
      std::u16string text(a.chars(), a.chars() + a.numel());
      if (text == u"fro") {
        frob = true;
      } else if (text == u"inf" || text == u"Inf") {
        order = kInf;
      } else {
        raise("norm: the type must be a number, 'inf' or 'fro'.");
      }
    } else if (a.numel() == 1 && !a.isComplex()) {
      order = a.number(0);
      if (std::isnan(order)) raise("norm: the order must not be NaN.");
    } else {
      raise("norm: the order must be a real scalar, 'inf' or 'fro'.");
    }
  }
  if (d.numel() == 0) return temp(newScalar(0));
  const bool vector = d.m == 1 || d.n == 1;
  double r = 0;
  if (frob) {
    r = frobenius(d);
  } else if (vector) {
    r = vectorNorm(d, order);
  } else {
    r = matrixNorm(d, order);
  }
  return temp(newScalar(r));
}

mxArray *mlfRank(mxArray *a, mxArray *tol) {
  Operands<2> ops({a, tol}, "rank", 0b10);
  Dense d = denseOf(ops[0], "rank");
  std::vector<double> s = singularValues(d, "rank");
  const double t = toleranceArg(ops, d, s, "rank");
  const auto count = std::count_if(s.begin(), s.end(), [t](double v) { return v > t; });
  return temp(newScalar(static_cast<double>(count)));
}

// pinv(A) = V diag(1 / s) U' over the singular values above the tolerance.
mxArray *mlfPinv(mxArray *a, mxArray *tol) {
  Operands<2> ops({a, tol}, "pinv", 0b10);
  Dense d = denseOf(ops[0], "pinv");
  const std::size_t m = d.m, n = d.n;
  SvdFactors f = svdFactors(d, true, "pinv");
  const double t = toleranceArg(ops, d, f.s, "pinv");
  Dense x(n, m, d.complex);
  for (std::size_t k = 0; k < f.s.size(); ++k) {
    if (!(f.s[k] > t)) continue;
    const double inv = 1 / f.s[k];
    for (std::size_t j = 0; j < m; ++j) {
      const Complex uj = std::conj(f.u.at(j, k)) * inv;
      for (std::size_t i = 0; i < n; ++i) {
        if (x.complex) {
          x.z[i + j * n] += f.v.at(i, k) * uj;
        } else {
          x.re[i + j * n] += f.v.re[i + k * n] * uj.real();
        }
      }
    }
  }
  return temp(arrayOf(x));
}

mxArray *mlfTrace(mxArray *a) {
  Operand A(a, "trace");
  Dense d = denseOf(*A, "trace");
  if (!d.isSquare()) raise("Matrix must be square.");
  Complex sum(0);
  for (std::size_t k = 0; k < d.n; ++k) sum += d.at(k, k);
  Dense r(1, 1, d.complex);
  if (d.complex) {
    r.z[0] = sum;
  } else {
    r.re[0] = sum.real();
  }
  return temp(arrayOf(r));
}

}  // extern "C"
