// The array functions of the host language: size, zeros, ones, reshape, concatenation,
// find, max, min, sum, numel, transpose and isempty.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "array.h"
#include "mexrt/mathlib.h"
#include "operands.h"

namespace mexrt::detail {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Stores an owned array in an output slot as mlfAssign does: the old value is freed.
void assignSlot(Array **slot, Array *value) {
  Array *old = *slot;
  *slot = value;
  destroy(old);
}

Dims dimsOf(const std::vector<std::size_t> &d) { return Dims(std::span<const std::size_t>(d)); }

// A dimension number argument (size(x, dim), sum(x, dim)): a positive whole scalar.
std::size_t dimensionArg(const Array &d, const char *fn) {
  double v = d.numel() == 1 ? d.number(0) : kNaN;
  if (!(v >= 1) || !std::isfinite(v) || v != std::floor(v)) {
    raise(std::string(fn) + ": the dimension must be a positive integer scalar, not " +
          (d.numel() == 1 ? numberText(v) : "an array of size " + sizeText(d)) + ".");
  }
  return static_cast<std::size_t>(std::min(v, 1e15));
}

// The first dimension whose size is not 1 (0-based), as reductions choose by default.
std::size_t defaultDim(const Dims &dims) {
  for (std::size_t k = 0; k < dims.size(); ++k) {
    if (dims[k] != 1) return k;
  }
  return 0;
}

// --- size, zeros, ones, reshape ---

Array *sizeRow(const Dims &dims) {
  Array *r = newDouble(1, dims.size());
  double *out = r->mutableReals();
  for (std::size_t k = 0; k < dims.size(); ++k) out[k] = static_cast<double>(dims[k]);
  return r;
}

void sizeIntoSlots(const mlfVarargoutList &out, const Dims &dims, std::optional<std::size_t> dim) {
  if (out.count < 1 || out.count > 16) {
    raise("size: the output list must have 1 to 16 slots, not " + std::to_string(out.count) + ".");
  }
  if (dim && out.count != 1)
    raise("size(x, dim) has one output, not " + std::to_string(out.count) + ".");
  for (int k = 0; k < out.count; ++k) {
    if (!out.slots[k]) raise("size: output slot " + std::to_string(k + 1) + " is missing.");
  }
  std::vector<Owned> values;
  values.reserve(out.count);
  std::size_t last = static_cast<std::size_t>(out.count) - 1;
  for (std::size_t k = 0; k <= last; ++k) {
    std::size_t v = dim ? dims[*dim - 1] : dims[k];
    if (!dim && k == last) {
      // The last output takes every remaining dimension: [r, c] = size(zeros(2,3,4)) is 2, 12.
      for (std::size_t m = k + 1; m < dims.size(); ++m) v *= dims[m];
    }
    values.emplace_back(newScalar(static_cast<double>(v)));
  }
  for (std::size_t k = 0; k <= last; ++k) assignSlot(out.slots[k], values[k].release());
}

// One size argument of zeros/ones: negative counts as 0; fractions, NaN and Inf are errors.
std::size_t sizeValue(double v, const char *fn) {
  if (!std::isfinite(v) || v != std::floor(v)) {
    raise(std::string(fn) + ": size arguments must be whole numbers, not " + numberText(v) + ".");
  }
  if (v <= 0) return 0;
  if (v > 1e18) raise(std::string(fn) + ": out of memory: a dimension of " + numberText(v) + ".");
  return static_cast<std::size_t>(v);
}

// The size zeros(...) and ones(...) make: () is 1x1, (n) is n x n, (m, n, ...), ([m n ...]).
Dims sizeArguments(const OperandList &args, const char *fn) {
  if (args.size() == 0) return Dims(1, 1);
  std::vector<std::size_t> d;
  if (args.size() == 1) {
    const Array &a = args[0];
    if (a.isEmpty()) return Dims(0, 0);
    if (a.numel() == 1) {
      std::size_t n = sizeValue(a.number(0), fn);
      return Dims(n, n);
    }
    for (std::size_t k = 0; k < a.numel(); ++k) d.push_back(sizeValue(a.number(k), fn));
    return dimsOf(d);
  }
  for (std::size_t k = 0; k < args.size(); ++k) {
    const Array &a = args[k];
    if (a.numel() > 1) {
      raise(std::string(fn) + ": size argument " + std::to_string(k + 1) +
            " must be a scalar, not of size " + sizeText(a) + ".");
    }
    d.push_back(a.isEmpty() ? 0 : sizeValue(a.number(0), fn));
  }
  return dimsOf(d);
}

Array *filled(const OperandList &args, const char *fn, double value) {
  Owned r(newArray(mxDOUBLE_CLASS, sizeArguments(args, fn)));
  if (value != 0) std::fill_n(r->mutableReals(), r->numel(), value);
  return r.release();
}

// A reshape size: a whole non-negative number.
std::size_t reshapeValue(double v) {
  if (!std::isfinite(v) || v != std::floor(v) || v < 0) {
    raise("reshape: size arguments must be non-negative integers, not " + numberText(v) + ".");
  }
  return static_cast<std::size_t>(std::min(v, 1e18));
}

// The size of reshape(x, ...) from the arguments after x (entries 1.. of args).
Dims reshapeSize(const OperandList &args, std::size_t numel, const Dims &from) {
  std::vector<std::size_t> d;
  std::optional<std::size_t> unknown;
  if (args.size() == 2) {
    const Array &a = args[1];
    if (a.numel() < 2) raise("reshape: the size vector must have at least two elements.");
    for (std::size_t k = 0; k < a.numel(); ++k) d.push_back(reshapeValue(a.number(k)));
  } else {
    for (std::size_t k = 1; k < args.size(); ++k) {
      const Array &a = args[k];
      if (a.isEmpty()) {
        if (unknown) raise("reshape: only one size may be left unknown ([]).");
        unknown = d.size();
        d.push_back(1);
        continue;
      }
      if (a.numel() != 1) {
        raise("reshape: size argument " + std::to_string(k) +
              " must be a scalar or [], not of "
              "size " +
              sizeText(a) + ".");
      }
      d.push_back(reshapeValue(a.number(0)));
    }
  }
  std::optional<std::size_t> known = checkedProduct(d);
  if (unknown && known && *known != 0 && numel % *known == 0)
    d[*unknown] = numel / *known;
  else if (unknown && known && *known == 0 && numel == 0)
    d[*unknown] = 0;
  std::optional<std::size_t> total = checkedProduct(d);
  if (!total || *total != numel) {
    std::string to;
    for (std::size_t k = 0; k < d.size(); ++k) {
      to += (k ? "x" : "") + (unknown == k ? std::string("[]") : std::to_string(d[k]));
    }
    raise("reshape: cannot reshape an array of size " + from.str() + " (" + std::to_string(numel) +
          " elements) to size " + to + ".");
  }
  return dimsOf(d);
}

// --- Concatenation ---

// char if any operand is char, logical if all are, else double. A 0x0 double ([]) takes no
// part, but an empty char or logical operand does: ['', 65] is 'A'.
mxClassID concatClass(const OperandList &ops) {
  bool anyChar = false, allLogical = true, any = false;
  for (std::size_t k = 0; k < ops.size(); ++k) {
    const Array &a = ops[k];
    if (a.isDouble() && a.dims == Dims(0, 0)) continue;
    any = true;
    anyChar |= a.isChar();
    allLogical &= a.isLogical();
  }
  if (anyChar) return mxCHAR_CLASS;
  return any && allLogical ? mxLOGICAL_CLASS : mxDOUBLE_CLASS;
}

// n elements of src from `from` on, converted to To (char codes from numbers are rounded
// and held within the 16-bit range).
template <class To>
void convertRun(const Array &src, std::size_t from, To *out, std::size_t n) {
  if (n == 0) return;  // an empty operand has no storage to copy from
  if (src.cls == (std::is_same_v<To, double>   ? mxDOUBLE_CLASS
                  : std::is_same_v<To, mxChar> ? mxCHAR_CLASS
                                               : mxLOGICAL_CLASS)) {
    std::memcpy(out, src.rawData() + from * sizeof(To), n * sizeof(To));
    return;
  }
  for (std::size_t k = 0; k < n; ++k) {
    double v = src.number(from + k);
    if constexpr (std::is_same_v<To, mxChar>) {
      out[k] = static_cast<mxChar>(std::isnan(v) ? 0.0 : std::clamp(std::round(v), 0.0, 65535.0));
    } else {
      out[k] = static_cast<To>(v);
    }
  }
}

// [a, b, ...] along axis 1 or [a; b; ...] along axis 0. 0x0 operands take no part.
Array *concatenate(const OperandList &ops, std::size_t axis, const char *fn) {
  std::vector<std::size_t> kept;
  for (std::size_t k = 0; k < ops.size(); ++k) {
    if (!(ops[k].dims == Dims(0, 0))) kept.push_back(k);
  }
  mxClassID cls = concatClass(ops);
  if (kept.empty()) return newArray(cls, Dims(0, 0));
  const Array &first = ops[kept[0]];
  std::size_t nd = 0;
  for (std::size_t k : kept) nd = std::max(nd, ops[k].dims.size());
  std::size_t along = 0;
  for (std::size_t k : kept) {
    const Array &a = ops[k];
    for (std::size_t m = 0; m < nd; ++m) {
      if (m != axis && a.dims[m] != first.dims[m]) {
        raise(std::string(fn) + ": dimensions of arrays being concatenated are not consistent: " +
              sizeText(first) + " and " + sizeText(a) + ".");
      }
    }
    along += a.dims[axis];
  }
  if (kept.size() == 1 && first.cls == cls) return shareOf(&first);
  std::vector<std::size_t> d(nd);
  for (std::size_t m = 0; m < nd; ++m) d[m] = m == axis ? along : first.dims[m];
  Owned r(newArray(cls, dimsOf(d)));
  std::size_t inner = 1, outer = 1;
  for (std::size_t m = 0; m < axis; ++m) inner *= d[m];
  for (std::size_t m = axis + 1; m < nd; ++m) outer *= d[m];
  byClass(cls, [&](auto tag) {
    using T = decltype(tag);
    T *out = mutableElementsOf<T>(*r);
    std::size_t offset = 0, stride = inner * along;
    for (std::size_t k : kept) {
      const Array &a = ops[k];
      std::size_t block = inner * a.dims[axis];
      for (std::size_t o = 0; o < outer; ++o)
        convertRun(a, o * block, out + o * stride + offset, block);
      offset += block;
    }
  });
  return r.release();
}

// --- find ---

struct Found {
  Owned first, second, third;
};

Found findNonZero(const Array &x, bool wantColumns, bool wantValues) {
  std::size_t n = x.numel(), count = 0;
  for (std::size_t k = 0; k < n; ++k) count += x.number(k) != 0;
  Dims shape = x.dims == Dims(0, 0)                     ? Dims(0, 0)
               : (x.dims.size() == 2 && x.dims[0] == 1) ? Dims(1, count)
                                                        : Dims(count, 1);
  std::size_t rows = x.dims.rows();
  Found f;
  f.first.reset(newArray(mxDOUBLE_CLASS, shape));
  if (wantColumns) f.second.reset(newArray(mxDOUBLE_CLASS, shape));
  if (wantValues) f.third.reset(newArray(x.cls, shape));
  if (count == 0) return f;
  double *first = f.first->mutableReals();
  double *second = wantColumns ? f.second->mutableReals() : nullptr;
  std::size_t j = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (x.number(k) == 0) continue;
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
    }
    ++j;
  }
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

