// Reductions and scans along one dimension beyond sum, max and min: prod, mean, median, var,
// std, any, all, cumsum and sort. Each takes the first non-singleton dimension unless given
// one, works on real and complex arrays of any size, and gives a real var and std for complex
// data. Slices are gathered one at a time into a buffer, so every function reads its slice as
// a contiguous run whatever the dimension.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "arrays/args.h"
#include "core/array.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"

using namespace mexrt::detail;

namespace {

using Complex = std::complex<double>;

// A dimension's walk: `outer` blocks of `len` slices, `inner` elements apart.
struct Slices {
  std::size_t inner = 1, len = 1, outer = 1;
  std::vector<std::size_t> out;  // the size of a reduction's result
};

Slices slicesAlong(const Dims &dims, std::size_t dim) {
  Slices s;
  s.out.assign(dims.span().begin(), dims.span().end());
  if (dim >= dims.size()) {
    s.inner = dims.numel();
    return s;
  }
  for (std::size_t m = 0; m < dim; ++m) s.inner *= dims[m];
  for (std::size_t m = dim + 1; m < dims.size(); ++m) s.outer *= dims[m];
  s.len = dims[dim];
  s.out[dim] = 1;
  return s;
}

std::size_t chosenDim(const Array &x, const Array *dim, const char *fn) {
  return dim ? dimensionArg(*dim, fn) - 1 : defaultDim(x.dims);
}

void requireNumeric(const Array &x, const char *fn) {
  if (!(isNumericClass(x.cls) || x.isLogical() || x.isChar())) {
    raise(std::string(fn) + ": the input must be numeric, char or logical.");
  }
}

// Calls f(slice, out_index) for each slice of x along dim, the slice as complex values.
template <class F>
void eachSlice(const Array &x, const Slices &s, F f) {
  DoubleData re(x);
  const double *im = x.isComplex() ? x.imags() : nullptr;
  std::vector<Complex> buf(s.len);
  for (std::size_t o = 0; o < s.outer; ++o) {
    for (std::size_t i = 0; i < s.inner; ++i) {
      const std::size_t base = o * s.len * s.inner + i;
      for (std::size_t k = 0; k < s.len; ++k) {
        const std::size_t at = base + k * s.inner;
        buf[k] = {re[at], im ? im[at] : 0.0};
      }
      f(buf, o * s.inner + i, base);
    }
  }
}

// A reduction to one complex value per slice; 0x0 without a dimension gives `empty`.
template <class F>
mxArray *reduce(mxArray *x, mxArray *dim, const char *fn, double empty, bool realResult, F f) {
  Operands<2> ops({x, dim}, fn, 0b10);
  const Array &X = ops[0];
  requireNumeric(X, fn);
  if (!ops.has(1) && X.dims == Dims(0, 0)) return temp(newScalar(empty));
  Slices s = slicesAlong(X.dims, chosenDim(X, ops.get(1), fn));
  Owned r(newArray(mxDOUBLE_CLASS, dimsOf(s.out)));
  const bool complex = X.isComplex() && !realResult;
  if (complex) addImaginaryPart(*r);
  if (r->isEmpty()) return temp(narrowed(r.release()));
  double *re = r->mutableReals();
  double *im = complex ? r->mutableImags() : nullptr;
  eachSlice(X, s, [&](const std::vector<Complex> &v, std::size_t k, std::size_t) {
    Complex z = f(v);
    re[k] = z.real();
    if (im) im[k] = z.imag();
  });
  return temp(narrowed(r.release()));
}

// A logical reduction (any, all).
template <bool kAll>
mxArray *logicalReduce(mxArray *x, mxArray *dim, const char *fn) {
  Operands<2> ops({x, dim}, fn, 0b10);
  const Array &X = ops[0];
  requireNumeric(X, fn);
  if (!ops.has(1) && X.dims == Dims(0, 0)) return temp(newLogicalScalar(kAll));
  Slices s = slicesAlong(X.dims, chosenDim(X, ops.get(1), fn));
  Owned r(newArray(mxLOGICAL_CLASS, dimsOf(s.out)));
  if (r->isEmpty()) return temp(r.release());
  mxLogical *out = r->mutableLogicals();
  eachSlice(X, s, [&](const std::vector<Complex> &v, std::size_t k, std::size_t) {
    bool result = kAll;
    for (const Complex &z : v) {
      bool nz = z != Complex(0, 0);  // NaN counts as non-zero
      if (kAll ? !nz : nz) {
        result = !kAll;
        break;
      }
    }
    out[k] = result;
  });
  return temp(r.release());
}

Complex meanOf(const std::vector<Complex> &v) {
  if (v.empty()) return {std::nan(""), 0};
  Complex s = std::accumulate(v.begin(), v.end(), Complex(0, 0));
  return s / static_cast<double>(v.size());
}

// The variance with weight 0 (divide by n - 1, n for a single value) or 1 (divide by n).
double varianceOf(const std::vector<Complex> &v, int weight) {
  const std::size_t n = v.size();
  if (n == 0) return std::nan("");
  if (n == 1) return std::isfinite(v[0].real()) && std::isfinite(v[0].imag()) ? 0.0 : std::nan("");
  Complex m = meanOf(v);
  double ss = 0;
  for (const Complex &z : v) ss += std::norm(z - m);
  return ss / static_cast<double>(weight == 1 ? n : n - 1);
}

int weightArg(const Array *w, const char *fn) {
  if (!w || w->isEmpty()) return 0;
  double v = w->numel() == 1 && !w->isComplex() ? w->number(0) : -1;
  if (v != 0 && v != 1) raise(std::string(fn) + ": the weight must be 0 or 1.");
  return static_cast<int>(v);
}

mxArray *spread(mxArray *x, mxArray *w, mxArray *dim, const char *fn, bool root) {
  int weight = 0;
  {
    // The weight is read first; x and dim go on to the reduction, which reclaims them.
    if (w) {
      Operand W(w, fn);
      weight = weightArg(W.get(), fn);
    }
  }
  return reduce(x, dim, fn, std::nan(""), true, [&](const std::vector<Complex> &v) {
    double var = varianceOf(v, weight);
    return Complex(root ? std::sqrt(var) : var, 0);
  });
}

// Complex values are ordered by magnitude, then by angle; real ones by value. NaN (in either
// part) is larger than everything.
bool isNaN(const Complex &z) { return std::isnan(z.real()) || std::isnan(z.imag()); }
bool less(const Complex &a, const Complex &b, bool complex) {
  if (isNaN(a) || isNaN(b)) return !isNaN(a) && isNaN(b);
  if (!complex) return a.real() < b.real();
  double ma = std::abs(a), mb = std::abs(b);
  if (ma != mb) return ma < mb;
  return std::arg(a) < std::arg(b);
}

// The running sum or product along a dimension: step(acc, v) from start, on the real
// parts alone for a real x (so that a product with Inf gives no imaginary NaN).
template <class Step>
mxArray *cumulative(mxArray *x, mxArray *dim, const char *fn, double start, Step step) {
  Operands<2> ops({x, dim}, fn, 0b10);
  const Array &X = ops[0];
  requireNumeric(X, fn);
  Slices s = slicesAlong(X.dims, chosenDim(X, ops.get(1), fn));
  Owned r(newArray(mxDOUBLE_CLASS, X.dims));
  if (X.isComplex()) addImaginaryPart(*r);
  if (r->isEmpty()) return temp(narrowed(r.release()));
  double *re = r->mutableReals();
  double *im = X.isComplex() ? r->mutableImags() : nullptr;
  eachSlice(X, s, [&](const std::vector<Complex> &v, std::size_t, std::size_t base) {
    Complex acc(start, 0);
    double real = start;
    for (std::size_t k = 0; k < v.size(); ++k) {
      const std::size_t at = base + k * s.inner;
      if (im) {
        acc = step(acc, v[k]);
        re[at] = acc.real();
        im[at] = acc.imag();
      } else {
        real = step(real, v[k].real());
        re[at] = real;
      }
    }
  });
  return temp(narrowed(r.release()));
}

// x(2:end) - x(1:end-1) along dimension dim (0-based) of a double x: one element fewer
// along it, none when it has none.
Array *differences(const Array &x, std::size_t dim) {
  Slices s = slicesAlong(x.dims, dim);
  std::vector<std::size_t> dims(x.dims.span().begin(), x.dims.span().end());
  if (dim >= dims.size()) dims.resize(dim + 1, 1);
  dims[dim] = s.len ? s.len - 1 : 0;
  Owned r(newArray(mxDOUBLE_CLASS, dimsOf(dims)));
  if (x.isComplex()) addImaginaryPart(*r);
  if (r->isEmpty()) return narrowed(r.release());
  double *re = r->mutableReals();
  double *im = x.isComplex() ? r->mutableImags() : nullptr;
  eachSlice(x, s, [&](const std::vector<Complex> &v, std::size_t slice, std::size_t) {
    const std::size_t o = slice / s.inner, i = slice % s.inner;
    const std::size_t base = o * (s.len - 1) * s.inner + i;
    for (std::size_t k = 0; k + 1 < v.size(); ++k) {
      const Complex d = v[k + 1] - v[k];
      re[base + k * s.inner] = d.real();
      if (im) im[base + k * s.inner] = d.imag();
    }
  });
  return narrowed(r.release());
}

// a * b of 64-bit integers, saturated at the class's ends as the host's integers are.
template <class T>
T saturatedProduct(T a, T b) {
  T r;
  if (!__builtin_mul_overflow(a, b, &r)) return r;
  if constexpr (std::is_signed_v<T>) {
    if ((a < 0) != (b < 0)) return std::numeric_limits<T>::min();
  }
  return std::numeric_limits<T>::max();
}

// prod of int64 or uint64 in the integers themselves, exact beyond 2^53.
mxArray *integerProd(mxArray *x, mxArray *dim) {
  Operands<2> ops({x, dim}, "prod", 0b10);
  const Array &X = ops[0];
  const bool whole = !ops.has(1) && X.dims == Dims(0, 0);
  Slices s = slicesAlong(X.dims, chosenDim(X, ops.get(1), "prod"));
  Owned r(newArray(X.cls, whole ? Dims(1, 1) : dimsOf(s.out)));
  if (whole) s.len = 0;  // prod([]) is 1
  byClass(X.cls, [&](auto tag) {
    using T = decltype(tag);
    if constexpr (std::is_integral_v<T>) {
      const T *in = elementsOf<T>(X);
      T *out = reinterpret_cast<T *>(r->mutableData());
      for (std::size_t o = 0; o < (whole ? 1 : s.outer); ++o) {
        for (std::size_t i = 0; i < (whole ? 1 : s.inner); ++i) {
          T p = 1;
          for (std::size_t k = 0; k < s.len; ++k) {
            p = saturatedProduct<T>(p, in[o * s.len * s.inner + i + k * s.inner]);
          }
          out[o * s.inner + i] = p;
        }
      }
    }
  });
  return temp(r.release());
}

}  // namespace

