// The matrix product: scalar operands element by element, matrices through BLAS dgemm.
#include <cblas.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"

using namespace mexrt::detail;

namespace {

void requireMatrix(const Array &a, const char *what) {
  if (a.dims.size() > 2)
    raise(std::string(what) + " is not defined for N-d arrays (" + sizeText(a) + ").");
}

}  // namespace

extern "C" {

mxArray *mclMtimes(mxArray *a, mxArray *b) {
  if (a && b && !a->isUninit() && !b->isUninit() && (a->isScalar() || b->isScalar())) {
    return arithmetic(a, b, "*", [](double x, double y) { return x * y; });
  }
  Operand A(a, "*"), B(b, "*");
  requireMatrix(*A, "The matrix product");
  requireMatrix(*B, "The matrix product");
  const std::size_t m = A->dims[0], k = A->dims[1], n = B->dims[1];
  if (k != B->dims[0]) {
    raise("Inner matrix dimensions must agree: " + sizeText(*A) + " * " + sizeText(*B) + ".");
  }
  if (m > INT_MAX || n > INT_MAX || k > INT_MAX) {
    raise("The matrix product is too large for BLAS: " + sizeText(*A) + " * " + sizeText(*B) + ".");
  }
  if (!m || !n || !k) return temp(newDouble(m, n));  // zeros: the empty sum when k is 0
  Array *r = newArrayForOverwrite(mxDOUBLE_CLASS, Dims(m, n));
  {
    DoubleData da(*A), db(*B);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m), static_cast<int>(n),
                static_cast<int>(k), 1.0, da.data(), static_cast<int>(m), db.data(),
                static_cast<int>(k), 0.0, r->mutableReals(), static_cast<int>(m));
  }
  return temp(r);
}

}  // extern "C"
