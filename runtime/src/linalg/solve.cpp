// Linear systems: A \ B and B / A with a matrix A (LU for a square A, with the host's
// warnings when it is singular or badly conditioned; least squares through the SVD-based
// dgelsd otherwise), the inverse and the determinant.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "linalg/dense.h"
#include "mexrt/linalg.h"
#include "mexrt/mathlib.h"
#include "ops/arith.h"

using namespace mexrt::detail;
using namespace mexrt::detail::linalg;

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

void requireSquare(const Dense &a) {
  if (!a.isSquare()) raise("Matrix must be square.");
}

// max_j sum_i |a(i, j)|, the norm dgecon compares the inverse's with.
double oneNorm(const Dense &a) {
  double best = 0;
  for (std::size_t j = 0; j < a.n; ++j) {
    double s = 0;
    for (std::size_t i = 0; i < a.m; ++i) s += std::abs(a.at(i, j));
    if (std::isnan(s)) return s;
    best = std::max(best, s);
  }
  return best;
}

// The LU factors of a square a in place; warns when a is singular or badly conditioned.
// Returns false for an exactly singular a (a zero pivot).
bool factorWithWarnings(Dense &a, std::vector<int> &pivots, const char *what) {
  const int n = lapackInt(a.n, what);
  const double anorm = oneNorm(a);
  pivots.assign(a.n, 0);
  int info = 0;
  if (a.complex) {
    zgetrf_(&n, &n, a.z.data(), &n, pivots.data(), &info);
  } else {
    dgetrf_(&n, &n, a.re.data(), &n, pivots.data(), &info);
  }
  if (info > 0) {
    warnSingular();
    return false;
  }
  double rcond = 0;
  if (a.complex) {
    std::vector<Complex> work(2 * a.n);
    std::vector<double> rwork(2 * a.n);
    zgecon_("1", &n, a.z.data(), &n, &anorm, &rcond, work.data(), rwork.data(), &info, 1);
  } else {
    std::vector<double> work(4 * a.n);
    std::vector<int> iwork(a.n);
    dgecon_("1", &n, a.re.data(), &n, &anorm, &rcond, work.data(), iwork.data(), &info, 1);
  }
  if (std::isnan(anorm)) rcond = std::numeric_limits<double>::quiet_NaN();
  if (!(rcond >= kEps)) warnBadlyConditioned(rcond);
  return true;
}

Dense squareSolve(Dense a, Dense b) {
  std::vector<int> pivots;
  factorWithWarnings(a, pivots, "\\");
  const int n = lapackInt(a.n, "\\"), nrhs = lapackInt(b.n, "\\");
  int info = 0;
  if (a.complex) {
    zgetrs_("N", &n, &nrhs, a.z.data(), &n, pivots.data(), b.z.data(), &n, &info, 1);
  } else {
    dgetrs_("N", &n, &nrhs, a.re.data(), &n, pivots.data(), b.re.data(), &n, &info, 1);
  }
  return b;
}

// The minimum-norm least-squares solution of a x = b, with a warning when a is rank
// deficient.
Dense leastSquares(Dense a, const Dense &b) {
  const std::size_t rows = std::max(a.m, a.n);
  Dense x(a.n, b.n, a.complex);
  if (!a.allFinite() || !b.allFinite()) {
    for (std::size_t k = 0; k < x.numel(); ++k) {
      if (x.complex) {
        x.z[k] = Complex(NAN, 0);
      } else {
        x.re[k] = NAN;
      }
    }
    return x;
  }
  // dgelsd reads b from, and writes x to, one array of max(m, n) rows.
  Dense work(rows, b.n, a.complex);
  for (std::size_t j = 0; j < b.n; ++j) {
    for (std::size_t i = 0; i < b.m; ++i) {
      if (a.complex) {
        work.z[i + j * rows] = b.z[i + j * b.m];
      } else {
        work.re[i + j * rows] = b.re[i + j * b.m];
      }
    }
  }
  const int m = lapackInt(a.m, "\\"), n = lapackInt(a.n, "\\"), nrhs = lapackInt(b.n, "\\");
  const int ldb = lapackInt(rows, "\\");
  const double rcond = -1;  // machine precision decides the rank
  int rank = 0, info = 0, lwork = -1;
  std::vector<double> s(std::min(a.m, a.n));
  std::vector<int> iwork(1);
  if (a.complex) {
    Complex query;
    double rquery;
    int iquery;
    zgelsd_(&m, &n, &nrhs, a.z.data(), &m, work.z.data(), &ldb, s.data(), &rcond, &rank, &query,
            &lwork, &rquery, &iquery, &info);
    lwork = static_cast<int>(query.real());
    std::vector<Complex> w(std::max(lwork, 1));
    std::vector<double> rwork(std::max(static_cast<int>(rquery), 1));
    iwork.resize(std::max(iquery, 1));
    zgelsd_(&m, &n, &nrhs, a.z.data(), &m, work.z.data(), &ldb, s.data(), &rcond, &rank, w.data(),
            &lwork, rwork.data(), iwork.data(), &info);
  } else {
    double query;
    int iquery;
    dgelsd_(&m, &n, &nrhs, a.re.data(), &m, work.re.data(), &ldb, s.data(), &rcond, &rank, &query,
            &lwork, &iquery, &info);
    lwork = static_cast<int>(query);
    std::vector<double> w(std::max(lwork, 1));
    iwork.resize(std::max(iquery, 1));
    dgelsd_(&m, &n, &nrhs, a.re.data(), &m, work.re.data(), &ldb, s.data(), &rcond, &rank, w.data(),
            &lwork, iwork.data(), &info);
  }
  if (info > 0) raise("The least-squares solution did not converge.");
  if (rank < static_cast<int>(s.size())) {
    char text[96];
    std::snprintf(text, sizeof text, "Rank deficient, rank = %d, tol = %e.", rank,
                  s.empty() ? 0.0 : s[0] * kEps);
    mclWarning(text);
  }
  for (std::size_t j = 0; j < b.n; ++j) {
    for (std::size_t i = 0; i < a.n; ++i) {
      if (a.complex) {
        x.z[i + j * a.n] = work.z[i + j * rows];
      } else {
        x.re[i + j * a.n] = work.re[i + j * rows];
      }
    }
  }
  return x;
}

