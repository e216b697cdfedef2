// Concatenation: horzcat, vertcat and cat along any dimension, with the class rules of the
// host language (the result is complex when a double result has a complex operand); and
// repmat, which tiles one array.
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
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

// --- Concatenation ---

// The leftmost integer class if any operand has one, else char if any operand is char, single
// if any is single, logical if all are, else double. A 0x0 double ([]) takes no part, but an
// empty char or logical operand does: ['', 65] is 'A'.
mxClassID concatClass(const OperandList &ops, std::size_t from) {
  bool anyChar = false, anySingle = false, allLogical = true, any = false;
  for (std::size_t k = from; k < ops.size(); ++k) {
    const Array &a = ops[k];
    if (a.isDouble() && a.dims == Dims(0, 0)) continue;
    if (isIntegerClass(a.cls)) return a.cls;
    any = true;
    anyChar |= a.isChar();
    anySingle |= a.cls == mxSINGLE_CLASS;
    allLogical &= a.isLogical();
  }
  if (anyChar) return mxCHAR_CLASS;
  if (anySingle) return mxSINGLE_CLASS;
  return any && allLogical ? mxLOGICAL_CLASS : mxDOUBLE_CLASS;
}

// n elements of src from `from` on, converted to the result's class cls of element type To
// (integer classes and char codes from numbers are rounded and held within their range).
template <class To>
void convertRun(const Array &src, mxClassID cls, std::size_t from, To *out, std::size_t n) {
  if (n == 0) return;  // an empty operand has no storage to copy from
  if (src.cls == cls) {
    std::memcpy(out, src.rawData() + from * sizeof(To), n * sizeof(To));
    return;
  }
  byClass(src.cls, [&](auto tag) {
    const auto *in = elementsOf<decltype(tag)>(src) + from;
    for (std::size_t k = 0; k < n; ++k) out[k] = elementCast<To>(in[k]);
  });
}

// Cells joined into one cell, structs with the same fields into one struct array. A 0x0
// double ([]) takes no part; any other operand of another kind cannot join them.
Array *concatenateComposites(const OperandList &ops, std::size_t axis, const char *fn,
                             std::size_t from) {
  std::vector<std::size_t> kept;
  const Array *first = nullptr;
  for (std::size_t k = from; k < ops.size(); ++k) {
    const Array &a = ops[k];
    if (a.isDouble() && a.dims == Dims(0, 0)) continue;
    if (!first) first = &a;
    if (a.cls != first->cls) {
      raise(std::string(fn) + ": a " + className(first->cls) + " cannot be joined with a " +
            className(a.cls) + ".");
    }
    if (a.isStruct()) {
      std::vector<std::string> f1 = first->composite->fields, f2 = a.composite->fields;
      std::sort(f1.begin(), f1.end());
      std::sort(f2.begin(), f2.end());
      if (f1 != f2) raise(std::string(fn) + ": structs with different fields cannot be joined.");
    }
    if (!(a.dims == Dims(0, 0))) kept.push_back(k);
  }
  if (kept.empty()) return shareOf(first);
  const Array &base = ops[kept[0]];
  std::size_t nd = axis + 1, along = 0;
  for (std::size_t k : kept) nd = std::max(nd, ops[k].dims.size());
  for (std::size_t k : kept) {
    for (std::size_t m = 0; m < nd; ++m) {
      if (m != axis && ops[k].dims[m] != base.dims[m]) {
        raise(std::string(fn) + ": dimensions of arrays being concatenated are not consistent: " +
              sizeText(base) + " and " + sizeText(ops[k]) + ".");
      }
    }
    along += ops[k].dims[axis];
  }
  std::vector<std::size_t> d(nd);
  for (std::size_t m = 0; m < nd; ++m) d[m] = m == axis ? along : base.dims[m];
  Owned r(base.isCell() ? newCell(dimsOf(d)) : newStruct(dimsOf(d), base.composite->fields));
  std::size_t inner = 1, outer = 1, total = r->numel();
  for (std::size_t m = 0; m < axis; ++m) inner *= d[m];
  for (std::size_t m = axis + 1; m < nd; ++m) outer *= d[m];
  std::vector<Array *> &out = r->mutableItems();
  std::size_t planes = base.isStruct() ? base.composite->fields.size() : 1;
  for (std::size_t p = 0; p < planes; ++p) {
    std::size_t offset = 0, stride = inner * along;
    for (std::size_t k : kept) {
      const Array &a = ops[k];
      // A struct's fields may stand in another order: its plane of the same name.
      std::size_t q = a.isStruct()
                          ? static_cast<std::size_t>(a.composite->field(base.composite->fields[p]))
                          : 0;
      const Array *const *src = a.composite->items.data() + q * a.numel();
      std::size_t block = inner * a.dims[axis];
      for (std::size_t o = 0; o < outer; ++o) {
        for (std::size_t e = 0; e < block; ++e) {
          const Array *item = src[o * block + e];
          out[p * total + o * stride + offset + e] = item ? shareOf(item) : nullptr;
        }
      }
      offset += block;
    }
  }
  return r.release();
}

