// Stores: a(i) = x, a(i,j,...) = x and c{i} = x, growing the destination. The destination
// keeps its class as the host language keeps it; a complex value stored into a real array
// makes it complex; a store of an array into itself reads the old elements.
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "core/classes.h"
#include "index/subscripts.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail::indexing {
namespace {

[[noreturn]] void conversion(const Array &to, const Array &from) {
  raise("Conversion to " + std::string(className(to.cls)) + " from " + className(from.cls) +
        " is not possible.");
}

// The class a store leaves, as the host language keeps the class of its target: an empty
// double or absent destination takes the source's class; a char array stays char and a
// double stays double whatever number is stored; a logical array takes the class of a
// non-logical source; cells and structs take only their own kind. Integer and single
// destinations keep their class (an integer one with saturation).
mxClassID storedClass(const Array *d, const Array &src) {
  bool adopts = !d || d->isUninit() || (d->isDouble() && d->dims == Dims(0, 0));
  if (adopts || d->cls == src.cls) return src.cls;
  if (d->isComposite() || src.isComposite()) conversion(*d, src);
  if (d->isLogical()) return src.cls;
  if (d->isChar() && src.isComplex()) raise("Complex values cannot be stored in a char array.");
  return d->cls;
}

Dims currentDims(const Array *d) { return (d && !d->isUninit()) ? d->dims : Dims(0, 0); }

// Zeroed storage for an array of class cls and size dims (nullptr when it has no elements).
Storage *storageFor(mxClassID cls, const Dims &dims) {
  Owned a(newArray(cls, dims));
  Storage *s = a->store;
  a->store = nullptr;
  return s;
}

// Calls f(old offset, new offset) for each element of an array of size `from` placed at its
// own subscripts in an array of size `to` (at least as large in every dimension).
template <class F>
void eachPlaced(const Dims &from, const Dims &to, F f) {
  std::size_t n = from.numel();
  if (n == 0) return;
  if (from == to) {
    for (std::size_t k = 0; k < n; ++k) f(k, k);
    return;
  }
  std::size_t rank = std::max(from.size(), to.size());
  std::vector<std::size_t> at(rank, 0), stride(rank, 1);
  for (std::size_t d = 1; d < rank; ++d) stride[d] = stride[d - 1] * to[d - 1];
  std::size_t rows = from[0];
  for (std::size_t old = 0; old < n; old += rows) {
    std::size_t base = 0;
    for (std::size_t d = 1; d < rank; ++d) base += at[d] * stride[d];
    for (std::size_t r = 0; r < rows; ++r) f(old + r, base + r);
    for (std::size_t d = 1; d < rank && ++at[d] == from[d]; ++d) at[d] = 0;
  }
}

// An element converted to the class a store leaves: numbers stored into a char array
// become the character of their rounded code, into an integer array the rounded value held
// within the class's range, into a single array the nearest single. (A logical destination
// takes the source's class, so nothing is converted to logical here.)
template <class To, class From>
To converted(From v) {
  return elementCast<To>(v);
}

// Gives a cell or struct *d size dims, its handles kept at their subscripts.
void prepareComposite(Array &d, const Dims &dims) {
  if (d.dims == dims) {
    d.mutableItems();
    return;
  }
  std::size_t planes = planesOf(d), n = d.numel(), m = dims.numel();
  auto c = std::make_unique<Composite>();
  c->fields = d.composite->fields;
  c->items.assign(planes * m, nullptr);
  bool owned = d.composite->refs == 1;
  std::vector<Array *> &old = d.composite->items;
  for (std::size_t p = 0; p < planes; ++p) {
    eachPlaced(d.dims, dims, [&](std::size_t from, std::size_t to) {
      Array *&item = old[p * n + from];
      if (owned) {
        c->items[p * m + to] = item;  // moved: the old composite no longer holds it
        item = nullptr;
      } else if (item) {
        c->items[p * m + to] = shareOf(item);
      }
    });
  }
  Composite::release(d.composite);
  d.composite = c.release();
  d.dims = dims;
}

// Gives *dst class cls and size dims (complex or not) with storage of its own, keeping its
// elements at their positions: in place when nothing changes and the storage is unshared,
// else one allocation per part. A complex destination stays complex.
void prepareStore(Array **dst, mxClassID cls, const Dims &dims, bool complex,
                  const std::vector<std::string> *fields) {
  Array *d = *dst;
  if (!d || d->isUninit() || (d->cls != cls && d->isEmpty())) {
    Owned fresh(cls == mxCELL_CLASS     ? newCell(dims)
                : cls == mxSTRUCT_CLASS ? newStruct(dims, *fields)
                                        : newArray(cls, dims));
    if (complex) addImaginaryPart(*fresh);
    if (d) {
      replaceContents(*d, *fresh);
    } else {
      *dst = fresh.release();
    }
    return;
  }
  if (d->isComposite()) {
    prepareComposite(*d, dims);
    return;
  }
  if (d->cls == cls && d->dims == dims) {  // a complex d asks for complex: it stays so
    d->mutableData();
    if (d->isComplex()) {
      d->mutableImags();
    } else if (complex) {
      addImaginaryPart(*d);
    }
    return;
  }
  Storage *s = storageFor(cls, dims);
  Storage *si = nullptr;
  try {
    if (complex) si = storageFor(mxDOUBLE_CLASS, dims);
  } catch (...) {
    Storage::release(s);
    throw;
  }
  if (s) {
    byClass(cls, [&](auto to) {
      using To = decltype(to);
      To *out = reinterpret_cast<To *>(s->bytesPtr());
      byClass(d->cls, [&](auto from) {
        using From = decltype(from);
        const From *src = elementsOf<From>(*d);
        eachPlaced(d->dims, dims,
                   [&](std::size_t a, std::size_t b) { out[b] = converted<To>(src[a]); });
      });
    });
  }
  if (si && d->isComplex()) {
    const double *src = d->imags();
    double *out = reinterpret_cast<double *>(si->bytesPtr());
    eachPlaced(d->dims, dims, [&](std::size_t a, std::size_t b) { out[b] = src[a]; });
  }
  Storage::release(d->store);
  dropImaginaryPart(*d);
  d->store = s;
  d->imagStore = si;
  d->complex = complex;
  d->cls = cls;
  d->dims = dims;
}

// Keeps a reference on the source's storage while the destination is rewritten, so a store
// of an array into itself (or into a copy sharing its storage) reads the old elements.
class StorageHold {
 public:
  explicit StorageHold(Storage *s) : s_(s) {
    if (s_) s_->share();
  }
  StorageHold(const StorageHold &) = delete;
  StorageHold &operator=(const StorageHold &) = delete;
  ~StorageHold() { Storage::release(s_); }

