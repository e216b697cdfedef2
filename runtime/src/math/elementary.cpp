// The element-wise functions of one argument: ceil, round, abs, exp, log, log10, sqrt, sin, cos;
// the transcendental ones and sqrt through the vector kernels (accuracy in math/vector_kernels.h).
#include <climits>
#include <cmath>
#include <cstring>

#include "core/array.h"
#include "math/vector_math.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"

using namespace mexrt::detail;

extern "C" {

mxArray *mlfCeil(mxArray *x) {
  return elementwise(x, "ceil", [](double v) { return std::ceil(v); });
}
mxArray *mlfRound(mxArray *x) {
  return elementwise(x, "round", [](double v) { return std::round(v); });  // halves away from 0
}
mxArray *mlfAbs(mxArray *x) {
  return elementwise(x, "abs", [](double v) { return std::fabs(v); });
}
mxArray *mlfExp(mxArray *x) { return elementwise(x, "exp", Vectorised{&VectorKernels::exp}); }
mxArray *mlfLog(mxArray *x) { return elementwise(x, "log", Vectorised{&VectorKernels::log}); }
mxArray *mlfLog10(mxArray *x) { return elementwise(x, "log10", Vectorised{&VectorKernels::log10}); }
mxArray *mlfSqrt(mxArray *x) { return elementwise(x, "sqrt", Vectorised{&VectorKernels::sqrt}); }
mxArray *mlfSin(mxArray *x) { return elementwise(x, "sin", Vectorised{&VectorKernels::sin}); }
mxArray *mlfCos(mxArray *x) { return elementwise(x, "cos", Vectorised{&VectorKernels::cos}); }

}  // extern "C"
