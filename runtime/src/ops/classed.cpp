// Arithmetic of the integer classes and single: the values widened to double (long double for
// 64-bit integers), the operation, then the result rounded into its class.
#include "ops/classed.h"

#include <cmath>
#include <string>
#include <vector>

#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"

namespace mexrt::detail {

namespace {

// An operand's elements widened to W, with the step of scalar expansion.
template <class W>
struct Widened {
  explicit Widened(const Array &a) : values(a.numel()), step(a.isScalar() ? 0 : 1) {
    byClass(a.cls, [&](auto tag) {
      const auto *in = elementsOf<decltype(tag)>(a);
      for (std::size_t k = 0; k < values.size(); ++k) values[k] = static_cast<W>(in[k]);
    });
  }
  W operator()(std::size_t k) const { return values[k * step]; }
  std::vector<W> values;
  std::size_t step;
};

bool isWhole(long double v) { return std::isfinite(v) && v == std::trunc(v); }

template <ClassedOp Op, class W>
W apply(W x, W y, mxClassID cls) {
  if constexpr (Op == ClassedOp::Plus) return x + y;
  if constexpr (Op == ClassedOp::Minus) return x - y;
  if constexpr (Op == ClassedOp::Times) return x * y;
  if constexpr (Op == ClassedOp::Divide) return x / y;
  if constexpr (Op == ClassedOp::Power) {
    if (x < 0 && std::isfinite(y) && !isWhole(y)) {
      raise(std::string("A negative ") + className(cls) +
            " base to a fractional power has a complex result, which the class cannot hold.");
    }
    return std::pow(x, y);
  }
}

template <ClassedOp Op, class W, class T>
void loop(const Array &a, const Array &b, T *out, std::size_t n, mxClassID cls) {
  Widened<W> x(a), y(b);
  for (std::size_t k = 0; k < n; ++k) out[k] = elementCast<T>(apply<Op, W>(x(k), y(k), cls));
}

template <class W, class T>
void compute(const Array &a, const Array &b, ClassedOp op, T *out, std::size_t n, mxClassID cls) {
  switch (op) {
    case ClassedOp::Plus:
      return loop<ClassedOp::Plus, W>(a, b, out, n, cls);
    case ClassedOp::Minus:
      return loop<ClassedOp::Minus, W>(a, b, out, n, cls);
    case ClassedOp::Times:
      return loop<ClassedOp::Times, W>(a, b, out, n, cls);
    case ClassedOp::Divide:
      return loop<ClassedOp::Divide, W>(a, b, out, n, cls);
    case ClassedOp::Power:
      return loop<ClassedOp::Power, W>(a, b, out, n, cls);
  }
}

[[noreturn]] void complexRefused(const Array &a, const Array &b, const char *symbol) {
  const Array &own = hasOwnArithmetic(a.cls) ? a : b;
  raise(std::string(symbol) + ": complex values cannot be combined with " + className(own.cls) +
        " values.");
}

}  // namespace

mxArray *classedArithmetic(mxArray *a, mxArray *b, ClassedOp op, const char *symbol) {
  Operands<2> ops({a, b}, symbol);
  const Array &A = ops[0], &B = ops[1];
  if (A.isComplex() || B.isComplex()) complexRefused(A, B, symbol);
  const mxClassID cls = arithmeticClass(A.cls, B.cls);
  Dims dims = expandedDims(A, B, symbol);
  Owned r(newArrayForOverwrite(cls, dims));
  const std::size_t n = dims.numel();
  if (n) {
    byClass(cls, [&](auto tag) {
      using T = decltype(tag);
      T *out = mutableElementsOf<T>(*r);
      if (isWideClass(cls)) {
        compute<long double>(A, B, op, out, n, cls);
      } else {
        compute<double>(A, B, op, out, n, cls);
      }
    });
  }
  return temp(r.release());
}

mxArray *classedNegation(mxArray *a) {
  Operand A(a, "-");
  if (A->isComplex()) complexRefused(*A, *A, "-");
  Owned r(newArrayForOverwrite(A->cls, A->dims));
  const std::size_t n = A->numel();
  if (n) {
    byClass(A->cls, [&](auto tag) {
      using T = decltype(tag);
      const T *in = elementsOf<T>(*A);
      T *out = mutableElementsOf<T>(*r);
      // In long double, so that -intmin of int64 saturates instead of overflowing.
      for (std::size_t k = 0; k < n; ++k) out[k] = elementCast<T>(-static_cast<long double>(in[k]));
    });
  }
  return temp(r.release());
}

mxArray *classedProduct(mxArray *a, mxArray *b) {
  if (a && b && !a->isUninit() && !b->isUninit() && (a->isScalar() || b->isScalar())) {
    return classedArithmetic(a, b, ClassedOp::Times, "*");
  }
  Operands<2> ops({a, b}, "*");
  const Array &A = ops[0], &B = ops[1];
  if (A.isComplex() || B.isComplex()) complexRefused(A, B, "*");
  const mxClassID cls = arithmeticClass(A.cls, B.cls);
  if (isIntegerClass(cls)) {
    raise(
        "MTIMES (*) is not fully supported for integer data types. At least one argument "
        "must be scalar.");
  }
  // The product in double (exact for single operands' values), then rounded to single.
  Owned x(converted(A, mxDOUBLE_CLASS, "*")), y(converted(B, mxDOUBLE_CLASS, "*"));
  Owned p(mclMtimes(x.get(), y.get()));
  untemp(p.get());
  return temp(converted(*p, mxSINGLE_CLASS, "*"));
}

mxArray *classedPair(mxArray *a, mxArray *b, const char *name,
                     mxArray *(*fn)(mxArray *, mxArray *)) {
  Owned x, y;
  mxClassID cls;
  {
    Operands<2> ops({a, b}, name);
    const Array &A = ops[0], &B = ops[1];
    if (A.isComplex() || B.isComplex()) complexRefused(A, B, name);
    cls = arithmeticClass(A.cls, B.cls);
    x.reset(converted(A, mxDOUBLE_CLASS, name));
    y.reset(converted(B, mxDOUBLE_CLASS, name));
  }
  Owned r(fn(x.get(), y.get()));
  untemp(r.get());
  return temp(converted(*r, cls, name));
}

mxArray *classedFunction(mxArray *x, const char *name, mxArray *(*fn)(mxArray *),
                         IntegerArgument integers) {
  Operand X(x, name);
  const mxClassID cls = X->cls;
  if (isIntegerClass(cls) && integers == IntegerArgument::Refused) {
    raise(std::string("Undefined function '") + name + "' for input arguments of type '" +
          className(cls) + "'.");
  }
  Owned values(converted(*X, mxDOUBLE_CLASS, name));
  Owned r(fn(values.get()));
  untemp(r.get());
  if (r->isComplex()) {
    raise(std::string(name) + ": the result is complex, which a " + className(cls) +
          " array cannot hold.");
  }
  return temp(converted(*r, cls, name));
}

}  // namespace mexrt::detail
