// The shape functions of the host language: size, zeros, ones, reshape, numel, isempty and
// the transposes (' conjugates a complex array, .' does not).
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "arrays/args.h"
#include "core/array.h"
#include "core/classes.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "mexrt/linalg.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

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
}  // namespace

Dims sizeArguments(const OperandList &args, const char *fn, std::size_t from, std::size_t end) {
  end = std::min(end, args.size());
  if (end == from) return Dims(1, 1);
  std::vector<std::size_t> d;
  if (end == from + 1) {
    const Array &a = args[from];
    if (a.isEmpty()) return Dims(0, 0);
    if (a.numel() == 1) {
      std::size_t n = sizeValue(a.number(0), fn);
      return Dims(n, n);
    }
    for (std::size_t k = 0; k < a.numel(); ++k) d.push_back(sizeValue(a.number(k), fn));
    return dimsOf(d);
  }
  for (std::size_t k = from; k < end; ++k) {
    const Array &a = args[k];
    if (a.numel() > 1) {
      raise(std::string(fn) + ": size argument " + std::to_string(k + 1 - from) +
            " must be a scalar, not of size " + sizeText(a) + ".");
    }
    d.push_back(a.isEmpty() ? 0 : sizeValue(a.number(0), fn));
  }
  return dimsOf(d);
}

