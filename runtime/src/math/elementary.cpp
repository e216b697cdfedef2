// The element-wise functions of one argument: ceil, round, abs, exp, log, log10, sqrt, sin, cos,
// of real and complex arrays; on real arrays the transcendental ones and sqrt through the vector
// kernels (accuracy in math/vector_kernels.h). log, log10 and sqrt of a negative number are
// complex. Integer and single arguments give results of their class (ops/classed.h).
#include <algorithm>
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

// The vector kernel f of every element of a real x, unless x has negative elements, which
// f's real domain leaves out (log, sqrt): those take g's complex value instead, and the
// result is complex. f notes a sign bit among the arguments it loads, so x is read once; only
// when one is set are the arguments looked at element by element. When the result takes x's
// own buffer, f runs block by block into a small buffer first (in cache, as is the block of x
// just read), so that the block's arguments are still there for g.
template <class G>
mxArray *realUnlessNegative(mxArray *x, const char *name, SignedRunKernel VectorKernels::*f, G g) {
  Operand X(x, name);
  const std::size_t n = X->numel();
  DoubleData dx(*X);
  const double *in = dx.data();
  Owned r(doubleResult(X->dims, X));
  double *out = r->mutableReals();
  const bool inPlace = out == in;
  const SignedRunKernel kernel = vectorKernels().*f;
  double *im = nullptr;
  // Sized for the block of x and the buffer to stay in the first-level cache together.
  constexpr std::size_t kBlock = 512;
  double block[kBlock];
  const std::size_t step = inPlace ? kBlock : std::max<std::size_t>(n, 1);
  for (std::size_t k0 = 0; k0 < n; k0 += step) {
    const std::size_t len = std::min(step, n - k0);
    const double *arguments = in + k0;
    double *values = inPlace ? block : out + k0;
    if (kernel(arguments, values, len)) {
      for (std::size_t k = 0; k < len; ++k) {
        if (!(arguments[k] < 0)) continue;
        if (!im) {
          addImaginaryPart(*r);  // zero: the elements before are real
          im = r->mutableImags();
        }
        Complex z = g(arguments[k]);
        values[k] = z.real();
        im[k0 + k] = z.imag();
      }
    }
    if (inPlace) std::copy_n(block, len, out + k0);
  }
  return temp(r.release());
}

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
