// The loop skeletons of element-wise operations on complex arrays, whose two parts are held
// apart: a complex result that reuses a temporary operand's buffers, arithmetic of two
// operands (either of them real) and functions of one. Real operands never come here: each
// operation tests for a complex operand once, at its top, and keeps its real loop as it is.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

#include "core/array.h"
#include "ops/elementwise.h"

namespace mexrt::detail {

using Complex = std::complex<double>;

// Whether an argument is a complex array; an absent or uninitialised one is left to the real
// path, which reports it.
inline bool isComplexArg(const Array *a) { return a && a->isComplex(); }

// A complex result of the given size, in the buffers of a temporary double operand of that
// size when one can be taken (its imaginary part too, when it has one of its own).
inline Array *complexResult(const Dims &dims, Operand &x, Operand *y = nullptr) {
  for (Operand *o : {&x, y}) {
    if (!o || !(*o)->isDouble() || !((*o)->dims == dims) || !o->stealableStorage()) continue;
    Owned r(newArray(mxDOUBLE_CLASS, Dims(0, 0)));
    r->dims = dims;
    r->complex = true;
    r->store = o->takeStorage();
    r->imagStore = o->takeImagStorage();
    if (!r->imagStore) r->imagStore = Storage::allocate(r->store->bytes, false);
    return r.release();
  }
  return newComplexForOverwrite(dims);
}

// Element k of an operand as a complex number: its imaginary part, or 0 for a real one.
struct ComplexReader {
  explicit ComplexReader(const Array &a) : re(a), im(a.imags()), step(a.isScalar() ? 0 : 1) {}
  double real(std::size_t k) const { return re[k * step]; }
  Complex operator()(std::size_t k) const { return {re[k * step], im ? im[k * step] : 0.0}; }
  DoubleData re;
  const double *im;
  std::size_t step;
};

// a op b element by element with scalar expansion, when a or b is complex (or when a real
// pair has a complex result, as a negative number to a fractional power). K gives the
// operation for each mix of operands, so that a real operand takes no part in the other's
// imaginary part (2 * (Inf + 0i) is Inf + 0i, not Inf + NaNi):
//   K::cc(Complex, Complex), K::cr(Complex, double), K::rc(double, Complex),
//   K::rr(double, double), each giving a Complex.
template <class K>
mxArray *complexArithmetic(mxArray *a, mxArray *b, const char *symbol) {
  Operand A(a, symbol), B(b, symbol);
  Dims dims = expandedDims(*A, *B, symbol);
  const bool ca = A->isComplex(), cb = B->isComplex();
  ComplexReader x(*A), y(*B);
  const std::size_t n = dims.numel();
  // The result may take an operand's buffers; each element is read before it is written.
  Array *r = complexResult(dims, A, &B);
  double *re = r->mutableReals(), *im = r->mutableImags();
  auto run = [&](auto op) {
    for (std::size_t k = 0; k < n; ++k) {
      Complex z = op(k);
      re[k] = z.real();
      im[k] = z.imag();
    }
  };
  if (ca && cb) {
    run([&](std::size_t k) { return K::cc(x(k), y(k)); });
  } else if (ca) {
    run([&](std::size_t k) { return K::cr(x(k), y.real(k)); });
  } else if (cb) {
    run([&](std::size_t k) { return K::rc(x.real(k), y(k)); });
  } else {
    run([&](std::size_t k) { return K::rr(x.real(k), y.real(k)); });
  }
  return temp(narrowed(r));
}

// f(z) for every element of x as a complex number (the imaginary part of a real x is 0), as
// a complex result that becomes real when every imaginary part is zero.
template <class F>
mxArray *complexElementwise(mxArray *x, const char *name, F f) {
  Operand X(x, name);
  ComplexReader z(*X);
  const std::size_t n = X->numel();
  Array *r = complexResult(X->dims, X);
  double *re = r->mutableReals(), *im = r->mutableImags();
  for (std::size_t k = 0; k < n; ++k) {
    Complex v = f(z(k));
    re[k] = v.real();
    im[k] = v.imag();
  }
  return temp(narrowed(r));
}

// f(z) for every element of a complex x, a real result (abs, angle, real, imag).
template <class F>
mxArray *complexToReal(mxArray *x, const char *name, F f) {
  Operand X(x, name);
  ComplexReader z(*X);
  const std::size_t n = X->numel();
  Array *r = doubleResult(X->dims, X);
  double *out = r->mutableReals();
  for (std::size_t k = 0; k < n; ++k) out[k] = f(z(k));
  return temp(r);
}

// --- Complex arithmetic on one pair of values ---

// The product as the schoolbook formula gives it, as BLAS and the host compute it.
inline Complex complexTimes(Complex a, Complex b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// .* and the product by a scalar: a real factor multiplies each part of the other.
struct ComplexTimes {
  static Complex cc(Complex a, Complex b) { return complexTimes(a, b); }
  static Complex cr(Complex a, double y) { return {a.real() * y, a.imag() * y}; }
  static Complex rc(double x, Complex b) { return {x * b.real(), x * b.imag()}; }
  static Complex rr(double x, double y) { return x * y; }
};

// The quotient by Smith's method, which scales by the larger part of the divisor so that
// neither a square nor a product overflows. A divisor with one zero part divides part by
// part: (1 + 2i) / 0 is Inf + Infi, as dividing each part by a real 0.
inline Complex complexDivide(Complex a, Complex b) {
  const double p = a.real(), q = a.imag(), c = b.real(), d = b.imag();
  if (d == 0) return {p / c, q / c};
  if (c == 0) return {q / d, -p / d};
  if (std::fabs(c) >= std::fabs(d)) {
    const double r = d / c, den = c + d * r;
    return {(p + q * r) / den, (q - p * r) / den};
  }
  const double r = c / d, den = c * r + d;
  return {(p * r + q) / den, (q * r - p) / den};
}

}  // namespace mexrt::detail