extern "C" {

mxArray *mlfProd(mxArray *x, mxArray *dim) {
  if (x && (x->cls == mxINT64_CLASS || x->cls == mxUINT64_CLASS)) return integerProd(x, dim);
  if (classedOperands(x)) {
    return classedReduction(x, "prod", ReducedClass::Own,
                            [&](mxArray *v) { return mlfProd(v, dim); });
  }
  return reduce(x, dim, "prod", 1.0, false, [](const std::vector<Complex> &v) {
    Complex p(1, 0);
    bool anyImag = false;
    for (const Complex &z : v) anyImag = anyImag || z.imag() != 0;
    if (!anyImag) {
      double r = 1;
      for (const Complex &z : v) r *= z.real();
      return Complex(r, 0);
    }
    for (const Complex &z : v) p *= z;
    return p;
  });
}

mxArray *mlfMean(mxArray *x, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "mean", ReducedClass::IntegerToDouble,
                            [&](mxArray *v) { return mlfMean(v, dim); });
  }
  return reduce(x, dim, "mean", std::nan(""), false, meanOf);
}

mxArray *mlfMedian(mxArray *x, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "median", ReducedClass::Own,
                            [&](mxArray *v) { return mlfMedian(v, dim); });
  }
  return reduce(x, dim, "median", std::nan(""), false, [](const std::vector<Complex> &v) {
    if (v.empty()) return Complex(std::nan(""), 0);
    for (const Complex &z : v) {
      if (isNaN(z)) return Complex(std::nan(""), 0);
    }
    bool complex = std::any_of(v.begin(), v.end(), [](const Complex &z) { return z.imag() != 0; });
    std::vector<Complex> s(v);
    std::sort(s.begin(), s.end(),
              [&](const Complex &a, const Complex &b) { return less(a, b, complex); });
    const std::size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2.0;
  });
}