// The operands from `from` on along an axis (0-based): [a, b, ...] along 1, [a; b; ...]
// along 0. 0x0 operands take no part.
Array *concatenate(const OperandList &ops, std::size_t axis, const char *fn, std::size_t from = 0) {
  for (std::size_t k = from; k < ops.size(); ++k) {
    if (ops[k].isComposite()) return concatenateComposites(ops, axis, fn, from);
  }
  std::vector<std::size_t> kept;
  for (std::size_t k = from; k < ops.size(); ++k) {
    if (!(ops[k].dims == Dims(0, 0))) kept.push_back(k);
  }
  mxClassID cls = concatClass(ops, from);
  if (kept.empty()) return newArray(cls, Dims(0, 0));
  const Array &first = ops[kept[0]];
  std::size_t nd = axis + 1;
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
  Owned r(newArrayForOverwrite(cls, dimsOf(d)));  // the operands' blocks cover it
  bool complex = false;
  for (std::size_t k : kept) complex |= ops[k].isComplex();
  if (complex && hasOwnArithmetic(cls)) {
    raise(std::string(fn) + ": complex values cannot be concatenated with " + className(cls) +
          " values.");
  }
  if (complex && cls == mxDOUBLE_CLASS) addImaginaryPart(*r);
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
        convertRun(a, cls, o * block, out + o * stride + offset, block);
      offset += block;
    }
  });
  if (!r->isComplex()) return r.release();
  // The imaginary parts in the same blocks; a real operand's stay zero.
  double *out = r->mutableImags();
  std::size_t offset = 0, stride = inner * along;
  for (std::size_t k : kept) {
    const Array &a = ops[k];
    std::size_t block = inner * a.dims[axis];
    if (a.isComplex() && block) {
      for (std::size_t o = 0; o < outer; ++o) {
        std::copy_n(a.imags() + o * block, block, out + o * stride + offset);
      }
    }
    offset += block;
  }
  return r.release();
}

// --- Tiling ---

// out (rows * reps[0] by the product of `to` after the first) from in: each output column
// is reps[0] copies of the source column that the column's multi-index wraps onto.
template <class T>
void tile(const T *in, const Dims &from, T *out, const std::vector<std::size_t> &to) {
  std::size_t rows = from[0], columns = 1;
  for (std::size_t m = 1; m < to.size(); ++m) columns *= to[m];
  std::vector<std::size_t> sub(to.size(), 0);
  for (std::size_t c = 0; c < columns; ++c) {
    std::size_t source = 0, stride = 1;
    for (std::size_t m = 1; m < to.size(); ++m) {
      source += (sub[m] % from[m]) * stride;
      stride *= from[m];
    }
    for (std::size_t r = 0; r < to[0] / std::max<std::size_t>(rows, 1); ++r) {
      std::copy_n(in + source * rows, rows, out + (c * to[0]) + r * rows);
    }
    for (std::size_t m = 1; m < to.size() && ++sub[m] == to[m]; ++m) sub[m] = 0;
  }
}

// x repeated reps[m] times along each dimension m.
Array *repeated(const Array &x, const Dims &reps) {
  std::size_t nd = std::max(x.dims.size(), reps.size());
  std::vector<std::size_t> to(nd);
  for (std::size_t m = 0; m < nd; ++m) {
    if (reps[m] != 0 && x.dims[m] > std::numeric_limits<std::size_t>::max() / reps[m]) {
      raise("repmat: out of memory: the result would be too large.");
    }
    to[m] = x.dims[m] * reps[m];
  }
  Owned r(newArrayLike(x, dimsOf(to)));
  if (r->isEmpty()) return r.release();
  byClass(x.cls, [&](auto tag) {
    using T = decltype(tag);
    tile(elementsOf<T>(x), x.dims, mutableElementsOf<T>(*r), to);
  });
  if (x.isComplex()) tile(x.imags(), x.dims, r->mutableImags(), to);
  return r.release();
}

}  // namespace
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mxArray *mlfHorzcat(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "horzcat", true);
  return temp(concatenate(ops, 1, "horzcat"));
}

mxArray *mlfCat(mxArray *dim, ...) {
  va_list ap;
  va_start(ap, dim);
  std::vector<Array *> args = gatherList(va_arg(ap, Array *), ap);
  va_end(ap);
  args.insert(args.begin(), dim);
  OperandList ops(args, "cat");
  return temp(concatenate(ops, dimensionArg(ops[0], "cat") - 1, "cat", 1));
}

mxArray *mlfRepmat(mxArray *x, ...) {
  va_list ap;
  va_start(ap, x);
  std::vector<Array *> args = gatherList(va_arg(ap, Array *), ap);
  va_end(ap);
  args.insert(args.begin(), x);
  OperandList ops(args, "repmat");
  if (ops.size() < 2) raise("repmat: the number of repetitions is missing.");
  return temp(repeated(ops[0], sizeArguments(ops, "repmat", 1)));
}

mxArray *mlfVertcat(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  std::vector<Array *> args = gatherList(first, ap);
  va_end(ap);
  OperandList ops(args, "vertcat", true);
  return temp(concatenate(ops, 0, "vertcat"));
}

}  // extern "C"
