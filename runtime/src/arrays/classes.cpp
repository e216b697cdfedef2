// The class functions: cast (and so int8(x) ... char(x)), class, isa, and the limits of the
// classes (intmax, intmin, realmax, realmin, eps).
#include "core/classes.h"

#include <cmath>
#include <limits>
#include <string>

#include "core/array.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "core/utf8.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

// A class name argument as text, or the error naming the function.
std::string nameArg(const Array &a, const char *fn) {
  if (!a.isChar() || a.dims.rows() > 1) {
    raise(std::string(fn) + ": the class name must be text, such as 'int16'.");
  }
  return toUtf8({a.chars(), a.numel()});
}

mxClassID classArg(const Array &a, const char *fn) {
  std::string name = nameArg(a, fn);
  std::optional<mxClassID> cls = classNamed(name);
  if (!cls) raise(std::string(fn) + ": unknown class '" + name + "'.");
  return *cls;
}

// The class named by an optional argument, which must satisfy `allowed`.
template <class Allowed>
mxClassID limitClass(const Operands<1> &ops, mxClassID byDefault, const char *fn, Allowed allowed,
                     const char *kinds) {
  if (!ops.has(0)) return byDefault;
  mxClassID cls = classArg(ops[0], fn);
  if (!allowed(cls)) raise(std::string(fn) + ": the class must be " + kinds + ".");
  return cls;
}

// A 1x1 array of class cls holding v, as the class's element type.
template <class V>
Array *scalarOf(mxClassID cls, V v) {
  Owned r(newArray(cls, Dims(1, 1)));
  byClass(cls, [&](auto tag) {
    using T = decltype(tag);
    mutableElementsOf<T>(*r)[0] = static_cast<T>(v);
  });
  return r.release();
}

// The spacing of the floating type T at |v|: 2^(e - digits) for |v| in [2^(e-1), 2^e), the
// smallest subnormal at 0 and below the normal range, NaN for Inf and NaN.
template <class T>
T spacing(T v) {
  if (!std::isfinite(v)) return std::numeric_limits<T>::quiet_NaN();
  int e = 0;
  std::frexp(std::fabs(v), &e);
  const T step = std::ldexp(T{1}, e - std::numeric_limits<T>::digits);
  return v == 0 ? std::numeric_limits<T>::denorm_min()
                : std::max(step, std::numeric_limits<T>::denorm_min());
}

}  // namespace
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mxArray *mlfCast(mxArray *x, mxArray *classname) {
  Operands<2> ops({x, classname}, "cast");
  const mxClassID to = classArg(ops[1], "cast");
  if (!isNumericClass(to) && to != mxCHAR_CLASS && to != mxLOGICAL_CLASS) {
    raise(std::string("cast: values cannot be converted to class '") + className(to) + "'.");
  }
  return temp(converted(ops[0], to, "cast"));
}

mxArray *mlfClass(mxArray *x) {
  if (x && x->cls == mxFUNCTION_CLASS) {  // not an operand of arithmetic, but it has a class
    if (x->temporary) destroy(x);
    return temp(newString(u"function_handle"));
  }
  Operand X(x, "class", true);
  return temp(newString(fromUtf8(className(X->cls))));
}

mxArray *mlfIsa(mxArray *x, mxArray *classname) {
  Operands<2> ops({x, classname}, "isa");
  const mxClassID cls = ops[0].cls;
  std::string name = nameArg(ops[1], "isa");
  bool is = false;
  if (name == "numeric") {
    is = isNumericClass(cls);
  } else if (name == "float") {
    is = isFloatClass(cls);
  } else if (name == "integer") {
    is = isIntegerClass(cls);
  } else {
    is = classNamed(name) == cls;
  }
  return temp(newLogicalScalar(is));
}

mxArray *mlfIntmax(mxArray *classname) {
  Operands<1> ops({classname}, "intmax", 1);
  mxClassID cls = limitClass(ops, mxINT32_CLASS, "intmax", isIntegerClass, "an integer class");
  return temp(byClass(
      cls, [&](auto tag) { return scalarOf(cls, std::numeric_limits<decltype(tag)>::max()); }));
}

mxArray *mlfIntmin(mxArray *classname) {
  Operands<1> ops({classname}, "intmin", 1);
  mxClassID cls = limitClass(ops, mxINT32_CLASS, "intmin", isIntegerClass, "an integer class");
  return temp(byClass(
      cls, [&](auto tag) { return scalarOf(cls, std::numeric_limits<decltype(tag)>::min()); }));
}

mxArray *mlfRealmax(mxArray *classname) {
  Operands<1> ops({classname}, "realmax", 1);
  mxClassID cls = limitClass(ops, mxDOUBLE_CLASS, "realmax", isFloatClass, "double or single");
  if (cls == mxSINGLE_CLASS) return temp(scalarOf(cls, std::numeric_limits<float>::max()));
  return temp(newScalar(std::numeric_limits<double>::max()));
}

mxArray *mlfRealmin(mxArray *classname) {
  Operands<1> ops({classname}, "realmin", 1);
  mxClassID cls = limitClass(ops, mxDOUBLE_CLASS, "realmin", isFloatClass, "double or single");
  if (cls == mxSINGLE_CLASS) return temp(scalarOf(cls, std::numeric_limits<float>::min()));
  return temp(newScalar(std::numeric_limits<double>::min()));
}

mxArray *mlfEps(mxArray *x) {
  Operands<1> ops({x}, "eps", 1);
  if (!ops.has(0)) return temp(newScalar(std::numeric_limits<double>::epsilon()));
  const Array &X = ops[0];
  if (X.isChar()) {
    mxClassID cls = classArg(X, "eps");
    if (cls == mxSINGLE_CLASS) return temp(scalarOf(cls, std::numeric_limits<float>::epsilon()));
    if (cls != mxDOUBLE_CLASS) raise("eps: the class must be double or single.");
    return temp(newScalar(std::numeric_limits<double>::epsilon()));
  }
  if (!isFloatClass(X.cls) || X.isComplex()) {
    raise("eps: the input must be real double or single values, or a class name.");
  }
  Owned r(newArrayForOverwrite(X.cls, X.dims));
  const std::size_t n = X.numel();
  if (X.cls == mxSINGLE_CLASS) {
    const float *in = elementsOf<float>(X);
    float *out = mutableElementsOf<float>(*r);
    for (std::size_t k = 0; k < n; ++k) out[k] = spacing(in[k]);
  } else {
    const double *in = X.reals();
    double *out = r->mutableReals();
    for (std::size_t k = 0; k < n; ++k) out[k] = spacing(in[k]);
  }
  return temp(r.release());
}

}  // extern "C"