 private:
  Storage *s_;
};

// The source elements of a store in the destination's element type.
template <class T>
struct SourceElements {
  const T *p;
  bool scalar;
};

[[noreturn]] void countMismatch(std::size_t selected, const Array &src) {
  raise("Subscripted assignment dimension mismatch: " + std::to_string(selected) +
        " elements selected, " + std::to_string(src.numel()) + " given (size " + sizeText(src) +
        ").");
}

// A struct source's fields in the destination's order: those the destination lacks are
// added to it (a struct array keeps one set of fields), so `s(2) = t` and `s(2).a = v` work
// whatever fields t brings.
std::vector<std::size_t> mergeFields(Array &d, const Array &src) {
  std::vector<std::string> &fields = d.composite->fields;
  std::vector<std::size_t> where;
  for (const std::string &f : src.composite->fields) {
    std::ptrdiff_t k = d.composite->field(f);
    if (k < 0) {
      std::vector<Array *> &items = d.mutableItems();
      items.resize(items.size() + d.numel(), nullptr);
      fields.push_back(f);
      k = static_cast<std::ptrdiff_t>(fields.size()) - 1;
    }
    where.push_back(static_cast<std::size_t>(k));
  }
  return where;
}

// Stores the handles of a cell or struct source at the destination offsets: each selected
// element takes a share of its source element; fields of the destination that the source
// lacks become empty there.
void storeItems(Array &d, const Array &src, const std::vector<std::size_t> &offsets) {
  // The source's handles, shared before d changes: src may be d itself.
  std::size_t n = src.numel(), planes = planesOf(src);
  std::vector<Owned> from;
  from.reserve(src.composite->items.size());
  for (Array *item : src.composite->items) from.emplace_back(item ? shareOf(item) : nullptr);
  std::vector<std::size_t> plane(1, 0);
  if (d.isStruct()) plane = mergeFields(d, src);
  std::vector<Array *> &items = d.mutableItems();
  std::size_t m = d.numel(), dPlanes = planesOf(d);
  std::vector<bool> filled(dPlanes, false);
  for (std::size_t p = 0; p < planes; ++p) filled[plane[p]] = true;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    std::size_t s = n == 1 ? 0 : k;
    for (std::size_t p = 0; p < planes; ++p) {
      Array *&slot = items[plane[p] * m + offsets[k]];
      Array *item = from[p * n + s].get();
      destroy(slot);
      slot = item ? shareOf(item) : nullptr;
    }
    for (std::size_t q = 0; q < dPlanes; ++q) {
      if (filled[q]) continue;
      Array *&slot = items[q * m + offsets[k]];
      destroy(slot);
      slot = nullptr;
    }
  }
}

