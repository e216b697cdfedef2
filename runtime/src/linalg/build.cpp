// Matrices built from others: diag (a vector onto a diagonal, or a diagonal out of a
// matrix) and the Kronecker product kron.
#include <cmath>
#include <cstdlib>

#include "core/operands.h"
#include "linalg/dense.h"
#include "mexrt/linalg.h"

using namespace mexrt::detail;
using namespace mexrt::detail::linalg;

namespace {

long long diagonalArg(const Operands<2> &ops) {
  if (!ops.has(1)) return 0;
  const Array &k = ops[1];
  const double v = k.numel() == 1 ? k.number(0) : NAN;
  if (!std::isfinite(v) || v != std::floor(v) || std::fabs(v) > 1e9) {
    raise("diag: the diagonal number must be an integer scalar.");
  }
  return static_cast<long long>(v);
}

void put(Dense &d, std::size_t i, std::size_t j, Complex v) {
  if (d.complex) {
    d.z[i + j * d.m] = v;
  } else {
    d.re[i + j * d.m] = v.real();
  }
}

}  // namespace

extern "C" {

// Diagonal k lies at (i, i + k) for k >= 0 and at (i - k, i) below the main diagonal.
mxArray *mlfDiag(mxArray *x, mxArray *k) {
  Operands<2> ops({x, k}, "diag", 0b10);
  Dense d = denseOf(ops[0], "diag");
  const long long off = diagonalArg(ops);
  const std::size_t shift = static_cast<std::size_t>(std::llabs(off));
  const std::size_t rowShift = off < 0 ? shift : 0, colShift = off > 0 ? shift : 0;
  if (d.m == 1 || d.n == 1) {
    const std::size_t n = d.numel(), size = n + shift;
    Dense r(size, size, d.complex);
    for (std::size_t q = 0; q < n; ++q) {
      put(r, q + rowShift, q + colShift, d.complex ? d.z[q] : Complex(d.re[q]));
    }
    return temp(arrayOf(r));
  }
  std::size_t length = 0;
  if (rowShift < d.m && colShift < d.n) length = std::min(d.m - rowShift, d.n - colShift);
  Dense r(length, 1, d.complex);
  for (std::size_t q = 0; q < length; ++q) put(r, q, 0, d.at(q + rowShift, q + colShift));
  if (length == 0) r = Dense(0, d.numel() == 0 ? 0 : 1, false);
  return temp(arrayOf(r));
}

// kron(A, B)(ia * mb + ib, ja * nb + jb) = A(ia, ja) * B(ib, jb), 0-based.
mxArray *mlfKron(mxArray *a, mxArray *b) {
  Operands<2> ops({a, b}, "kron");
  Dense da = denseOf(ops[0], "kron"), db = denseOf(ops[1], "kron");
  const bool complex = da.complex || db.complex;
  Dense r(da.m * db.m, da.n * db.n, complex);
  for (std::size_t ja = 0; ja < da.n; ++ja) {
    for (std::size_t ia = 0; ia < da.m; ++ia) {
      const Complex av = da.at(ia, ja);
      for (std::size_t jb = 0; jb < db.n; ++jb) {
        for (std::size_t ib = 0; ib < db.m; ++ib) {
          put(r, ia * db.m + ib, ja * db.n + jb, av * db.at(ib, jb));
        }
      }
    }
  }
  return temp(arrayOf(r));
}

}  // extern "C"
