// Operators and element-wise functions: arithmetic with scalar expansion, the matrix product
// through BLAS, comparisons and logic giving logical arrays, and the truth of a condition.
#include <cblas.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "array.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

// The result's dimensions under scalar expansion, or the error naming both sizes.
Dims expandedDims(const Array &a, const Array &b, const char *symbol) {
  if (a.isScalar()) return b.dims;
  if (b.isScalar() || a.dims == b.dims) return a.dims;
  raise("Matrix dimensions must agree: " + sizeText(a) + " " + symbol + " " + sizeText(b) + ".");
}

// A double result of the given size, in the buffer of a temporary double operand when one
// of the right size can be taken, so that chained operations reuse one buffer.
Array *doubleResult(const Dims &dims, Operand &x, Operand *y = nullptr) {
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
  if (A->isScalar() && B->isScalar()) return temp(newScalar(f(A->number(0), B->number(0))));
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

template <class F>
mxArray *comparison(mxArray *a, mxArray *b, const char *symbol, F f) {
  Operand A(a, symbol), B(b, symbol);
  Dims dims = expandedDims(*A, *B, symbol);
  Array *r = newArrayForOverwrite(mxLOGICAL_CLASS, dims);
  std::size_t n = dims.numel();
  if (n) {
    mxLogical *out = r->mutableLogicals();
    DoubleData da(*A), db(*B);
    const double *pa = da.data(), *pb = db.data();
    const std::size_t sa = A->isScalar() ? 0 : 1, sb = B->isScalar() ? 0 : 1;
    for (std::size_t k = 0; k < n; ++k) out[k] = f(pa[k * sa], pb[k * sb]) ? 1 : 0;
  }
  return temp(r);
}

void requireNoNaN(const Array &a) {
  if (!a.isDouble()) return;
  const double *p = a.reals();
  for (std::size_t k = 0, n = a.numel(); k < n; ++k) {
    if (std::isnan(p[k])) raise("NaN's cannot be converted to logicals.");
  }
}

template <class F>
mxArray *logic(mxArray *a, mxArray *b, const char *symbol, F f) {
  Operand A(a, symbol), B(b, symbol);
  requireNoNaN(*A);
  requireNoNaN(*B);
  Dims dims = expandedDims(*A, *B, symbol);
  Array *r = newArray(mxLOGICAL_CLASS, dims);
  std::size_t n = dims.numel();
  if (n) {
    mxLogical *out = r->mutableLogicals();
    const std::size_t sa = A->isScalar() ? 0 : 1, sb = B->isScalar() ? 0 : 1;
    for (std::size_t k = 0; k < n; ++k) out[k] = f(A->number(k * sa) != 0, B->number(k * sb) != 0);
  }
  return temp(r);
}

template <class F>
mxArray *elementwise(mxArray *x, const char *name, F f) {
  Operand X(x, name);
  std::size_t n = X->numel();
  DoubleData dx(*X);
  const double *in = dx.data();
  Array *r = doubleResult(X->dims, X);
  double *out = r->mutableReals();
  for (std::size_t k = 0; k < n; ++k) out[k] = f(in[k]);
  return temp(r);
}

// The truth of a condition: non-empty and every element non-zero. A NaN is not zero, so
// it counts as true here, and a condition never fails for it (assert relies on that).
bool truth(const Array &a) {
  std::size_t n = a.numel();
  if (n == 0) return false;
  for (std::size_t k = 0; k < n; ++k) {
    if (a.number(k) == 0) return false;
  }
  return true;
}

bool allZero(const Array &a) {
  std::size_t n = a.numel();
  if (n == 0) return false;
  for (std::size_t k = 0; k < n; ++k) {
    if (a.number(k) != 0) return false;
  }
  return true;
}

void requireMatrix(const Array &a, const char *what) {
  if (a.dims.size() > 2) raise(std::string(what) + " is not defined for N-d arrays (" + sizeText(a) + ").");
}

}  // namespace

extern "C" {

mxArray *mclPlus(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "+", [](double x, double y) { return x + y; });
}

mxArray *mclMinus(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "-", [](double x, double y) { return x - y; });
}

mxArray *mclTimes(mxArray *a, mxArray *b) {
  return arithmetic(a, b, ".*", [](double x, double y) { return x * y; });
}

mxArray *mclRdivide(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "./", [](double x, double y) { return x / y; });
}

mxArray *mclPower(mxArray *a, mxArray *b) {
  return arithmetic(a, b, ".^", [](double x, double y) { return std::pow(x, y); });
}