// Runs write(out, source) on *dst prepared as class cls and size dims, with the source read
// as that class; then, when *dst is complex, on its imaginary part with the source's (zeros
// for a real source). Everything that can fail is done before *dst changes. A cell or struct
// is stored through the offsets instead.
template <class Write>
void storeInto(Array **dst, const Array &src, mxClassID cls, const Dims &dims,
               const std::function<std::vector<std::size_t>()> &offsets, Write write) {
  Array *d = *dst;
  if (src.isComposite()) {
    Owned keep(shareOf(&src));  // src may be *dst, about to be reshaped
    prepareStore(dst, cls, dims, false, &src.composite->fields);
    storeItems(**dst, *keep, offsets());
    return;
  }
  StorageHold hold(d && src.store == d->store ? src.store : nullptr);
  StorageHold holdImag(d && src.imagStore && src.imagStore == d->imagStore ? src.imagStore
                                                                           : nullptr);
  bool convert = cls != src.cls;
  std::vector<unsigned char> convertedElements;
  if (convert) {
    byClass(cls, [&](auto tag) {
      using T = decltype(tag);
      convertedElements.resize(src.numel() * sizeof(T));
      T *out = reinterpret_cast<T *>(convertedElements.data());
      for (std::size_t k = 0, n = src.numel(); k < n; ++k) out[k] = converted<T>(src.number(k));
    });
  }
  // Taken before *dst changes: src may be *dst itself, whose storage is about to be replaced.
  const void *elements =
      convert ? static_cast<const void *>(convertedElements.data()) : src.rawData();
  const double *imags = src.imags();
  bool scalar = src.numel() == 1;
  bool complex =
      src.isComplex() || (d && !d->isUninit() && d->isComplex() && cls == mxDOUBLE_CLASS);
  prepareStore(dst, cls, dims, complex, nullptr);
  byClass(cls, [&](auto tag) {
    using T = decltype(tag);
    write(mutableElementsOf<T>(**dst), SourceElements<T>{static_cast<const T *>(elements), scalar});
  });
  if (!complex) return;
  static constexpr double kZero = 0.0;
  if (src.isComplex()) {
    write((*dst)->mutableImags(), SourceElements<double>{imags, scalar});
  } else {
    write((*dst)->mutableImags(), SourceElements<double>{&kZero, true});
  }
}