mxArray *mlfVar(mxArray *x, mxArray *w, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "var", ReducedClass::FloatOnly,
                            [&](mxArray *v) { return mlfVar(v, w, dim); });
  }
  return spread(x, w, dim, "var", false);
}
mxArray *mlfStd(mxArray *x, mxArray *w, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "std", ReducedClass::FloatOnly,
                            [&](mxArray *v) { return mlfStd(v, w, dim); });
  }
  return spread(x, w, dim, "std", true);
}

mxArray *mlfAny(mxArray *x, mxArray *dim) { return logicalReduce<false>(x, dim, "any"); }
mxArray *mlfAll(mxArray *x, mxArray *dim) { return logicalReduce<true>(x, dim, "all"); }

mxArray *mlfCumsum(mxArray *x, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "cumsum", ReducedClass::Own,
                            [&](mxArray *v) { return mlfCumsum(v, dim); });
  }
  return cumulative(x, dim, "cumsum", 0.0, [](auto acc, auto v) { return acc + v; });
}

mxArray *mlfCumprod(mxArray *x, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "cumprod", ReducedClass::Own,
                            [&](mxArray *v) { return mlfCumprod(v, dim); });
  }
  return cumulative(x, dim, "cumprod", 1.0, [](auto acc, auto v) { return acc * v; });
}