namespace {

std::string asciiText(const Array &a) {
  std::string t;
  for (std::size_t k = 0; k < a.numel(); ++k)
    t += static_cast<char>(a.chars()[k] < 128 ? a.chars()[k] : '?');
  return t;
}

// The class that trailing arguments 'classname' or 'like', p ask of zeros, ones and eye
// (double without them; a complex p gives complex zeros); *end becomes the number of the
// size arguments before them.
mxClassID classArgument(const OperandList &args, const char *fn, std::size_t *end, bool *complex) {
  std::size_t n = args.size();
  *end = n;
  *complex = false;
  if (n >= 2 && args[n - 2].isChar() && asciiText(args[n - 2]) == "like") {
    const Array &p = args[n - 1];
    if (!isNumericClass(p.cls)) {
      raise(std::string(fn) + ": 'like' takes a numeric array, not " + className(p.cls) + ".");
    }
    *end = n - 2;
    *complex = p.isComplex();
    return p.cls;
  }
  if (n == 0 || !args[n - 1].isChar()) return mxDOUBLE_CLASS;
  std::string name = asciiText(args[n - 1]);
  std::optional<mxClassID> cls = classNamed(name);
  if (!cls || !isNumericClass(*cls)) {
    raise(std::string(fn) + ": the class must be double, single or an integer class, not '" + name +
          "'.");
  }
  *end = n - 1;
  return *cls;
}

Array *filled(const OperandList &args, const char *fn, double value) {
  std::size_t end;
  bool complex;
  mxClassID cls = classArgument(args, fn, &end, &complex);
  Owned r(newArray(cls, sizeArguments(args, fn, 0, end)));
  if (complex) addImaginaryPart(*r);
  if (value != 0) {
    byClass(cls, [&](auto tag) {
      using T = decltype(tag);
      std::fill_n(mutableElementsOf<T>(*r), r->numel(), static_cast<T>(value));
    });
  }
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

// The negated imaginary part of a complex array, in place of the one it holds (written
// straight into a copy when that part is shared).
void conjugate(Array &a) {
  std::size_t n = a.numel();
  if (!a.isComplex() || n == 0) return;
  if (a.imagStore->unique()) {
    double *im = a.mutableImags();
    for (std::size_t k = 0; k < n; ++k) im[k] = -im[k];
    return;
  }
  Owned negated(newComplexForOverwrite(Dims(1, n)));
  const double *im = a.imags();
  double *out = negated->mutableImags();
  for (std::size_t k = 0; k < n; ++k) out[k] = -im[k];
  std::swap(a.imagStore, negated->imagStore);
}

Array *transposed(const Array &x, bool conjugated) {
  if (x.dims.size() > 2) raise("Transpose on N-D arrays is not defined: size " + sizeText(x) + ".");
  std::size_t rows = x.dims[0], cols = x.dims[1];
  if (rows == 1 || cols == 1) {
    // A vector's elements keep their order: only the header changes.
    Owned r(shareOf(&x));
    r->dims = Dims(cols, rows);
    if (conjugated) conjugate(*r);
    return narrowed(r.release());
  }
  if (x.isComposite()) {
    // A cell's items, or each field's plane of a struct's, move as the elements would.
    Owned r(x.isCell() ? newCell(Dims(cols, rows))
                       : newStruct(Dims(cols, rows), x.composite->fields));
    std::vector<Array *> &out = r->mutableItems();
    const std::size_t n = rows * cols, planes = x.isStruct() ? x.composite->fields.size() : 1;
    for (std::size_t p = 0; p < planes; ++p) {
      for (std::size_t j = 0; j < cols; ++j) {
        for (std::size_t i = 0; i < rows; ++i) {
          const Array *item = x.composite->items[p * n + i + j * rows];
          out[p * n + j + i * cols] = item ? shareOf(item) : nullptr;
        }
      }
    }
    return r.release();
  }
  Owned r(newArrayLike(x, Dims(cols, rows)));
  if (r->isEmpty()) return r.release();
  byClass(x.cls, [&](auto tag) {
    using T = decltype(tag);
    transposeBlocked(elementsOf<T>(x), mutableElementsOf<T>(*r), rows, cols);
  });
  if (x.isComplex()) {
    transposeBlocked(x.imags(), r->mutableImags(), rows, cols);
    if (conjugated) conjugate(*r);
  }
  return narrowed(r.release());
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
    Operands<2> ops({x, dim}, "size", 0b10, 0b1);
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

// eye: zeros of the same size arguments with ones on the main diagonal; 2-D only.
mxArray *mlfEye(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "eye");
  Owned r(filled(ops, "eye", 0.0));
  if (r->dims.size() > 2)
    raise("eye: N-d identity matrices are not defined (" + sizeText(*r) + ").");
  const std::size_t m = r->dims[0], n = std::min(r->dims[0], r->dims[1]);
  byClass(r->cls, [&](auto tag) {
    using T = decltype(tag);
    T *p = mutableElementsOf<T>(*r);
    for (std::size_t k = 0; k < n; ++k) p[k + k * m] = T{1};
  });
  return temp(r.release());
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

mxArray *mlfNumel(mxArray *x) {
  Operand a(x, "numel", true);
  return temp(newScalar(static_cast<double>(a->numel())));
}

mxArray *mlfCtranspose(mxArray *x) {
  Operand a(x, "ctranspose", true);
  return temp(transposed(*a, true));
}

mxArray *mlfTranspose(mxArray *x) {
  Operand a(x, "transpose", true);
  return temp(transposed(*a, false));
}

mxArray *mlfIsempty(mxArray *x) {
  Operand a(x, "isempty", true);
  return temp(newLogicalScalar(a->isEmpty()));
}

// linspace(a, b, n): n points from a to b, both ends exact; n defaults to 100, and below 1
// gives 1 x 0.
mxArray *mlfLinspace(mxArray *a, mxArray *b, mxArray *n) {
  std::vector<Array *> list{a, b};
  if (n) list.push_back(n);
  OperandList ops(list, "linspace");
  auto real = [](const Array &v, const char *what) {
    if (v.numel() != 1 || v.isComplex() || !(v.isDouble() || v.isLogical() || v.isChar())) {
      raise(std::string("linspace: ") + what + " must be a real scalar.");
    }
    return v.number(0);
  };
  const double lo = real(ops[0], "the start"), hi = real(ops[1], "the end");
  double count = n ? real(ops[2], "the number of points") : 100.0;
  if (std::isnan(count)) raise("linspace: the number of points must not be NaN.");
  count = count < 1 ? 0 : std::floor(count);
  if (count > 1e12) raise("linspace: too many points.");
  const auto m = static_cast<std::size_t>(count);
  Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, Dims(1, m)));
  if (m) {
    double *out = r->mutableReals();
    const double step = m > 1 ? (hi - lo) / static_cast<double>(m - 1) : 0.0;
    for (std::size_t k = 0; k + 1 < m; ++k) out[k] = lo + static_cast<double>(k) * step;
    out[m - 1] = hi;
  }
  return temp(r.release());
}

}  // extern "C"