// x with a x = b, both dense with the same number of rows.
Dense solve(Dense a, Dense b) {
  if (a.complex || b.complex) {
    a.makeComplex();
    b.makeComplex();
  }
  if (a.numel() == 0 || b.numel() == 0) return Dense(a.n, b.n, false);
  if (a.isSquare()) return squareSolve(std::move(a), std::move(b));
  return leastSquares(std::move(a), b);
}

bool isScalarArg(const mxArray *a) { return a && !a->isUninit() && a->isScalar(); }

// B / A = (A.' \ B.').'
mxArray *divideByMatrix(mxArray *b, mxArray *a) {
  Operand B(b, "/"), A(a, "/");
  if (A->dims.size() > 2 || B->dims.size() > 2 || A->dims[1] != B->dims[1]) {
    raise("Matrix dimensions must agree: " + sizeText(*B) + " / " + sizeText(*A) + ".");
  }
  Dense x = solve(denseOf(*A, "/").transposed(), denseOf(*B, "/").transposed());
  return temp(arrayOf(x.transposed()));
}

}  // namespace

extern "C" {

mxArray *mclMrdivide(mxArray *a, mxArray *b) {
  if (b && !b->isUninit() && !b->isScalar()) return divideByMatrix(a, b);
  return divideByScalar(a, b);
}

mxArray *mclMldivide(mxArray *a, mxArray *b) {
  if (isScalarArg(a)) return mclRdivide(b, a);  // s \ B is B ./ s
  Operand A(a, "\\"), B(b, "\\");
  if (A->dims.size() > 2 || B->dims.size() > 2 || A->dims[0] != B->dims[0]) {
    raise("Matrix dimensions must agree: " + sizeText(*A) + " \\ " + sizeText(*B) + ".");
  }
  return temp(arrayOf(solve(denseOf(*A, "\\"), denseOf(*B, "\\"))));
}

mxArray *mlfInv(mxArray *a) {
  Operand A(a, "inv");
  Dense d = denseOf(*A, "inv");
  requireSquare(d);
  if (d.numel() == 0) return temp(arrayOf(d));
  std::vector<int> pivots;
  if (!factorWithWarnings(d, pivots, "inv")) {
    Dense inf(d.n, d.n, false);
    std::fill(inf.re.begin(), inf.re.end(), HUGE_VAL);
    return temp(arrayOf(inf));
  }
  const int n = lapackInt(d.n, "inv");
  int info = 0, lwork = -1;
  if (d.complex) {
    Complex query;
    zgetri_(&n, d.z.data(), &n, pivots.data(), &query, &lwork, &info);
    lwork = std::max(static_cast<int>(query.real()), 1);
    std::vector<Complex> work(lwork);
    zgetri_(&n, d.z.data(), &n, pivots.data(), work.data(), &lwork, &info);
  } else {
    double query;
    dgetri_(&n, d.re.data(), &n, pivots.data(), &query, &lwork, &info);
    lwork = std::max(static_cast<int>(query), 1);
    std::vector<double> work(lwork);
    dgetri_(&n, d.re.data(), &n, pivots.data(), work.data(), &lwork, &info);
  }
  return temp(arrayOf(d));
}

// det(A) = the product of U's diagonal, negated once per row exchange of the LU factors.
mxArray *mlfDet(mxArray *a) {
  Operand A(a, "det");
  Dense d = denseOf(*A, "det");
  requireSquare(d);
  if (d.numel() == 0) return temp(newScalar(1));
  const int n = lapackInt(d.n, "det");
  std::vector<int> pivots(d.n);
  int info = 0;
  if (d.complex) {
    zgetrf_(&n, &n, d.z.data(), &n, pivots.data(), &info);
  } else {
    dgetrf_(&n, &n, d.re.data(), &n, pivots.data(), &info);
  }
  Complex product(1);
  for (std::size_t k = 0; k < d.n; ++k) {
    product *= d.at(k, k);
    if (pivots[k] != static_cast<int>(k) + 1) product = -product;
  }
  Dense r(1, 1, d.complex);
  if (d.complex) {
    r.z[0] = product;
  } else {
    r.re[0] = product.real();
  }
  return temp(arrayOf(r));
}

}  // extern "C"
