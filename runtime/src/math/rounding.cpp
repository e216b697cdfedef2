// floor, fix, sign, mod, rem, isnan and isinf of real and complex arrays. floor and fix of a
// complex number round each part; sign(z) is z / abs(z) (0 for 0); isnan and isinf hold where
// either part is NaN or infinite. mod and rem take real arguments with scalar expansion:
// mod(x, y) = x - floor(x / y) * y has y's sign, rem(x, y) = x - fix(x / y) * y has x's, and
// both give x when y is 0.
#include <cmath>
#include <string>
#include <type_traits>

#include "core/array.h"
#include "core/classes.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

template <double (*F)(double)>
Complex eachPart(Complex z) {
  return {F(z.real()), F(z.imag())};
}
double floorOf(double v) { return std::floor(v); }
double fixOf(double v) { return std::trunc(v); }
double signOf(double v) { return v > 0 ? 1.0 : v < 0 ? -1.0 : v == 0 ? 0.0 : v; }

template <class P>
mxArray *test(mxArray *x, const char *name, P p) {
  Operand X(x, name);
  Array *r = newArray(mxLOGICAL_CLASS, X->dims);
  const std::size_t n = X->numel();
  if (n) {
    mxLogical *out = r->mutableLogicals();
    if (X->isComplex()) {
      ComplexReader z(*X);
      for (std::size_t k = 0; k < n; ++k) {
        Complex v = z(k);
        out[k] = p(v.real()) || p(v.imag());
      }
    } else {
      DoubleData d(*X);
      for (std::size_t k = 0; k < n; ++k) out[k] = p(d[k]);
    }
  }
  return temp(r);
}

template <class F>
mxArray *realPair(mxArray *x, mxArray *y, const char *name, F f) {
  if ((x && x->isComplex()) || (y && y->isComplex())) {
    Operand X(x, name);
    if (y != x) Operand Y(y, name);
    raise(std::string(name) + ": the arguments must be real.");
  }
  return arithmetic(x, y, name, f);
}

double modOf(double x, double y) {
  if (y == 0) return x;
  if (std::isinf(y) && std::isfinite(x)) return x == 0 || (x > 0) == (y > 0) ? x : y;
  double m = std::fmod(x, y);
  if (m != 0 && (m < 0) != (y < 0)) m += y;
  return m;
}

double remOf(double x, double y) {
  if (y == 0) return x;
  if (std::isinf(y) && std::isfinite(x)) return x;
  return std::fmod(x, y);
}

// Whether the class that arithmetic of x and y gives is int64 or uint64.
bool is64BitPair(const Array *x, const Array *y) {
  if (!x || !y || x->isComplex() || y->isComplex()) return false;
  const mxClassID c = x->cls == mxDOUBLE_CLASS ? y->cls : x->cls;
  return (c == mxINT64_CLASS || c == mxUINT64_CLASS) && (x->cls == c || x->isDouble()) &&
         (y->cls == c || y->isDouble());
}

// mod (the sign of y) or rem (the sign of x) of 64-bit integers exactly, a double operand
// taken into the class first; mod(x, 0) is x and rem(x, 0) is 0, as in double.
template <class T>
T integerRemainder(T u, T v, bool mod) {
  if (v == 0) return mod ? u : 0;
  if constexpr (std::is_signed_v<T>) {
    if (v == -1) return 0;  // also for the lowest value, whose quotient does not fit
  }
  T r = u % v;
  if constexpr (std::is_signed_v<T>) {
    if (mod && r != 0 && ((r < 0) != (v < 0))) r += v;
  }
  return r;
}

mxArray *integerPair(mxArray *x, mxArray *y, const char *name, bool mod) {
  Owned a, b;
  Dims dims;
  mxClassID cls;
  {
    Operands<2> ops({x, y}, name);
    dims = expandedDims(ops[0], ops[1], name);
    cls = ops[0].isDouble() ? ops[1].cls : ops[0].cls;
    a.reset(converted(ops[0], cls, name));
    b.reset(converted(ops[1], cls, name));
  }
  Owned r(newArray(cls, dims));
  const std::size_t n = dims.numel();
  byClass(cls, [&](auto tag) {
    using T = decltype(tag);
    if constexpr (std::is_integral_v<T>) {
      const T *pa = elementsOf<T>(*a), *pb = elementsOf<T>(*b);
      T *out = reinterpret_cast<T *>(r->mutableData());
      for (std::size_t k = 0; k < n; ++k) {
        out[k] = integerRemainder<T>(pa[a->isScalar() ? 0 : k], pb[b->isScalar() ? 0 : k], mod);
      }
    }
  });
  return temp(r.release());
}

}  // namespace

extern "C" {

mxArray *mlfFloor(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "floor", mlfFloor, IntegerArgument::Keeps);
  if (isComplexArg(x)) return complexElementwise(x, "floor", eachPart<floorOf>);
  return elementwise(x, "floor", [](double v) { return std::floor(v); });
}
mxArray *mlfFix(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "fix", mlfFix, IntegerArgument::Keeps);
  if (isComplexArg(x)) return complexElementwise(x, "fix", eachPart<fixOf>);
  return elementwise(x, "fix", [](double v) { return std::trunc(v); });
}
mxArray *mlfSign(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "sign", mlfSign, IntegerArgument::Keeps);
  if (isComplexArg(x)) {
    return complexElementwise(x, "sign", [](Complex z) {
      double a = std::abs(z);
      return a == 0 ? Complex{0, 0} : z / a;
    });
  }
  return elementwise(x, "sign", signOf);
}
// mod and rem of integer or single arguments: computed in double, the result in the class
// their arithmetic gives; of 64-bit integers, whose values beyond 2^53 no double holds, in
// the integers themselves.
mxArray *mlfMod(mxArray *x, mxArray *y) {
  if (is64BitPair(x, y)) return integerPair(x, y, "mod", true);
  if (classedOperands(x, y)) return classedPair(x, y, "mod", mlfMod);
  return realPair(x, y, "mod", modOf);
}
mxArray *mlfRem(mxArray *x, mxArray *y) {
  if (is64BitPair(x, y)) return integerPair(x, y, "rem", false);
  if (classedOperands(x, y)) return classedPair(x, y, "rem", mlfRem);
  return realPair(x, y, "rem", remOf);
}
mxArray *mlfIsnan(mxArray *x) {
  return test(x, "isnan", [](double v) { return std::isnan(v); });
}
mxArray *mlfIsinf(mxArray *x) {
  return test(x, "isinf", [](double v) { return std::isinf(v); });
}

}  // extern "C"
