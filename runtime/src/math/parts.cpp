// The parts of complex numbers: real, imag, conj, angle, complex and isreal. A part is handed
// out by sharing its storage, never copied.
#include <cmath>

#include "core/array.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

// A real double array of x's size whose elements are x's part `part` (x's storage, shared).
Array *partOf(const Array &x, Storage *part) {
  Array *r = newArray(mxDOUBLE_CLASS, Dims(0, 0));
  r->dims = x.dims;
  r->store = part;
  if (part) part->share();
  return r;
}

// x as a real double: a char or logical array converted, a double one shared.
Array *asRealDouble(const Array &x) {
  if (x.isDouble()) return partOf(x, x.store);
  Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, x.dims));
  DoubleData d(x);
  std::copy_n(d.data(), x.numel(), r->mutableReals());
  return r.release();
}

void requireReal(const Array &a, const char *fn) {
  if (a.isComplex()) raise(std::string(fn) + ": the inputs must be real, not complex.");
}

}  // namespace

extern "C" {

mxArray *mlfReal(mxArray *x) {
  Operand X(x, "real");
  return temp(asRealDouble(*X));
}

mxArray *mlfImag(mxArray *x) {
  Operand X(x, "imag");
  if (X->isComplex()) return temp(partOf(*X, X->imagStore));
  return temp(newArray(mxDOUBLE_CLASS, X->dims));
}

mxArray *mlfConj(mxArray *x) {
  if (!isComplexArg(x)) {
    Operand X(x, "conj");
    return temp(asRealDouble(*X));
  }
  return complexElementwise(x, "conj", [](Complex z) { return std::conj(z); });
}

mxArray *mlfAngle(mxArray *x) {
  return complexToReal(x, "angle", [](Complex z) { return std::atan2(z.imag(), z.real()); });
}

mxArray *mlfComplex(mxArray *a, mxArray *b) {
  Operands<2> ops({a, b}, "complex", 0b10);
  const Array &re = ops[0];
  requireReal(re, "complex");
  if (!ops.has(1)) {
    // complex(a): a with zero imaginary parts, complex all the same.
    Owned r(asRealDouble(re));
    addImaginaryPart(*r);
    return temp(r.release());
  }
  const Array &im = ops[1];
  requireReal(im, "complex");
  if (!re.isScalar() && !im.isScalar() && !(re.dims == im.dims)) {
    raise("complex: the real and imaginary parts must have one size, or one be a scalar: " +
          sizeText(re) + " and " + sizeText(im) + ".");
  }
  Dims dims = re.isScalar() ? im.dims : re.dims;
  std::size_t n = dims.numel();
  Owned r(newComplexForOverwrite(dims));
  DoubleData x(re), y(im);
  const std::size_t sx = re.isScalar() ? 0 : 1, sy = im.isScalar() ? 0 : 1;
  double *outRe = r->mutableReals(), *outIm = r->mutableImags();
  for (std::size_t k = 0; k < n; ++k) {
    outRe[k] = x[k * sx];
    outIm[k] = y[k * sy];
  }
  return temp(r.release());  // never narrowed: complex(a, 0) stays complex
}

mxArray *mlfIsreal(mxArray *x) {
  Operand X(x, "isreal");
  return temp(newLogicalScalar(!X->isComplex()));
}

}  // extern "C"
