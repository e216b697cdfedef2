// find and the reductions max, min and sum, along the first non-singleton dimension or a
// given one. Complex elements are ordered by magnitude, then by angle.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "arrays/args.h"
#include "core/array.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise_complex.h"

namespace mexrt::detail {
namespace {

// --- find ---

struct Found {
  Owned first, second, third;
};

// Element k is not zero: its value, or either part of a complex one.
bool nonZero(const Array &x, const double *imags, std::size_t k) {
  return x.number(k) != 0 || (imags && imags[k] != 0);
}

Found findNonZero(const Array &x, bool wantColumns, bool wantValues) {
  std::size_t n = x.numel(), count = 0;
  const double *im = x.imags();
  for (std::size_t k = 0; k < n; ++k) count += nonZero(x, im, k);
  Dims shape = x.dims == Dims(0, 0)                     ? Dims(0, 0)
               : (x.dims.size() == 2 && x.dims[0] == 1) ? Dims(1, count)
                                                        : Dims(count, 1);
  std::size_t rows = x.dims.rows();
  Found f;
  f.first.reset(newArray(mxDOUBLE_CLASS, shape));
  if (wantColumns) f.second.reset(newArray(mxDOUBLE_CLASS, shape));
  if (wantValues) f.third.reset(newArrayLike(x, shape));
  if (count == 0) return f;
  double *first = f.first->mutableReals();
  double *second = wantColumns ? f.second->mutableReals() : nullptr;
  double *values_im = wantValues && x.isComplex() ? f.third->mutableImags() : nullptr;
  std::size_t j = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (!nonZero(x, im, k)) continue;
    if (second) {
      const std::size_t row = k % rows, column = k / rows;
      first[j] = static_cast<double>(row + 1);
      second[j] = static_cast<double>(column + 1);
    } else {
      first[j] = static_cast<double>(k + 1);
    }
    if (wantValues) {
      byClass(x.cls, [&](auto tag) {
        using T = decltype(tag);
        mutableElementsOf<T>(*f.third)[j] = elementsOf<T>(x)[k];
      });
      if (values_im) values_im[j] = im[k];
    }
    ++j;
  }
  if (f.third) narrowed(f.third.get());
  return f;
}

// --- Reductions: max, min, sum ---

// How a reduction along one dimension walks an array: `outer` blocks of `len` slices of
// `inner` contiguous elements; the result has `inner` elements per block.
struct Walk {
  std::size_t inner = 1, len = 1, outer = 1;
  Dims out;
};

Walk walkAlong(const Dims &dims, std::size_t dim, bool emptyStaysEmpty) {
  Walk w;
  if (dim >= dims.size()) {
    // Every element is its own slice: the result has x's size.
    w.inner = dims.numel();
    w.out = dims;
    return w;
  }
  std::size_t nd = dims.size();
  std::vector<std::size_t> d(dims.span().begin(), dims.span().end());
  for (std::size_t m = 0; m < dim; ++m) w.inner *= d[m];
  for (std::size_t m = dim + 1; m < nd; ++m) w.outer *= d[m];
  w.len = d[dim];
  d[dim] = (emptyStaysEmpty && w.len == 0) ? 0 : 1;
  w.out = dimsOf(d);
  return w;
}

template <bool kMax>
bool better(double v, double best) {
  if (std::isnan(best)) return !std::isnan(v);
  return kMax ? v > best : v < best;
}

// The order of complex values: by magnitude, then by angle in (-pi, pi]. A value with a NaN
// part is NaN, and loses to any number.
template <bool kMax>
bool betterComplex(Complex v, Complex best) {
  bool vNaN = std::isnan(v.real()) || std::isnan(v.imag());
  if (std::isnan(best.real()) || std::isnan(best.imag())) return !vNaN;
  if (vNaN) return false;
  double mv = std::abs(v), mb = std::abs(best);
  if (mv != mb) return kMax ? mv > mb : mv < mb;
  double av = std::arg(v), ab = std::arg(best);
  return kMax ? av > ab : av < ab;
}

struct Extremes {
  Owned value, index;
};

// max or min of a complex x along a walk: the values and, when asked for, their positions.
template <bool kMax>
void reduceExtremeComplex(const Array &x, const Walk &w, Array &value, double *pos) {
  ComplexReader data(x);
  double *bestRe = value.mutableReals(), *bestIm = value.mutableImags();
  for (std::size_t o = 0; o < w.outer; ++o) {
    std::size_t base = o * w.len * w.inner;
    for (std::size_t i = 0; i < w.inner; ++i) {
      Complex best = data(base + i);
      double at = 1;
      for (std::size_t k = 1; k < w.len; ++k) {
        Complex v = data(base + k * w.inner + i);
        if (!betterComplex<kMax>(v, best)) continue;
        best = v;
        at = static_cast<double>(k + 1);
      }
      bestRe[o * w.inner + i] = best.real();
      bestIm[o * w.inner + i] = best.imag();
      if (pos) pos[o * w.inner + i] = at;
    }
  }
}

template <bool kMax>
Extremes reduceExtreme(const Array &x, std::optional<std::size_t> dim, bool wantIndex) {
  Extremes e;
  if (!dim && x.dims == Dims(0, 0)) {
    e.value.reset(newDouble(0, 0));
    if (wantIndex) e.index.reset(newDouble(0, 0));
    return e;
  }
  Walk w = walkAlong(x.dims, dim ? *dim - 1 : defaultDim(x.dims), true);
  e.value.reset(newArray(mxDOUBLE_CLASS, w.out));
  if (x.isComplex()) addImaginaryPart(*e.value);
  if (wantIndex) e.index.reset(newArray(mxDOUBLE_CLASS, w.out));
  if (w.len == 0 || e.value->isEmpty()) return e;
  if (x.isComplex()) {
    reduceExtremeComplex<kMax>(x, w, *e.value, wantIndex ? e.index->mutableReals() : nullptr);
    narrowed(e.value.get());
    return e;
  }
  DoubleData data(x);
  double *best = e.value->mutableReals();
  double *pos = wantIndex ? e.index->mutableReals() : nullptr;
  for (std::size_t o = 0; o < w.outer; ++o, best += w.inner) {
    const double *base = data.data() + o * w.len * w.inner;
    std::copy(base, base + w.inner, best);
    if (pos) std::fill_n(pos + o * w.inner, w.inner, 1.0);
    for (std::size_t k = 1; k < w.len; ++k) {
      const double *slice = base + k * w.inner;
      for (std::size_t i = 0; i < w.inner; ++i) {
        if (!better<kMax>(slice[i], best[i])) continue;
        best[i] = slice[i];
        if (pos) pos[o * w.inner + i] = static_cast<double>(k + 1);
      }
    }
  }
  return e;
}

// max(x, y) and min(x, y): element by element with scalar expansion; NaN loses to a number.
template <bool kMax>
Array *pairExtreme(const Array &x, const Array &y, const char *fn) {
  bool xs = x.numel() == 1, ys = y.numel() == 1;
  if (!xs && !ys && !(x.dims == y.dims)) {
    raise(std::string(fn) + ": matrix dimensions must agree: " + sizeText(x) + " and " +
          sizeText(y) + ".");
  }
  const Dims &dims = (xs && !ys) ? y.dims : x.dims;
  Owned r(newArray(mxDOUBLE_CLASS, dims));
  if (x.isComplex() || y.isComplex()) {
    addImaginaryPart(*r);
    ComplexReader a(x), b(y);
    double *re = r->mutableReals(), *im = r->mutableImags();
    for (std::size_t k = 0, n = r->numel(); k < n; ++k) {
      Complex u = a(k), v = b(k);
      Complex m = betterComplex<kMax>(v, u) ? v : u;
      re[k] = m.real();
      im[k] = m.imag();
    }
    return narrowed(r.release());
  }
  DoubleData a(x), b(y);
  double *out = r->mutableReals();
  for (std::size_t k = 0, n = r->numel(); k < n; ++k) {
    double u = a[xs ? 0 : k], v = b[ys ? 0 : k];
    out[k] = better<kMax>(v, u) ? v : u;
  }
  return r.release();
}

template <bool kMax>
mxArray *extreme(mxArray **index, mxArray *x, mxArray *y, mxArray *dim, const char *fn);

template <bool kMax>
mxArray *pairOf(mxArray *x, mxArray *y) {
  return extreme<kMax>(nullptr, x, y, nullptr, kMax ? "max" : "min");
}

template <bool kMax>
mxArray *extreme(mxArray **index, mxArray *x, mxArray *y, mxArray *dim, const char *fn) {
  // An integer or single x or y: the values compared in double, the result in their class.
  if (y && !dim && classedOperands(x, y)) {
    if (index) {
      Operands<2> ops({x, y}, fn);
      raise(std::string(fn) + " of two arrays has no index output.");
    }
    return classedPair(x, y, fn, pairOf<kMax>);
  }
  if (classedOperands(x)) {
    return classedReduction(x, fn, ReducedClass::Own,
                            [&](mxArray *v) { return extreme<kMax>(index, v, y, dim, fn); });
  }
  Extremes e;
  {
    Operands<3> ops({x, y, dim}, fn, 0b110);
    if (ops.has(1) && !ops.has(2)) {
      if (index) raise(std::string(fn) + " of two arrays has no index output.");
      return temp(pairExtreme<kMax>(ops[0], ops[1], fn));
    }
    if (ops.has(1) && !ops[1].isEmpty()) {
      raise(std::string(fn) +
            "(x, y, dim): the second argument must be [] when a dimension is "
            "given.");
    }
    std::optional<std::size_t> d;
    if (ops.has(2)) d = dimensionArg(ops[2], fn);
    e = reduceExtreme<kMax>(ops[0], d, index != nullptr);
  }
  // The operands are released first: *index may be x itself.
  if (index) assignSlot(index, e.index.release());
  return temp(e.value.release());
}

// The sums of one part's elements along a walk into acc (zeroed).
void sumPart(const double *data, const Walk &w, double *acc) {
  for (std::size_t o = 0; o < w.outer; ++o, acc += w.inner) {
    const double *base = data + o * w.len * w.inner;
    if (w.inner == 1) {
      double s = 0;
      for (std::size_t k = 0; k < w.len; ++k) s += base[k];
      *acc = s;
      continue;
    }
    for (std::size_t k = 0; k < w.len; ++k) {
      const double *slice = base + k * w.inner;
      for (std::size_t i = 0; i < w.inner; ++i) acc[i] += slice[i];
    }
  }
}

Array *sumAlong(const Array &x, std::optional<std::size_t> dim) {
  if (!dim && x.dims == Dims(0, 0)) return newScalar(0);
  Walk w = walkAlong(x.dims, dim ? *dim - 1 : defaultDim(x.dims), false);
  Owned r(newArray(mxDOUBLE_CLASS, w.out));
  if (x.isComplex()) addImaginaryPart(*r);
  if (r->isEmpty() || w.len == 0) return narrowed(r.release());
  DoubleData data(x);
  sumPart(data.data(), w, r->mutableReals());
  if (x.isComplex()) sumPart(x.imags(), w, r->mutableImags());
  return narrowed(r.release());
}

// The sums of a 64-bit integer x in long double, which holds each element exactly, rounded
// into x's class.
template <class T>
Array *wideSumAlong(const Array &x, std::optional<std::size_t> dim) {
  if (!dim && x.dims == Dims(0, 0)) return newArray(x.cls, Dims(1, 1));
  Walk w = walkAlong(x.dims, dim ? *dim - 1 : defaultDim(x.dims), false);
  Owned r(newArray(x.cls, w.out));
  if (r->isEmpty()) return r.release();
  const T *in = elementsOf<T>(x);
  T *out = mutableElementsOf<T>(*r);
  for (std::size_t o = 0; o < w.outer; ++o) {
    for (std::size_t i = 0; i < w.inner; ++i) {
      long double acc = 0;
      const T *base = in + o * w.len * w.inner + i;
      for (std::size_t k = 0; k < w.len; ++k) acc += static_cast<long double>(base[k * w.inner]);
      out[o * w.inner + i] = elementCast<T>(acc);
    }
  }
  return r.release();
}

}  // namespace
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mxArray *mlfFind(mxArray **row_or_value, mxArray **value, mxArray *x) {
  Found f;
  {
    // x is released before the outputs are stored: an output slot may hold x itself.
    Operand a(x, "find");
    f = findNonZero(*a, row_or_value != nullptr, value != nullptr);
  }
  if (row_or_value) assignSlot(row_or_value, f.second.release());
  if (value) assignSlot(value, f.third.release());
  return temp(f.first.release());
}

