// Colon ranges a:b and a:s:b: of doubles, of an integer or single class the bounds give, or
// of characters between two characters.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/classes.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

// The elements of start:step:stop. Their number allows a small relative slack, so that
// 0:0.1:1 reaches 1 despite rounding, and no element passes stop.
Array *colonRange(double start, double step, double stop) {
  if (std::isnan(start) || std::isnan(step) || std::isnan(stop)) {
    return newScalar(std::numeric_limits<double>::quiet_NaN());
  }
  if (step == 0 || (step > 0 && start > stop) || (step < 0 && start < stop)) {
    return newDouble(1, 0);
  }
  if (!std::isfinite(start) || !std::isfinite(stop)) {
    raise("Colon range " + numberText(start) + ":" + numberText(step) + ":" + numberText(stop) +
          " has infinitely many elements.");
  }
  double q = (stop - start) / step;
  double slack = 2 * std::numeric_limits<double>::epsilon() *
                 std::max(std::fabs(start), std::fabs(stop)) / std::fabs(step);
  double count =
      std::floor(q + std::max(slack, 4 * std::numeric_limits<double>::epsilon() * q)) + 1;
  if (!(count <= 2147483648.0)) {
    raise("Colon range " + numberText(start) + ":" + numberText(step) + ":" + numberText(stop) +
          " is too long: " + numberText(count) + " elements (at most 2^31).");
  }
  std::size_t n = static_cast<std::size_t>(count);
  Array *r = newDouble(1, n);
  double *out = r->mutableReals();
  out[0] = start;  // not start + 0 * step, which is NaN for an infinite step
  for (std::size_t k = 1; k < n; ++k) out[k] = start + static_cast<double>(k) * step;
  out[n - 1] = step > 0 ? std::min(out[n - 1], stop) : std::max(out[n - 1], stop);
  return r;
}

// Two character bounds make a character range ('a':'e').
Array *charRange(Array *numbers) {
  Owned r(numbers);
  if (!r->isDouble() || (r->numel() == 1 && std::isnan(r->reals()[0]))) return r.release();
  Array *c = newArray(mxCHAR_CLASS, r->dims);
  mxChar *out = c->mutableChars();
  const double *in = r->reals();
  for (std::size_t k = 0, n = r->numel(); k < n; ++k) {
    out[k] = static_cast<mxChar>(std::clamp(std::floor(in[k]), 0.0, 65535.0));
  }
  return c;
}

}  // namespace

extern "C" {

mxArray *mlfColon(mxArray *start, mxArray *step_or_end, mxArray *end) {
  Operands<3> ops({start, step_or_end, end}, "Colon a:b", 0b100);
  bool hasStep = ops.has(2);
  const Array &a = ops[0];
  const Array &b = hasStep ? ops[2] : ops[1];
  if (a.isEmpty() || b.isEmpty() || (hasStep && ops[1].isEmpty())) return temp(newDouble(1, 0));
  double first = a.number(0), step = hasStep ? ops[1].number(0) : 1.0, last = b.number(0);
  // An integer or single operand gives the range its class, as arithmetic would; integer
  // bounds are first taken into the integer class, and the range of them with the step as
  // given (int8(1):0.4:3 is 1 1.4 ... 3) then rounds into it.
  mxClassID cls = mxDOUBLE_CLASS;
  for (std::size_t k = 0; k < 3; ++k) {
    if (!ops.has(k) || !hasOwnArithmetic(ops[k].cls)) continue;
    cls = cls == mxDOUBLE_CLASS ? ops[k].cls : arithmeticClass(cls, ops[k].cls);
  }
  if (isIntegerClass(cls)) {
    byClass(cls, [&](auto tag) {
      using T = decltype(tag);
      for (double *v : {&first, &last}) *v = static_cast<double>(elementCast<T>(*v));
    });
  }
  Array *r = colonRange(first, step, last);
  if (cls != mxDOUBLE_CLASS) {
    Owned numbers(r);
    r = converted(*numbers, cls, "Colon a:b");
  }
  if (a.isChar() && b.isChar()) r = charRange(r);
  return temp(r);
}

}  // extern "C"