mxArray *mclUminus(mxArray *a) { return elementwise(a, "-", [](double x) { return -x; }); }

mxArray *mclMrdivide(mxArray *a, mxArray *b) {
  if (b && !b->isUninit() && !b->isScalar()) {
    Operand A(a, "/"), B(b, "/");
    raise("Division by a matrix is not supported: " + sizeText(*A) + " / " + sizeText(*B) +
          ". Divide by a scalar, or use ./ for element-wise division.");
  }
  return arithmetic(a, b, "/", [](double x, double y) { return x / y; });
}

mxArray *mclMpower(mxArray *a, mxArray *b) {
  if (a && b && !a->isUninit() && !b->isUninit() && (!a->isScalar() || !b->isScalar())) {
    Operand A(a, "^"), B(b, "^");
    raise("The power operator ^ takes scalars: " + sizeText(*A) + " ^ " + sizeText(*B) +
          ". Use .^ for element-wise powers.");
  }
  return arithmetic(a, b, "^", [](double x, double y) { return std::pow(x, y); });
}

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
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m),
                static_cast<int>(n), static_cast<int>(k), 1.0, da.data(), static_cast<int>(m),
                db.data(), static_cast<int>(k), 0.0, r->mutableReals(), static_cast<int>(m));
  }
  return temp(r);
}

mxArray *mclEq(mxArray *a, mxArray *b) {
  return comparison(a, b, "==", [](double x, double y) { return x == y; });
}
mxArray *mclNe(mxArray *a, mxArray *b) {
  return comparison(a, b, "~=", [](double x, double y) { return x != y; });
}
mxArray *mclLt(mxArray *a, mxArray *b) {
  return comparison(a, b, "<", [](double x, double y) { return x < y; });
}
mxArray *mclLe(mxArray *a, mxArray *b) {
  return comparison(a, b, "<=", [](double x, double y) { return x <= y; });
}
mxArray *mclGt(mxArray *a, mxArray *b) {
  return comparison(a, b, ">", [](double x, double y) { return x > y; });
}
mxArray *mclGe(mxArray *a, mxArray *b) {
  return comparison(a, b, ">=", [](double x, double y) { return x >= y; });
}

mxArray *mclAnd(mxArray *a, mxArray *b) {
  return logic(a, b, "&", [](bool x, bool y) { return x && y; });
}
mxArray *mclOr(mxArray *a, mxArray *b) {
  return logic(a, b, "|", [](bool x, bool y) { return x || y; });
}

mxArray *mclNot(mxArray *a) {
  Operand A(a, "~");
  requireNoNaN(*A);
  Array *r = newArray(mxLOGICAL_CLASS, A->dims);
  std::size_t n = A->numel();
  if (n) {
    mxLogical *out = r->mutableLogicals();
    for (std::size_t k = 0; k < n; ++k) out[k] = A->number(k) == 0 ? 1 : 0;
  }
  return temp(r);
}

bool mlfTobool(mxArray *a) {
  Operand A(a, "if");
  return truth(*A);
}

int mclNotBool(mxArray *a) {
  Operand A(a, "~");
  return allZero(*A) ? 1 : 0;
}

int mclEqBool(mxArray *a, mxArray *b) { return mlfTobool(mclEq(a, b)) ? 1 : 0; }

int mclGtBool(mxArray *a, mxArray *b) { return mlfTobool(mclGt(a, b)) ? 1 : 0; }

// --- Element-wise functions ---

mxArray *mlfCeil(mxArray *x) { return elementwise(x, "ceil", [](double v) { return std::ceil(v); }); }
mxArray *mlfRound(mxArray *x) {
  return elementwise(x, "round", [](double v) { return std::round(v); });  // halves away from 0
}
mxArray *mlfAbs(mxArray *x) { return elementwise(x, "abs", [](double v) { return std::fabs(v); }); }
mxArray *mlfExp(mxArray *x) { return elementwise(x, "exp", [](double v) { return std::exp(v); }); }
mxArray *mlfLog(mxArray *x) { return elementwise(x, "log", [](double v) { return std::log(v); }); }
mxArray *mlfLog10(mxArray *x) {
  return elementwise(x, "log10", [](double v) { return std::log10(v); });
}
mxArray *mlfSqrt(mxArray *x) { return elementwise(x, "sqrt", [](double v) { return std::sqrt(v); }); }
mxArray *mlfSin(mxArray *x) { return elementwise(x, "sin", [](double v) { return std::sin(v); }); }
mxArray *mlfCos(mxArray *x) { return elementwise(x, "cos", [](double v) { return std::cos(v); }); }

}  // extern "C"