mxArray *mlfMax(mxArray **index, mxArray *x, mxArray *y, mxArray *dim) {
  return extreme<true>(index, x, y, dim, "max");
}

mxArray *mlfMin(mxArray **index, mxArray *x, mxArray *y, mxArray *dim) {
  return extreme<false>(index, x, y, dim, "min");
}

// sum of an integer x gives its class (saturated), of single x single; of char, logical
// and double, double.
mxArray *mlfSum(mxArray *x, mxArray *dim) {
  if (x && isWideClass(x->cls)) {
    Operands<2> ops({x, dim}, "sum", 0b10);
    std::optional<std::size_t> d;
    if (ops.has(1)) d = dimensionArg(ops[1], "sum");
    return temp(x->cls == mxINT64_CLASS ? wideSumAlong<std::int64_t>(ops[0], d)
                                        : wideSumAlong<std::uint64_t>(ops[0], d));
  }
  if (classedOperands(x)) {
    return classedReduction(x, "sum", ReducedClass::Own,
                            [&](mxArray *v) { return mlfSum(v, dim); });
  }
  Operands<2> ops({x, dim}, "sum", 0b10);
  std::optional<std::size_t> d;
  if (ops.has(1)) d = dimensionArg(ops[1], "sum");
  return temp(sumAlong(ops[0], d));
}

}  // extern "C"
