// Eigenvalues and singular values: eig through dsyev/zheev for a Hermitian matrix and
// dgeev/zgeev otherwise (a real matrix's complex pairs put back together as complex
// vectors), svd through dgesdd/zgesdd, full or economy size.
#include <algorithm>
#include <cmath>

#include "arrays/args.h"
#include "linalg/dense.h"
#include "mexrt/linalg.h"

using namespace mexrt::detail;
using namespace mexrt::detail::linalg;

namespace {

bool isHermitian(const Dense &a) {
  for (std::size_t j = 0; j < a.n; ++j) {
    for (std::size_t i = 0; i <= j; ++i) {
      if (a.at(i, j) != std::conj(a.at(j, i))) return false;
    }
  }
  return true;
}

// A diagonal matrix with the values w, or the column w when square is false.
Dense diagonalOf(const Dense &w, bool square) {
  if (!square) return w;
  const std::size_t n = w.numel();
  Dense d(n, n, w.complex);
  for (std::size_t k = 0; k < n; ++k) {
    if (w.complex) {
      d.z[k + k * n] = w.z[k];
    } else {
      d.re[k + k * n] = w.re[k];
    }
  }
  return d;
}

// Eigenvalues (ascending) and, when vectors, orthonormal eigenvectors of a Hermitian a.
void hermitianEig(Dense &a, bool vectors, Dense &w) {
  const int n = lapackInt(a.n, "eig");
  const char *job = vectors ? "V" : "N";
  w = Dense(a.n, 1, false);
  int info = 0, lwork = -1;
  if (a.complex) {
    Complex query;
    std::vector<double> rwork(std::max<std::size_t>(3 * a.n, 1));
    zheev_(job, "U", &n, a.z.data(), &n, w.re.data(), &query, &lwork, rwork.data(), &info, 1, 1);
    lwork = std::max(static_cast<int>(query.real()), 1);
    std::vector<Complex> work(lwork);
    zheev_(job, "U", &n, a.z.data(), &n, w.re.data(), work.data(), &lwork, rwork.data(), &info, 1,
           1);
  } else {
    double query;
    dsyev_(job, "U", &n, a.re.data(), &n, w.re.data(), &query, &lwork, &info, 1, 1);
    lwork = std::max(static_cast<int>(query), 1);
    std::vector<double> work(lwork);
    dsyev_(job, "U", &n, a.re.data(), &n, w.re.data(), work.data(), &lwork, &info, 1, 1);
  }
  if (info != 0) raise("eig did not converge.");
}

// Eigenvalues and right eigenvectors (columns of unit 2-norm) of a general a.
void generalEig(Dense &a, bool vectors, Dense &w, Dense &v) {
  const int n = lapackInt(a.n, "eig"), one = 1;
  const char *job = vectors ? "V" : "N";
  const int ldv = vectors ? n : 1;
  int info = 0, lwork = -1;
  w = Dense(a.n, 1, true);
  if (a.complex) {
    v = Dense(vectors ? a.n : 0, vectors ? a.n : 0, true);
    std::vector<double> rwork(2 * a.n);
    Complex query, dummy;
    zgeev_("N", job, &n, a.z.data(), &n, w.z.data(), &dummy, &one, vectors ? v.z.data() : &dummy,
           &ldv, &query, &lwork, rwork.data(), &info, 1, 1);
    lwork = std::max(static_cast<int>(query.real()), 1);
    std::vector<Complex> work(lwork);
    zgeev_("N", job, &n, a.z.data(), &n, w.z.data(), &dummy, &one, vectors ? v.z.data() : &dummy,
           &ldv, work.data(), &lwork, rwork.data(), &info, 1, 1);
    if (info != 0) raise("eig did not converge.");
    return;
  }
  std::vector<double> wr(a.n), wi(a.n), vr(vectors ? a.n * a.n : 1);
  double query, dummy;
  dgeev_("N", job, &n, a.re.data(), &n, wr.data(), wi.data(), &dummy, &one, vr.data(), &ldv, &query,
         &lwork, &info, 1, 1);
  lwork = std::max(static_cast<int>(query), 1);
  std::vector<double> work(lwork);
  dgeev_("N", job, &n, a.re.data(), &n, wr.data(), wi.data(), &dummy, &one, vr.data(), &ldv,
         work.data(), &lwork, &info, 1, 1);
  if (info != 0) raise("eig did not converge.");
  for (std::size_t k = 0; k < a.n; ++k) w.z[k] = Complex(wr[k], wi[k]);
  if (!vectors) return;
  // A pair with wi(k) > 0 stores its vectors as vr(:, k) +- i vr(:, k + 1).
  v = Dense(a.n, a.n, true);
  for (std::size_t k = 0; k < a.n; ++k) {
    const double *col = &vr[k * a.n];
    if (wi[k] == 0) {
      for (std::size_t i = 0; i < a.n; ++i) v.z[i + k * a.n] = col[i];
      continue;
    }
    const double *next = col + a.n;
    for (std::size_t i = 0; i < a.n; ++i) {
      v.z[i + k * a.n] = Complex(col[i], next[i]);
      v.z[i + (k + 1) * a.n] = Complex(col[i], -next[i]);
    }
    ++k;
  }
}

}  // namespace

