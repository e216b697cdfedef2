// The loop skeletons of element-wise operations: the result's size under scalar expansion,
// a result that reuses a temporary operand's buffer, and one loop per kind of operation
// (arithmetic of two operands, a function of one, scalar or vectorised).
#pragma once

#include <concepts>
#include <string>

#include "core/array.h"

namespace mexrt::detail {

// The result's dimensions under scalar expansion, or the error naming both sizes.
inline Dims expandedDims(const Array &a, const Array &b, const char *symbol) {
  if (a.isScalar()) return b.dims;
  if (b.isScalar() || a.dims == b.dims) return a.dims;
  raise("Matrix dimensions must agree: " + sizeText(a) + " " + symbol + " " + sizeText(b) + ".");
}

// A double result of the given size, in the buffer of a temporary double operand when one
// of the right size can be taken, so that chained operations reuse one buffer.
inline Array *doubleResult(const Dims &dims, Operand &x, Operand *y = nullptr) {
  for (Operand *o : {&x, y}) {
    if (o && (*o)->isDouble() && (*o)->dims == dims && o->stealableStorage()) {
      Array *r = newArray(mxDOUBLE_CLASS, Dims(0, 0));
      r->dims = dims;
      r->store = o->takeStorage();
      return r;
    }
  }
  return newArrayForOverwrite(mxDOUBLE_CLASS, dims);
}

template <class F>
mxArray *arithmetic(mxArray *a, mxArray *b, const char *symbol, F f) {
  Operand A(a, symbol), B(b, symbol);
  Dims dims = expandedDims(*A, *B, symbol);
  // The operands' data is read before the result is written; when the result takes an
  // operand's buffer, each element is read before it is overwritten.
  if (A->isScalar() && B->isScalar()) {
    const double v = f(A->number(0), B->number(0));
    Array *r = doubleResult(dims, A, &B);  // a temporary operand's buffer when one can be taken
    r->mutableReals()[0] = v;
    return temp(r);
  }
  const bool aScalar = A->isScalar(), bScalar = B->isScalar();
  DoubleData da(*A), db(*B);
  const double sa = aScalar ? da[0] : 0.0, sb = bScalar ? db[0] : 0.0;
  const double *xa = da.data(), *xb = db.data();
  std::size_t n = dims.numel();
  // The result may take an operand's buffer: xa or xb then address the result itself, and
  // each element is read before it is overwritten.
  Array *r = doubleResult(dims, A, &B);
  double *out = r->mutableReals();
  if (aScalar && !bScalar) {
    for (std::size_t k = 0; k < n; ++k) out[k] = f(sa, xb[k]);
  } else if (bScalar && !aScalar) {
    for (std::size_t k = 0; k < n; ++k) out[k] = f(xa[k], sb);
  } else {
    for (std::size_t k = 0; k < n; ++k) out[k] = f(xa[k], xb[k]);
  }
  return temp(r);
}

// A function that takes a whole contiguous run at once (a vector math kernel), rather than
// one element at a time.
template <class F>
concept RunFunction = requires(const F &f, const double *in, double *out, std::size_t n) {
  f.run(in, out, n);
};

// out[k] = f(in[k]) for k < n, where in may be out: the one place where a function of one
// argument meets the data, so that a vector library plugs in here.
template <class F>
void applyToRun(const F &f, const double *in, double *out, std::size_t n) {
  if constexpr (RunFunction<F>) {
    f.run(in, out, n);
  } else {
    for (std::size_t k = 0; k < n; ++k) out[k] = f(in[k]);
  }
}

template <class F>
mxArray *elementwise(mxArray *x, const char *name, F f) {
  Operand X(x, name);
  std::size_t n = X->numel();
  DoubleData dx(*X);
  const double *in = dx.data();
  Array *r = doubleResult(X->dims, X);
  double *out = r->mutableReals();
  applyToRun(f, in, out, n);
  return temp(r);
}

}  // namespace mexrt::detail