struct Extremes {
  Owned value, index;
};

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
  if (wantIndex) e.index.reset(newArray(mxDOUBLE_CLASS, w.out));
  if (w.len == 0 || e.value->isEmpty()) return e;
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
  DoubleData a(x), b(y);
  double *out = r->mutableReals();
  for (std::size_t k = 0, n = r->numel(); k < n; ++k) {
    double u = a[xs ? 0 : k], v = b[ys ? 0 : k];
    out[k] = better<kMax>(v, u) ? v : u;
  }
  return r.release();
}

template <bool kMax>
mxArray *extreme(mxArray **index, mxArray *x, mxArray *y, mxArray *dim, const char *fn) {
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

Array *sumAlong(const Array &x, std::optional<std::size_t> dim) {
  if (!dim && x.dims == Dims(0, 0)) return newScalar(0);
  Walk w = walkAlong(x.dims, dim ? *dim - 1 : defaultDim(x.dims), false);
  Owned r(newArray(mxDOUBLE_CLASS, w.out));
  if (r->isEmpty() || w.len == 0) return r.release();
  DoubleData data(x);
  double *acc = r->mutableReals();
  for (std::size_t o = 0; o < w.outer; ++o, acc += w.inner) {
    const double *base = data.data() + o * w.len * w.inner;
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
  return r.release();
}

// --- Transpose ---

// Blocks small enough for both the rows read and the columns written to stay in cache.
template <class T>
void transposeBlocked(const T *src, T *dst, std::size_t rows, std::size_t cols) {
  constexpr std::size_t kBlock = 32;
  for (std::size_t c0 = 0; c0 < cols; c0 += kBlock) {
    std::size_t c1 = std::min(cols, c0 + kBlock);
    for (std::size_t r0 = 0; r0 < rows; r0 += kBlock) {
      std::size_t r1 = std::min(rows, r0 + kBlock);
      for (std::size_t c = c0; c < c1; ++c) {
        for (std::size_t r = r0; r < r1; ++r) dst[r * cols + c] = src[c * rows + r];
      }
    }
  }
}

Array *transposed(const Array &x) {
  if (x.dims.size() > 2) raise("Transpose on N-D arrays is not defined: size " + sizeText(x) + ".");
  std::size_t rows = x.dims[0], cols = x.dims[1];
  if (rows == 1 || cols == 1) {
    // A vector's elements keep their order: only the header changes.
    Array *r = shareOf(&x);
    r->dims = Dims(cols, rows);
    return r;
  }
  Owned r(newArray(x.cls, Dims(cols, rows)));
  if (r->isEmpty()) return r.release();
  byClass(x.cls, [&](auto tag) {
    using T = decltype(tag);
    transposeBlocked(elementsOf<T>(x), mutableElementsOf<T>(*r), rows, cols);
  });
  return r.release();
}

}  // namespace
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mlfVarargoutList mlfVarargout(mxArray **first, ...) {
  mlfVarargoutList list{};
  va_list ap;
  va_start(ap, first);
  for (mxArray **slot = first; slot; slot = va_arg(ap, mxArray **)) {
    if (list.count == 16) {
      va_end(ap);
      raise("Too many output slots: at most 16.");
    }
    list.slots[list.count++] = slot;
  }
  va_end(ap);
  return list;
}

mxArray *mlfSize(mlfVarargoutList *varargout, mxArray *x, mxArray *dim) {
  Dims dims;
  std::optional<std::size_t> d;
  {
    // x is read and released first: a slot may hold x itself.
    Operands<2> ops({x, dim}, "size", 0b10);
    dims = ops[0].dims;
    if (ops.has(1)) d = dimensionArg(ops[1], "size");
  }
  if (varargout) {
    sizeIntoSlots(*varargout, dims, d);
    return nullptr;
  }
  if (d) return temp(newScalar(static_cast<double>(dims[*d - 1])));
  return temp(sizeRow(dims));
}

mxArray *mlfZeros(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "zeros");
  return temp(filled(ops, "zeros", 0.0));
}