namespace mexrt::detail::linalg {

SvdFactors svdFactors(Dense d, bool econ, const char *what) {
  if (!d.allFinite()) raise(std::string("Input to ") + what + " must not contain NaN or Inf.");
  const std::size_t m = d.m, n = d.n, k = std::min(m, n);
  // Full: U is m x m, V n x n; economy: U m x k, V n x k.
  const std::size_t ucols = econ ? k : m, vrows = econ ? k : n;
  SvdFactors f;
  f.u = Dense(m, ucols, d.complex);
  Dense vt(vrows, n, d.complex);
  f.s.assign(k, 0.0);
  if (k > 0) {
    const int im = lapackInt(m, what), in = lapackInt(n, what);
    const int ldvt = static_cast<int>(vrows);
    const char *job = econ ? "S" : "A";
    int info = 0, lwork = -1;
    std::vector<int> iwork(8 * k);
    if (d.complex) {
      std::vector<double> rwork(5 * k * k + 7 * k + 5 * std::max(m, n));
      Complex query;
      zgesdd_(job, &im, &in, d.z.data(), &im, f.s.data(), f.u.z.data(), &im, vt.z.data(), &ldvt,
              &query, &lwork, rwork.data(), iwork.data(), &info, 1);
      lwork = std::max(static_cast<int>(query.real()), 1);
      std::vector<Complex> work(lwork);
      zgesdd_(job, &im, &in, d.z.data(), &im, f.s.data(), f.u.z.data(), &im, vt.z.data(), &ldvt,
              work.data(), &lwork, rwork.data(), iwork.data(), &info, 1);
    } else {
      double query;
      dgesdd_(job, &im, &in, d.re.data(), &im, f.s.data(), f.u.re.data(), &im, vt.re.data(), &ldvt,
              &query, &lwork, iwork.data(), &info, 1);
      lwork = std::max(static_cast<int>(query), 1);
      std::vector<double> work(lwork);
      dgesdd_(job, &im, &in, d.re.data(), &im, f.s.data(), f.u.re.data(), &im, vt.re.data(), &ldvt,
              work.data(), &lwork, iwork.data(), &info, 1);
    }
    if (info != 0) raise(std::string(what) + " did not converge.");
  } else {
    // An empty A still has identity factors of its full size.
    for (std::size_t q = 0; q < std::min(m, ucols); ++q) {
      if (d.complex) {
        f.u.z[q + q * m] = 1;
      } else {
        f.u.re[q + q * m] = 1;
      }
    }
    for (std::size_t q = 0; q < std::min(n, vrows); ++q) {
      if (d.complex) {
        vt.z[q + q * vrows] = 1;
      } else {
        vt.re[q + q * vrows] = 1;
      }
    }
  }
  // V = (V^H)^H
  f.v = vt.transposed();
  if (f.v.complex) {
    for (Complex &c : f.v.z) c = std::conj(c);
  }
  return f;
}

}  // namespace mexrt::detail::linalg

extern "C" {

mxArray *mlfEig(mxArray **vectors, mxArray *a) {
  Operand A(a, "eig");
  Dense d = denseOf(*A, "eig");
  if (!d.isSquare()) raise("Matrix must be square.");
  if (!d.allFinite()) raise("Input to eig must not contain NaN or Inf.");
  const bool wantVectors = vectors != nullptr;
  if (d.numel() == 0) {
    if (wantVectors) assignSlot(vectors, newDouble(0, 0));
    return temp(newDouble(0, wantVectors ? 0 : 1));
  }
  Dense w, v;
  if (isHermitian(d)) {
    hermitianEig(d, wantVectors, w);
    v = std::move(d);
  } else {
    generalEig(d, wantVectors, w, v);
  }
  Owned values(arrayOf(diagonalOf(w, wantVectors)));
  if (wantVectors) assignSlot(vectors, arrayOf(v));
  return temp(values.release());
}

mxArray *mlfSvd(mxArray **u, mxArray **v, mxArray *a, int econ) {
  Operand A(a, "svd");
  Dense d = denseOf(*A, "svd");
  if (!u && !v) {
    std::vector<double> s = singularValues(std::move(d), "svd");
    Dense column(s.size(), 1, false);
    column.re = std::move(s);
    return temp(arrayOf(column));
  }
  const std::size_t m = d.m, n = d.n;
  SvdFactors f = svdFactors(std::move(d), econ != 0, "svd");
  const std::size_t k = f.s.size();
  Dense sm(econ ? k : m, econ ? k : n, false);
  for (std::size_t q = 0; q < k; ++q) sm.re[q + q * sm.m] = f.s[q];
  Owned result(arrayOf(sm));
  Owned uArray(arrayOf(f.u));
  Owned vArray(arrayOf(f.v));
  if (u) assignSlot(u, uArray.release());
  if (v) assignSlot(v, vArray.release());
  return temp(result.release());
}

}  // extern "C"