// Writes v at each selected position (the first count when pos is nullptr, the colon).
template <class T>
void scatterValue(T *out, const std::size_t *pos, std::size_t count, T v) {
  if (!pos) {
    std::fill(out, out + count, v);
    return;
  }
  for (std::size_t k = 0; k < count; ++k) out[pos[k]] = v;
}

// Writes from[k] at the k-th selected position.
template <class T>
void scatter(T *out, const std::size_t *pos, std::size_t count, const T *from) {
  if (!pos) {
    std::copy(from, from + count, out);
    return;
  }
  for (std::size_t k = 0; k < count; ++k) out[pos[k]] = from[k];
}

// The size after a linear store reaching maxIndex beyond cur: a vector grows along its
// orientation, an empty array into a row; a matrix cannot tell which way to grow.
Dims grownLinear(const Dims &cur, std::size_t maxIndex) {
  bool twoD = cur.size() == 2;
  if (twoD && cur[0] == 0 && cur[1] == 0) return Dims(1, maxIndex);
  if (twoD && cur[0] == 1) return Dims(1, maxIndex);
  if (twoD && cur[1] == 1) return Dims(maxIndex, 1);
  raise("Attempt to grow array along ambiguous dimension: index " + std::to_string(maxIndex) +
        ", size " + cur.str() + ".");
}

void storeLinear(Array **dst, const Array &src, const Array &i) {
  Array *d = *dst;
  mxClassID cls = storedClass(d, src);
  Dims cur = currentDims(d);
  std::size_t n = cur.numel();
  Subscript sub = subscriptOf(i, n);
  if (src.numel() != 1 && src.numel() != sub.count) countMismatch(sub.count, src);
  Dims dims = sub.maxIndex > n ? grownLinear(cur, sub.maxIndex) : cur;
  auto offsets = [&] {
    const std::size_t *pos = sub.positions();
    std::vector<std::size_t> out(sub.count);
    for (std::size_t k = 0; k < sub.count; ++k) out[k] = pos ? pos[k] : k;
    return out;
  };
  storeInto(dst, src, cls, dims, offsets, [&](auto *out, auto source) {
    if (source.scalar)
      scatterValue(out, sub.positions(), sub.count, source.p[0]);
    else
      scatter(out, sub.positions(), sub.count, source.p);
  });
}

// The sizes other than 1, in order: two shapes agree for a store when these match.
std::vector<std::size_t> nonSingleton(std::span<const std::size_t> dims) {
  std::vector<std::size_t> out;
  for (std::size_t d : dims) {
    if (d != 1) out.push_back(d);
  }
  return out;
}

// One subscript of a store: an array, or a position given as an integer.
struct SubscriptArg {
  const Array *array;
  std::size_t position;
};

