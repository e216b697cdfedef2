// Dense column-major copies of a matrix operand for LAPACK, real or complex, the LAPACK
// routines the linear-algebra unit calls, and the conversions back to arrays.
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "core/array.h"

namespace mexrt::detail::linalg {

using Complex = std::complex<double>;

// An m x n matrix; z holds the elements when complex, re otherwise.
struct Dense {
  std::size_t m = 0, n = 0;
  bool complex = false;
  std::vector<double> re;
  std::vector<Complex> z;

  Dense() = default;
  Dense(std::size_t rows, std::size_t cols, bool isComplex) : m(rows), n(cols), complex(isComplex) {
    if (complex) {
      z.assign(m * n, Complex(0));
    } else {
      re.assign(m * n, 0.0);
    }
  }
  std::size_t numel() const { return m * n; }
  bool isSquare() const { return m == n; }
  Complex at(std::size_t i, std::size_t j) const {
    return complex ? z[i + j * m] : Complex(re[i + j * m]);
  }
  bool allFinite() const;
  void makeComplex();        // re moves into z
  Dense transposed() const;  // .' (no conjugate)
};

// The operand as a dense matrix; an N-d array or a struct is refused with what's name.
Dense denseOf(const Array &a, const char *what);
// A new array (owned) holding d, real when its imaginary parts are all zero.
Array *arrayOf(const Dense &d);
// The LAPACK integer of a dimension, or the error that it is too large.
int lapackInt(std::size_t n, const char *what);

// The warnings of a singular or badly conditioned square system.
void warnSingular();
void warnBadlyConditioned(double rcond);

// The singular values of d, descending (d is overwritten).
std::vector<double> singularValues(Dense d, const char *what);

// A = U S V' with the singular values s descending; econ: U and V have min(m, n) columns.
struct SvdFactors {
  Dense u, v;
  std::vector<double> s;
};
SvdFactors svdFactors(Dense d, bool econ, const char *what);

}  // namespace mexrt::detail::linalg

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void zgetrf_(const int *m, const int *n, std::complex<double> *a, const int *lda, int *ipiv,
             int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda,
             const int *ipiv, double *b, const int *ldb, int *info, std::size_t);
void zgetrs_(const char *trans, const int *n, const int *nrhs, const std::complex<double> *a,
             const int *lda, const int *ipiv, std::complex<double> *b, const int *ldb, int *info,
             std::size_t);
void dgetri_(const int *n, double *a, const int *lda, const int *ipiv, double *work,
             const int *lwork, int *info);
void zgetri_(const int *n, std::complex<double> *a, const int *lda, const int *ipiv,
             std::complex<double> *work, const int *lwork, int *info);
void dgecon_(const char *norm, const int *n, const double *a, const int *lda, const double *anorm,
             double *rcond, double *work, int *iwork, int *info, std::size_t);
void zgecon_(const char *norm, const int *n, const std::complex<double> *a, const int *lda,
             const double *anorm, double *rcond, std::complex<double> *work, double *rwork,
             int *info, std::size_t);
void dgelsd_(const int *m, const int *n, const int *nrhs, double *a, const int *lda, double *b,
             const int *ldb, double *s, const double *rcond, int *rank, double *work,
             const int *lwork, int *iwork, int *info);
void zgelsd_(const int *m, const int *n, const int *nrhs, std::complex<double> *a, const int *lda,
             std::complex<double> *b, const int *ldb, double *s, const double *rcond, int *rank,
             std::complex<double> *work, const int *lwork, double *rwork, int *iwork, int *info);
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
            double *work, const int *lwork, int *info, std::size_t, std::size_t);
void zheev_(const char *jobz, const char *uplo, const int *n, std::complex<double> *a,
            const int *lda, double *w, std::complex<double> *work, const int *lwork, double *rwork,
            int *info, std::size_t, std::size_t);
void dgeev_(const char *jobvl, const char *jobvr, const int *n, double *a, const int *lda,
            double *wr, double *wi, double *vl, const int *ldvl, double *vr, const int *ldvr,
            double *work, const int *lwork, int *info, std::size_t, std::size_t);
void zgeev_(const char *jobvl, const char *jobvr, const int *n, std::complex<double> *a,
            const int *lda, std::complex<double> *w, std::complex<double> *vl, const int *ldvl,
            std::complex<double> *vr, const int *ldvr, std::complex<double> *work, const int *lwork,
            double *rwork, int *info, std::size_t, std::size_t);
void dgesdd_(const char *jobz, const int *m, const int *n, double *a, const int *lda, double *s,
             double *u, const int *ldu, double *vt, const int *ldvt, double *work, const int *lwork,
             int *iwork, int *info, std::size_t);
void zgesdd_(const char *jobz, const int *m, const int *n, std::complex<double> *a, const int *lda,
             double *s, std::complex<double> *u, const int *ldu, std::complex<double> *vt,
             const int *ldvt, std::complex<double> *work, const int *lwork, double *rwork,
             int *iwork, int *info, std::size_t);
}
