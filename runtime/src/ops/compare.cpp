// Comparisons and logic giving logical arrays, and the truth of a condition as `if` tests it.
// Complex values are equal when both parts are; < <= > >= compare real parts; a complex
// value is non-zero when either part is.
#include <climits>
#include <cmath>
#include <cstring>

#include "core/array.h"
#include "core/classes.h"
#include "core/element_type.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

// f of each pair of elements under scalar expansion, as a logical array: of their real
// parts, or (kComplex) of their complex values.
template <bool kComplex = false, class F>
mxArray *comparison(mxArray *a, mxArray *b, const char *symbol, F f) {
  Operand A(a, symbol), B(b, symbol);
  Dims dims = expandedDims(*A, *B, symbol);
  Array *r = newArrayForOverwrite(mxLOGICAL_CLASS, dims);
  std::size_t n = dims.numel();
  if constexpr (!kComplex) {
    if (n && (isWideClass(A->cls) || isWideClass(B->cls))) {
      // 64-bit integers do not all fit a double: compared in long double, which holds them.
      mxLogical *out = r->mutableLogicals();
      const std::size_t sa = A->isScalar() ? 0 : 1, sb = B->isScalar() ? 0 : 1;
      byClass(A->cls, [&](auto ta) {
        byClass(B->cls, [&](auto tb) {
          const auto *x = elementsOf<decltype(ta)>(*A);
          const auto *y = elementsOf<decltype(tb)>(*B);
          for (std::size_t k = 0; k < n; ++k) {
            out[k] = f(static_cast<long double>(x[k * sa]), static_cast<long double>(y[k * sb]));
          }
        });
      });
      return temp(r);
    }
  }
  if (n) {
    mxLogical *out = r->mutableLogicals();
    ComplexReader x(*A), y(*B);
    for (std::size_t k = 0; k < n; ++k) {
      if constexpr (kComplex) {
        out[k] = f(x(k), y(k)) ? 1 : 0;
      } else {
        out[k] = f(x.real(k), y.real(k)) ? 1 : 0;
      }
    }
  }
  return temp(r);
}

void requireNoNaN(const Array &a) {
  if (a.cls == mxSINGLE_CLASS) {
    for (std::size_t k = 0, n = a.numel(); k < n; ++k) {
      if (std::isnan(a.number(k))) raise("NaN's cannot be converted to logicals.");
    }
  }
  if (!a.isDouble()) return;
  for (const double *p : {a.reals(), a.imags()}) {
    if (!p) continue;
    for (std::size_t k = 0, n = a.numel(); k < n; ++k) {
      if (std::isnan(p[k])) raise("NaN's cannot be converted to logicals.");
    }
  }
}

// Element k is not zero: its value, or either part of a complex one.
bool nonZero(const Array &a, std::size_t k) {
  if (a.number(k) != 0) return true;
  const double *im = a.imags();
  return im && im[k] != 0;
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
    for (std::size_t k = 0; k < n; ++k) out[k] = f(nonZero(*A, k * sa), nonZero(*B, k * sb));
  }
  return temp(r);
}

// The truth of a condition: non-empty and every element non-zero. A NaN is not zero, so
// it counts as true here, and a condition never fails for it (assert relies on that).
bool truth(const Array &a) {
  std::size_t n = a.numel();
  if (n == 0) return false;
  for (std::size_t k = 0; k < n; ++k) {
    if (!nonZero(a, k)) return false;
  }
  return true;
}

bool allZero(const Array &a) {
  std::size_t n = a.numel();
  if (n == 0) return false;
  for (std::size_t k = 0; k < n; ++k) {
    if (nonZero(a, k)) return false;
  }
  return true;
}

}  // namespace

extern "C" {

mxArray *mclEq(mxArray *a, mxArray *b) {
  if (isComplexArg(a) || isComplexArg(b)) {
    return comparison<true>(a, b, "==", [](Complex x, Complex y) { return x == y; });
  }
  return comparison(a, b, "==", [](auto x, auto y) { return x == y; });
}
mxArray *mclNe(mxArray *a, mxArray *b) {
  if (isComplexArg(a) || isComplexArg(b)) {
    return comparison<true>(a, b, "~=", [](Complex x, Complex y) { return x != y; });
  }
  return comparison(a, b, "~=", [](auto x, auto y) { return x != y; });
}
mxArray *mclLt(mxArray *a, mxArray *b) {
  return comparison(a, b, "<", [](auto x, auto y) { return x < y; });
}
mxArray *mclLe(mxArray *a, mxArray *b) {
  return comparison(a, b, "<=", [](auto x, auto y) { return x <= y; });
}
mxArray *mclGt(mxArray *a, mxArray *b) {
  return comparison(a, b, ">", [](auto x, auto y) { return x > y; });
}
mxArray *mclGe(mxArray *a, mxArray *b) {
  return comparison(a, b, ">=", [](auto x, auto y) { return x >= y; });
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
    for (std::size_t k = 0; k < n; ++k) out[k] = nonZero(*A, k) ? 0 : 1;
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

}  // extern "C"
