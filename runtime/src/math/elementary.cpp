// The element-wise functions of one argument: ceil, round, abs, exp, log, log10, sqrt, sin, cos,
// of real and complex arrays; on real arrays the transcendental ones and sqrt through the vector
// kernels (accuracy in math/vector_kernels.h). log, log10 and sqrt of a negative number are
// complex. Integer and single arguments give results of their class (ops/classed.h).
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/array.h"
#include "math/vector_math.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

// A function applied to each part of a complex number.
template <double (*F)(double)>
Complex eachPart(Complex z) {
  return {F(z.real()), F(z.imag())};
}

double roundHalfAway(double v) { return std::round(v); }
double ceilOf(double v) { return std::ceil(v); }

}  // namespace

extern "C" {

mxArray *mlfCeil(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "ceil", mlfCeil, IntegerArgument::Keeps);
  if (isComplexArg(x)) return complexElementwise(x, "ceil", eachPart<ceilOf>);
  return elementwise(x, "ceil", [](double v) { return std::ceil(v); });
}
mxArray *mlfRound(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "round", mlfRound, IntegerArgument::Keeps);
  if (isComplexArg(x)) return complexElementwise(x, "round", eachPart<roundHalfAway>);
  return elementwise(x, "round", [](double v) { return std::round(v); });  // halves away from 0
}
mxArray *mlfAbs(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "abs", mlfAbs, IntegerArgument::Keeps);
  // |a + bi| = hypot(a, b), without overflow or underflow in the squares.
  if (isComplexArg(x)) return complexToReal(x, "abs", [](Complex z) { return std::abs(z); });
  return elementwise(x, "abs", [](double v) { return std::fabs(v); });
}
mxArray *mlfExp(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "exp", mlfExp, IntegerArgument::Refused);
  if (isComplexArg(x)) return complexElementwise(x, "exp", [](Complex z) { return std::exp(z); });
  return elementwise(x, "exp", Vectorised{&VectorKernels::exp});
}
// log(-v) = log(v) + pi i for v > 0: the principal value, as clog of -v + 0i gives it.
mxArray *mlfLog(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "log", mlfLog, IntegerArgument::Refused);
  if (isComplexArg(x)) return complexElementwise(x, "log", [](Complex z) { return std::log(z); });
  return realUnlessNegative(x, "log", &VectorKernels::signedLog,
                            [](double v) { return Complex(std::log(-v), std::numbers::pi); });
}
mxArray *mlfLog10(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "log10", mlfLog10, IntegerArgument::Refused);
  if (isComplexArg(x)) {
    return complexElementwise(x, "log10", [](Complex z) { return std::log10(z); });
  }
  return realUnlessNegative(x, "log10", &VectorKernels::signedLog10, [](double v) {
    return Complex(std::log10(-v), std::numbers::pi / std::numbers::ln10);
  });
}
// sqrt(-v) = sqrt(v) i for v > 0.
mxArray *mlfSqrt(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "sqrt", mlfSqrt, IntegerArgument::Refused);
  if (isComplexArg(x)) return complexElementwise(x, "sqrt", [](Complex z) { return std::sqrt(z); });
  return realUnlessNegative(x, "sqrt", &VectorKernels::signedSqrt,
                            [](double v) { return Complex(0.0, std::sqrt(-v)); });
}
mxArray *mlfSin(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "sin", mlfSin, IntegerArgument::Refused);
  if (isComplexArg(x)) return complexElementwise(x, "sin", [](Complex z) { return std::sin(z); });
  return elementwise(x, "sin", Vectorised{&VectorKernels::sin});
}
mxArray *mlfCos(mxArray *x) {
  if (classedOperands(x)) return classedFunction(x, "cos", mlfCos, IntegerArgument::Refused);
  if (isComplexArg(x)) return complexElementwise(x, "cos", [](Complex z) { return std::cos(z); });
  return elementwise(x, "cos", Vectorised{&VectorKernels::cos});
}

}  // extern "C"