mxArray *mlfDiff(mxArray *x, mxArray *n, mxArray *dim) {
  if (classedOperands(x)) {
    return classedReduction(x, "diff", ReducedClass::Own,
                            [&](mxArray *v) { return mlfDiff(v, n, dim); });
  }
  std::size_t passes = 1;
  std::optional<std::size_t> along;
  std::size_t last = 0;  // the dimension of the last pass
  Owned values;
  {
    Operands<3> ops({x, n, dim}, "diff", 0b110);
    requireNumeric(ops[0], "diff");
    if (ops.has(1)) {
      const double v = ops[1].isEmpty() ? -1 : ops[1].number(0);
      if (ops[1].numel() != 1 || !(v >= 0) || v != std::floor(v) || v > 1e9) {
        raise("diff: the order must be a non-negative whole number.");
      }
      passes = static_cast<std::size_t>(v);
    }
    if (ops.has(2)) along = dimensionArg(ops[2], "diff") - 1;
    values.reset(converted(ops[0], mxDOUBLE_CLASS, "diff"));
  }
  for (std::size_t k = 0; k < passes; ++k) {
    // Without a dimension each pass takes the first one longer than 1, as the last pass
    // may have shortened the one before to a single element; with none left it goes on
    // along the last pass's, down to an empty result.
    const bool longer = std::any_of(values->dims.span().begin(), values->dims.span().end(),
                                    [](std::size_t d) { return d > 1; });
    std::size_t d = last;
    if (along) {
      d = *along;
    } else if (longer || k == 0) {
      d = defaultDim(values->dims);
    }
    values.reset(differences(*values, d));
    last = d;
  }
  return temp(values.release());
}

mxArray *mlfSort(mxArray **index, mxArray *x, mxArray *dim, mxArray *mode) {
  if (classedOperands(x)) {
    return classedReduction(x, "sort", ReducedClass::Own,
                            [&](mxArray *v) { return mlfSort(index, v, dim, mode); });
  }
  Owned r, where;
  {
    Operands<3> ops({x, dim, mode}, "sort", 0b110);
    const Array &X = ops[0];
    requireNumeric(X, "sort");
    bool descend = false;
    if (ops.has(2)) {
      const Array &m = ops[2];
      std::u16string t =
          m.isChar() && m.numel() ? std::u16string(m.chars(), m.chars() + m.numel()) : u"";
      if (t == u"descend") {
        descend = true;
      } else if (t != u"ascend") {
        raise("sort: the mode must be 'ascend' or 'descend'.");
      }
    }
    const Array *d = ops.get(1);
    if (d && d->isEmpty()) d = nullptr;
    Slices s = slicesAlong(X.dims, chosenDim(X, d, "sort"));
    r.reset(newArray(X.isChar()      ? mxCHAR_CLASS
                     : X.isLogical() ? mxLOGICAL_CLASS
                                     : mxDOUBLE_CLASS,
                     X.dims));
    if (r->isDouble() && X.isComplex()) addImaginaryPart(*r);
    if (index) where.reset(newArray(mxDOUBLE_CLASS, X.dims));
    if (!r->isEmpty()) {
      const bool complex = X.isComplex();
      std::vector<std::size_t> order(s.len);
      eachSlice(X, s, [&](const std::vector<Complex> &v, std::size_t, std::size_t base) {
        std::iota(order.begin(), order.end(), std::size_t{0});
        // Ascending: NaN last; descending: NaN first, ties in their original order.
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
          return descend ? less(v[b], v[a], complex) : less(v[a], v[b], complex);
        });
        for (std::size_t k = 0; k < v.size(); ++k) {
          const std::size_t at = base + k * s.inner;
          const Complex &z = v[order[k]];
          if (r->isDouble()) {
            r->mutableReals()[at] = z.real();
            if (complex) r->mutableImags()[at] = z.imag();
          } else if (r->isChar()) {
            r->mutableChars()[at] = static_cast<mxChar>(z.real());
          } else {
            r->mutableLogicals()[at] = z.real() != 0;
          }
          if (where) where->mutableReals()[at] = static_cast<double>(order[k] + 1);
        }
      });
    }
  }
  if (index) assignSlot(index, where.release());
  return temp(r.release());
}

mxArray *mlfNdims(mxArray *x) {
  Operand X(x, "ndims", true);
  return temp(newScalar(static_cast<double>(X->dims.size())));
}

}  // extern "C"
