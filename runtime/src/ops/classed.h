// Arithmetic whose result has a class of its own: an integer class (rounded to nearest and
// saturated) or single. Each operator of arith.cpp tests for such an operand at its top and
// hands the work over; double, char and logical operands never come here.
#pragma once

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

}  // namespace mexrt::detail