void storeSeveral(Array **dst, const Array &src, std::span<const SubscriptArg> args) {
  Array *d = *dst;
  mxClassID cls = storedClass(d, src);
  Dims cur = currentDims(d);
  std::size_t k = args.size();
  std::vector<std::size_t> view = viewOf(cur, k);
  Selection sel;
  sel.subs.resize(k);
  for (std::size_t q = 0; q < k; ++q) {
    const SubscriptArg &a = args[q];
    if (a.array && isColon(*a.array)) continue;
    sel.subs[q] = a.array ? subscriptOf(*a.array, 0) : singlePosition(a.position);
  }
  // A colon over a dimension the destination does not have yet (extent 0) reaches as far as
  // the source needs: such colons take the source's sizes other than 1, in order.
  std::vector<std::size_t> reach =
      src.numel() == 1 ? std::vector<std::size_t>{} : nonSingleton(src.dims.span());
  std::size_t nextReach = 0;
  for (std::size_t q = 0; q < k; ++q) {
    if (!args[q].array || !isColon(*args[q].array)) continue;
    std::size_t extent = view[q];
    if (extent == 0) extent = nextReach < reach.size() ? reach[nextReach++] : 1;
    sel.subs[q] = colonOver(extent);
  }
  if (src.numel() != 1) {
    Dims selected = sel.shape();
    if (nonSingleton(selected.span()) != nonSingleton(src.dims.span())) {
      raise("Subscripted assignment dimension mismatch: " + selected.str() + " selected, " +
            sizeText(src) + " given.");
    }
  }
  // Growth: each subscript may widen its dimension, except the last when it stands for
  // several folded dimensions.
  std::vector<std::size_t> grown(std::max(k, cur.size()), 1);
  for (std::size_t q = 0; q < grown.size(); ++q) grown[q] = cur[q];
  bool grows = false;
  for (std::size_t q = 0; q < k; ++q) {
    if (sel.subs[q].maxIndex <= view[q]) continue;
    if (q == k - 1 && k < cur.size()) {
      std::string at;
      for (std::size_t r = 0; r < k; ++r)
        at += (r ? "," : "") + std::to_string(sel.subs[r].maxIndex);
      raise("Attempt to grow array along ambiguous dimension: index (" + at + "), size " +
            cur.str() + ".");
    }
    grown[q] = sel.subs[q].maxIndex;
    grows = true;
  }
  Dims dims = grows ? Dims(grown) : cur;
  sel.setView(viewOf(dims, k));
  const Subscript &first = sel.subs[0];
  storeInto(
      dst, src, cls, dims, [&] { return offsetsOf(sel); },
      [&](auto *out, auto source) {
        const std::size_t *pi = first.positions();
        forEachRun(sel, [&](std::size_t at, std::size_t base) {
          if (source.scalar)
            scatterValue(out + base, pi, first.count, source.p[0]);
          else
            scatter(out + base, pi, first.count, source.p + at);
        });
      });
}

// x(k) = v for a scalar v of x's class at an offset inside x: the common store of loops,
// written without building subscripts. False when the general path is needed (a complex v
// into a real x among them).
bool storeScalarInPlace(Array *d, const Array &src, std::size_t offset) {
  if (!d || d->isUninit() || d->isComposite() || src.numel() != 1 || src.cls != d->cls ||
      offset >= d->numel() || (src.isComplex() && !d->isComplex())) {
    return false;
  }
  byClass(d->cls, [&](auto tag) {
    using T = decltype(tag);
    T v = elementsOf<T>(src)[0];  // read first: src may share d's storage
    mutableElementsOf<T>(*d)[offset] = v;
  });
  if (d->isComplex()) {
    double v = src.isComplex() ? src.imags()[0] : 0.0;
    d->mutableImags()[offset] = v;
  }
  return true;
}

// The offset of the positions p (1-based) inside d, or SIZE_MAX when they lie outside (or d
// is absent).
std::size_t offsetIn(const Array *d, std::span<const std::size_t> p) {
  if (!d || d->isUninit() || p.empty()) return SIZE_MAX;
  // The extents of viewOf(d->dims, p.size()), without making the list: a store in a loop
  // comes here on every turn.
  const Dims &dims = d->dims;
  const std::size_t last = p.size() - 1;
  std::size_t offset = 0, stride = 1;
  for (std::size_t q = 0; q < p.size(); ++q) {
    std::size_t extent = dims[q];
    if (q == last) {
      for (std::size_t r = q + 1; r < dims.size(); ++r) extent *= dims[r];
    }
    if (p[q] > extent) return SIZE_MAX;
    offset += (p[q] - 1) * stride;
    stride *= extent;
  }
  return offset;
}

bool isScalarDouble(const Array &a) { return a.isDouble() && !a.isComplex() && a.numel() == 1; }

