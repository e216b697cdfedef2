// Arithmetic whose result has a class of its own: an integer class (rounded to nearest and
// saturated) or single. Each operator of arith.cpp tests for such an operand at its top and
// hands the work over; double, char and logical operands never come here.
#pragma once

#include <string>

#include "core/array.h"
#include "core/classes.h"

namespace mexrt::detail {

enum class ClassedOp { Plus, Minus, Times, Divide, Power };

inline bool classedOperands(const Array *a, const Array *b = nullptr) {
  return (a && hasOwnArithmetic(a->cls)) || (b && hasOwnArithmetic(b->cls));
}

// a op b element by element with scalar expansion, in the class arithmeticClass gives. The
// values are computed in double, exact for these classes, and in long double for 64-bit
// integers; the result is then rounded into the class.
mxArray *classedArithmetic(mxArray *a, mxArray *b, ClassedOp op, const char *symbol);
mxArray *classedNegation(mxArray *a);
// a * b: a scalar factor works element by element; a product of two single (or single and
// double) matrices is computed in double and rounded to single; integer matrices need a
// scalar factor.
mxArray *classedProduct(mxArray *a, mxArray *b);

// An element-wise function of one argument for an integer or single x: computed by fn on x's
// values in double, the result rounded back into x's class (abs(int8(-128)) saturates to
// 127). A function for floating values only (exp, log, sqrt, sin, ...) refuses an integer x,
// as the host does; a complex result cannot be single and is refused too.
enum class IntegerArgument { Keeps, Refused };
mxArray *classedFunction(mxArray *x, const char *name, mxArray *(*fn)(mxArray *),
                         IntegerArgument integers);

// A function of two arguments (mod, rem, a pair max or min) for integer or single operands:
// fn on their values in double, the result rounded into the class arithmeticClass gives.
mxArray *classedPair(mxArray *a, mxArray *b, const char *name,
                     mxArray *(*fn)(mxArray *, mxArray *));

// The class of a reduction's or scan's result for an x of class cls: its own class (sum, prod,
// cumsum, max, min, median, sort), an integer giving double (mean), or single alone taken
// (var, std: an integer is refused).
enum class ReducedClass { Own, IntegerToDouble, FloatOnly };

// A reduction or scan of an integer or single x: fn called with x's values as a double array
// (fn(values) reclaims nothing but its own temporaries), its result rounded into the class
// `kind` gives. Outputs fn stores elsewhere (index positions) stay double.
template <class F>
mxArray *classedReduction(mxArray *x, const char *name, ReducedClass kind, F fn) {
  Owned values;
  mxClassID cls;
  {
    Operand X(x, name);
    cls = X->cls;
    if (kind == ReducedClass::FloatOnly && isIntegerClass(cls)) {
      raise(std::string(name) + ": the input must be double or single, not " + className(cls) +
            ".");
    }
    if (X->isComplex())
      raise(std::string(name) + ": a complex value cannot be " + className(cls) + ".");
    values.reset(converted(*X, mxDOUBLE_CLASS, name));
  }
  if (kind == ReducedClass::IntegerToDouble && isIntegerClass(cls)) cls = mxDOUBLE_CLASS;
  Owned r(fn(values.get()));
  untemp(r.get());
  if (cls == mxDOUBLE_CLASS || r->cls == mxLOGICAL_CLASS) return temp(r.release());
  return temp(converted(*r, cls, name));
}

}  // namespace mexrt::detail
