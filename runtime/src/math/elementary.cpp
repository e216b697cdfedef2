// The element-wise functions of one argument: ceil, round, abs, exp, log, log10, sqrt, sin, cos.
#include <climits>
#include <cmath>
#include <cstring>

#include "core/array.h"
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
mxArray *mlfExp(mxArray *x) {
  return elementwise(x, "exp", [](double v) { return std::exp(v); });
}
mxArray *mlfLog(mxArray *x) {
  return elementwise(x, "log", [](double v) { return std::log(v); });
}
mxArray *mlfLog10(mxArray *x) {
  return elementwise(x, "log10", [](double v) { return std::log10(v); });
}
mxArray *mlfSqrt(mxArray *x) {
  return elementwise(x, "sqrt", [](double v) { return std::sqrt(v); });
}
mxArray *mlfSin(mxArray *x) {
  return elementwise(x, "sin", [](double v) { return std::sin(v); });
}
mxArray *mlfCos(mxArray *x) {
  return elementwise(x, "cos", [](double v) { return std::cos(v); });
}

}  // extern "C"