// Stores src at the subscripts of *dst, through the in-place path when they are all scalars.
void storeAt(Array **dst, const Array &src, std::span<const Array *const> subs) {
  // The positions of scalar subscripts, inline for the common few.
  std::array<std::size_t, 4> inlinePositions;
  std::vector<std::size_t> morePositions(subs.size() > inlinePositions.size() ? subs.size() : 0);
  std::size_t *p = morePositions.empty() ? inlinePositions.data() : morePositions.data();
  std::size_t scalars = 0;
  for (const Array *s : subs) {
    if (!isScalarDouble(*s)) break;
    p[scalars++] = positionOf(s->reals()[0]);
  }
  if (scalars == subs.size() && storeScalarInPlace(*dst, src, offsetIn(*dst, {p, scalars}))) {
    return;
  }
  if (subs.size() == 1) {
    storeLinear(dst, src, *subs[0]);
    return;
  }
  std::vector<SubscriptArg> args;
  for (const Array *s : subs) args.push_back({s, 0});
  storeSeveral(dst, src, args);
}

// *dst(i) = src, the operation named op; without lists, as every store of a loop comes here.
void assignOne(Array **dst, Array *src, Array *i, const char *op) {
  Operands<2> ops({src, i}, op, 0, 0b11);
  if (!dst) raise(std::string(op) + ": the destination is missing.");
  const Array *subs[1] = {ops.get(1)};
  storeAt(dst, ops[0], subs);
}

}  // namespace
}  // namespace mexrt::detail::indexing

using namespace mexrt::detail;
using namespace mexrt::detail::indexing;

extern "C" {

void mclArrayAssign1(mxArray **dst, mxArray *src, mxArray *i) {
  assignOne(dst, src, i, "Assignment a(i) = x");
}

void mclArrayAssign2(mxArray **dst, mxArray *src, mxArray *i, mxArray *j) {
  Operands<3> ops({src, i, j}, "Assignment a(i,j) = x", 0, 0b111);
  if (!dst) raise("Assignment a(i,j) = x: the destination is missing.");
  const Array *subs[2] = {ops.get(1), ops.get(2)};
  storeAt(dst, ops[0], subs);
}

void mclArrayAssignN(mxArray **dst, mxArray *src, int count, mxArray **subscripts) {
  if (count == 1 && subscripts) {
    assignOne(dst, src, subscripts[0], "Assignment a(i,...) = x");
    return;
  }
  OperandList ops(subscriptOperands({src}, count, subscripts), "Assignment a(i,...) = x", true);
  if (!dst) raise("Assignment a(i,...) = x: the destination is missing.");
  if (count < 1) raise("Assignment a(i,...) = x: no subscripts.");
  std::vector<const Array *> subs = subscriptsIn(ops, 1);
  storeAt(dst, ops[0], subs);
}

void mclIntArrayAssign2(mxArray **dst, mxArray *src, int i, int j) {
  Operand x(src, "Assignment a(i,j) = x", true);
  if (!dst) raise("Assignment a(i,j) = x: the destination is missing.");
  std::size_t p[2] = {intPosition(i), intPosition(j)};
  if (storeScalarInPlace(*dst, *x, offsetIn(*dst, p))) return;
  SubscriptArg args[2] = {{nullptr, p[0]}, {nullptr, p[1]}};
  storeSeveral(dst, *x, args);
}

void mclCellAssign(mxArray **dst, mxArray *src, int count, mxArray **subscripts) {
  OperandList ops(subscriptOperands({src}, count, subscripts), "Assignment c{i} = x", true);
  if (!dst) raise("Assignment c{i} = x: the destination is missing.");
  if (count < 1) raise("Assignment c{i} = x: no subscripts.");
  Array *d = *dst;
  bool fresh = !d || d->isUninit() || (d->isDouble() && d->dims == Dims(0, 0));
  if (!fresh && !d->isCell()) raise("Cell contents assignment to a non-cell array object.");
  std::vector<const Array *> subs = subscriptsIn(ops, 1);
  std::size_t selected = selectedCount(currentDims(d), subs);
  if (selected != 1) {
    raise(
        "The right hand side of this assignment has too few values to satisfy the left hand "
        "side: " +
        std::to_string(selected) + " cells selected.");
  }
  Owned wrap(newCell(Dims(1, 1)));
  wrap->mutableItems()[0] = shareOf(&ops[0]);
  storeAt(dst, *wrap, subs);
}

}  // extern "C"