mxArray *mlfOnes(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "ones");
  return temp(filled(ops, "ones", 1.0));
}

mxArray *mlfReshape(mxArray *x, ...) {
  va_list ap;
  va_start(ap, x);
  std::vector<Array *> args = gatherList(va_arg(ap, Array *), ap);
  va_end(ap);
  args.insert(args.begin(), x);
  OperandList ops(args, "reshape");
  if (ops.size() < 2) raise("reshape: the new size is missing.");
  const Array &a = ops[0];
  Dims dims = reshapeSize(ops, a.numel(), a.dims);
  // The elements stay where they are: the result is a new header on the same storage.
  Array *r = shareOf(&a);
  r->dims = dims;
  return temp(r);
}

mxArray *mlfHorzcat(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "horzcat");
  return temp(concatenate(ops, 1, "horzcat"));
}

mxArray *mlfVertcat(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "vertcat");
  return temp(concatenate(ops, 0, "vertcat"));
}

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

mxArray *mlfSum(mxArray *x, mxArray *dim) {
  Operands<2> ops({x, dim}, "sum", 0b10);
  std::optional<std::size_t> d;
  if (ops.has(1)) d = dimensionArg(ops[1], "sum");
  return temp(sumAlong(ops[0], d));
}

mxArray *mlfNumel(mxArray *x) {
  Operand a(x, "numel");
  return temp(newScalar(static_cast<double>(a->numel())));
}

mxArray *mlfCtranspose(mxArray *x) {
  Operand a(x, "transpose");
  return temp(transposed(*a));
}

mxArray *mlfIsempty(mxArray *x) {
  Operand a(x, "isempty");
  return temp(newLogicalScalar(a->isEmpty()));
}

}  // extern "C"
