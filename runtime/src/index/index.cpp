// Indexing: a(i) and a(i,j,...), the stores a(i) = x and a(i,j,...) = x (growing the
// destination), deletion a(i) = [], the colon subscript, colon ranges a:s:b, scalars and the
// integer bounds of for loops. The imaginary part of a complex array moves with its real
// part; a complex value stored into a real array makes it complex; the handles of a cell or
// struct move as its elements.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <type_traits>

#include "core/array.h"
#include "core/classes.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

// Subscripts beyond 2^53 cannot be told apart as doubles; they are out of any range anyway.
constexpr double kMaxSubscript = 9007199254740992.0;

[[noreturn]] void badSubscript(double v) {
  raise("Subscript indices must be real positive integers: " + numberText(v) + ".");
}

[[noreturn]] void exceeds(std::size_t index, const Dims &dims) {
  raise("Index exceeds matrix dimensions: index " + std::to_string(index) + ", size " + dims.str() +
        ".");
}

bool isColon(const Array &a) { return a.isChar() && a.numel() == 1 && a.chars()[0] == u':'; }

// A subscript value as a 1-based position. Whole values up to 2^53 convert exactly, so the
// conversion back tells a fraction (no call to floor in the loop over an index array);
// every finite double beyond is whole and out of any range.
std::size_t positionOf(double v) {
  if (v >= 1.0 && v <= kMaxSubscript) {
    const auto p = static_cast<std::size_t>(v);
    if (static_cast<double>(p) == v) return p;
  } else if (v > kMaxSubscript && std::isfinite(v)) {
    return static_cast<std::size_t>(kMaxSubscript);
  }
  badSubscript(v);
}

// The positions one subscript selects, 0-based, with the shape it has as an index array.
struct Subscript {
  bool colon = false;
  std::size_t count = 0;
  std::size_t maxIndex = 0;  // the largest 1-based position selected; 0 when none
  std::size_t one = 0;       // the position, when exactly one is selected
  bool consecutive = false;  // positions() are p, p + 1, ...: a block to copy whole
  std::vector<std::size_t> list;
  Dims shape;

  // nullptr for the colon, whose positions are 0, 1, ... count - 1.
  const std::size_t *positions() const {
    if (colon) return nullptr;
    return list.empty() ? &one : list.data();
  }
};

Subscript colonOver(std::size_t extent) {
  Subscript s;
  s.colon = true;
  s.count = s.maxIndex = extent;
  s.shape = Dims(extent, 1);
  return s;
}

Subscript singlePosition(std::size_t position) {
  Subscript s;
  s.count = 1;
  s.maxIndex = position;
  s.one = position - 1;
  s.consecutive = true;
  s.shape = Dims(1, 1);
  return s;
}

// A logical mask selects the positions of its true elements, shaped as find would give them.
Subscript maskSubscript(const Array &m) {
  Subscript s;
  const mxLogical *b = m.logicals();
  std::size_t n = m.numel();
  for (std::size_t k = 0; k < n; ++k) s.count += b[k] != 0;
  if (s.count == 1) {
    for (std::size_t k = 0; k < n; ++k) {
      if (b[k]) s.one = k;
    }
  } else {
    s.list.reserve(s.count);
    for (std::size_t k = 0; k < n; ++k) {
      if (b[k]) s.list.push_back(k);
    }
  }
  if (s.count) s.maxIndex = (s.count == 1 ? s.one : s.list.back()) + 1;
  bool row = m.dims.size() == 2 && m.dims[0] == 1;
  if (m.dims == Dims(0, 0))
    s.shape = Dims(0, 0);
  else
    s.shape = row ? Dims(1, s.count) : Dims(s.count, 1);
  return s;
}

// The subscript array s, whose colon stands for every position of `extent`.
Subscript subscriptOf(const Array &s, std::size_t extent) {
  if (isColon(s)) return colonOver(extent);
  if (s.isComposite()) {
    raise(std::string("Function 'subsindex' is not defined for values of class '") +
          className(s.cls) + "'.");
  }
  if (s.isComplex()) {
    raise("Subscript indices must be real positive integers: a complex subscript of size " +
          sizeText(s) + ".");
  }
  if (s.isLogical()) return maskSubscript(s);
  std::size_t n = s.numel();
  if (n == 1) return singlePosition(positionOf(s.number(0)));
  Subscript sub;
  sub.count = n;
  sub.shape = s.dims;
  sub.list.resize(n);
  const double *d = s.isDouble() ? s.reals() : nullptr;
  bool consecutive = true;
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t p = positionOf(d ? d[k] : s.number(k));
    consecutive = consecutive && (k == 0 || p - 1 == sub.list[k - 1] + 1);
    sub.list[k] = p - 1;
    sub.maxIndex = std::max(sub.maxIndex, p);
  }
  sub.consecutive = consecutive;
  return sub;
}

// The shape of a(i), for an i of shape s selecting count elements: i's shape, except that a
// vector indexed by a vector keeps its own orientation.
Dims linearShape(const Array &a, const Dims &s, std::size_t count) {
  bool indexIsVector = s.size() == 2 && (s[0] == 1 || s[1] == 1);
  bool sourceIsVector = a.isVector() && a.numel() != 1;
  if (indexIsVector && sourceIsVector) {
    return a.dims[0] == 1 ? Dims(1, count) : Dims(count, 1);
  }
  return s;
}

// A new header on a's storage with other dimensions (same element count): no copy. Like
// every result of indexing, a complex one whose imaginary parts are all zero is real.
Array *sharedAs(const Array &a, const Dims &dims) {
  Array *r = shareOf(&a);
  r->dims = dims;
  return narrowed(r);
}

// An array of a's class (and complexity, and a struct's fields) with the given size, its
// elements zeroed or empty.
Array *newLike(const Array &a, const Dims &dims) {
  if (a.isCell()) return newCell(dims);
  if (a.isStruct()) return newStruct(dims, a.composite->fields);
  return newArrayLike(a, dims);
}

// The same for a result whose every element the caller writes: a cell's or struct's handles
// start empty, other elements unset.
Array *newLikeForOverwrite(const Array &a, const Dims &dims) {
  if (a.isComposite()) return newLike(a, dims);
  return newArrayLikeForOverwrite(a, dims);
}

// The element handles of a cell (one plane) or struct (one plane per field, n each).
std::size_t planesOf(const Array &a) { return a.isStruct() ? a.composite->fields.size() : 1; }

// Runs move(source elements, result elements) on each part: the class's elements, then the
// imaginary parts of a complex source; for a cell or struct, on each plane of handles, which
// move copies as they are and `adopt` then makes the result's own. The result is made by
// the caller with newLike(a, ...).
template <class Move>
void eachPart(const Array &a, Array &r, Move move) {
  if (a.isComposite()) {
    std::size_t n = a.numel(), m = r.numel();
    Array *const *src = a.composite->items.data();
    Array **out = r.mutableItems().data();
    for (std::size_t p = 0, planes = planesOf(a); p < planes; ++p) move(src + p * n, out + p * m);
    return;
  }
  byClass(a.cls, [&](auto tag) {
    using T = decltype(tag);
    move(elementsOf<T>(a), mutableElementsOf<T>(r));
  });
  if (a.isComplex()) move(a.imags(), r.mutableImags());
}

// The handles eachPart copied into r still belong to the source: r takes a share of each.
Array *adopt(Array *r) {
  if (!r->isComposite()) return narrowed(r);
  for (Array *&item : r->mutableItems()) item = item ? shareOf(item) : nullptr;
  return r;
}

Array *gatherLinear(const Array &a, const Subscript &sub, const Dims &shape) {
  Owned r(newLikeForOverwrite(a, shape));
  if (sub.count == 0) return r.release();
  const std::size_t *pos = sub.positions();
  eachPart(a, *r, [&](const auto *src, auto *out) {
    if (!pos || sub.consecutive) {
      const auto *from = src + (pos ? pos[0] : 0);
      std::copy(from, from + sub.count, out);
      return;
    }
    for (std::size_t k = 0; k < sub.count; ++k) out[k] = src[pos[k]];
  });
  return adopt(r.release());
}

// a(i) for a real double i of several elements and an a of numbers or text: each subscript is
// checked and its element copied in one pass, with no list of positions in between (an index
// matrix that frames a signal is as large as the result). The errors are those of
// subscriptOf and refLinear: the first subscript that is no position, else the largest one
// beyond a.
Array *gatherByDoubles(const Array &a, const Array &i) {
  const std::size_t n = i.numel(), limit = a.numel();
  const double *d = i.reals();
  Owned r(newArrayLikeForOverwrite(a, linearShape(a, i.dims, n)));
  std::size_t maxIndex = 0;
  eachPart(a, *r, [&](const auto *src, auto *out) {
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t p = positionOf(d[k]);
      maxIndex = std::max(maxIndex, p);
      if (p <= limit) out[k] = src[p - 1];
    }
  });
  if (maxIndex > limit) exceeds(maxIndex, a.dims);
  return narrowed(r.release());
}

Array *elementAt(const Array &a, std::size_t offset) {
  Owned r(newLikeForOverwrite(a, Dims(1, 1)));
  eachPart(a, *r, [&](const auto *src, auto *out) { out[0] = src[offset]; });
  return adopt(r.release());
}

Array *refLinear(const Array &a, const Array &i) {
  if (isColon(i)) return sharedAs(a, Dims(a.numel(), 1));
  if (i.isDouble() && !i.isComplex() && i.numel() == 1) {
    std::size_t p = positionOf(i.reals()[0]);
    if (p > a.numel()) exceeds(p, a.dims);
    return elementAt(a, p - 1);
  }
  if (i.isDouble() && !i.isComplex() && !a.isComposite()) return gatherByDoubles(a, i);
  Subscript sub = subscriptOf(i, a.numel());
  if (sub.maxIndex > a.numel()) exceeds(sub.maxIndex, a.dims);
  return gatherLinear(a, sub, linearShape(a, sub.shape, sub.count));
}

// --- Several subscripts ---

// The extents k subscripts see in an array of size dims: its first k - 1 dimensions, then
// the product of the rest (1 for dimensions it does not have).
std::vector<std::size_t> viewOf(const Dims &dims, std::size_t k) {
  std::vector<std::size_t> view(k, 1);
  for (std::size_t d = 0; d + 1 < k; ++d) view[d] = dims[d];
  std::size_t rest = 1;
  for (std::size_t d = k - 1; d < dims.size(); ++d) rest *= dims[d];
  view[k - 1] = rest;
  return view;
}

// The positions each of several subscripts selects, and the strides of the view they index.
struct Selection {
  std::vector<Subscript> subs;
  std::vector<std::size_t> strides;

  std::size_t count() const {
    std::size_t n = 1;
    for (const Subscript &s : subs) n *= s.count;
    return n;
  }
  Dims shape() const {
    std::vector<std::size_t> d;
    for (const Subscript &s : subs) d.push_back(s.count);
    return Dims(d);
  }
  void setView(const std::vector<std::size_t> &view) {
    strides.assign(view.size(), 1);
    for (std::size_t d = 1; d < view.size(); ++d) strides[d] = strides[d - 1] * view[d - 1];
  }
};

// Calls run(out, base) for each run of the first subscript's positions, in column-major
// order of the selection: `out` is the index of the run's first selected element, `base` the
// offset its positions are added to.
template <class Run>
void forEachRun(const Selection &sel, Run run) {
  std::size_t k = sel.subs.size();
  if (sel.count() == 0) return;
  std::vector<std::size_t> at(k, 0);
  std::size_t runs = sel.count() / sel.subs[0].count;
  for (std::size_t r = 0; r < runs; ++r) {
    std::size_t base = 0;
    for (std::size_t d = 1; d < k; ++d) {
      const Subscript &s = sel.subs[d];
      const std::size_t *pos = s.positions();
      base += (pos ? pos[at[d]] : at[d]) * sel.strides[d];
    }
    run(r * sel.subs[0].count, base);
    for (std::size_t d = 1; d < k && ++at[d] == sel.subs[d].count; ++d) at[d] = 0;
  }
}

// The offset of each selected element, in the selection's order.
std::vector<std::size_t> offsetsOf(const Selection &sel) {
  std::vector<std::size_t> out(sel.count());
  const Subscript &first = sel.subs[0];
  const std::size_t *pos = first.positions();
  forEachRun(sel, [&](std::size_t at, std::size_t base) {
    for (std::size_t p = 0; p < first.count; ++p) out[at + p] = base + (pos ? pos[p] : p);
  });
  return out;
}

[[noreturn]] void exceedsIn(std::size_t index, std::size_t dim, const Dims &dims) {
  raise("Index exceeds matrix dimensions: index " + std::to_string(index) + " in dimension " +
        std::to_string(dim) + ", size " + dims.str() + ".");
}

Array *refSeveral(const Array &a, std::span<const Array *const> subs) {
  std::vector<std::size_t> view = viewOf(a.dims, subs.size());
  Selection sel;
  // Subscripts that each select their whole extent in order (colons, 1:n, the 1 of a(:, 1)
  // for a column) select a itself: the result shares its storage.
  bool allWhole = true;
  for (std::size_t d = 0; d < subs.size(); ++d) {
    sel.subs.push_back(subscriptOf(*subs[d], view[d]));
    const Subscript &sub = sel.subs[d];
    if (sub.maxIndex > view[d]) exceedsIn(sub.maxIndex, d + 1, a.dims);
    allWhole = allWhole && (sub.colon || (sub.consecutive && sub.count == view[d] &&
                                          (sub.count == 0 || sub.positions()[0] == 0)));
  }
  if (allWhole) return sharedAs(a, Dims(view));
  sel.setView(view);
  Owned r(newLikeForOverwrite(a, sel.shape()));
  const Subscript &first = sel.subs[0];
  const std::size_t *pi = first.positions();
  eachPart(a, *r, [&](const auto *src, auto *out) {
    forEachRun(sel, [&](std::size_t at, std::size_t base) {
      const auto *column = src + base;
      if (!pi || first.consecutive) {
        if (pi) column += pi[0];
        std::copy(column, column + first.count, out + at);
        return;
      }
      for (std::size_t p = 0; p < first.count; ++p) out[at + p] = column[pi[p]];
    });
  });
  return adopt(r.release());
}

// --- Stores ---

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
  if (!d || d->isUninit()) return SIZE_MAX;
  std::vector<std::size_t> view = viewOf(d->dims, p.size());
  std::size_t offset = 0, stride = 1;
  for (std::size_t q = 0; q < p.size(); ++q) {
    if (p[q] > view[q]) return SIZE_MAX;
    offset += (p[q] - 1) * stride;
    stride *= view[q];
  }
  return offset;
}

bool isScalarDouble(const Array &a) { return a.isDouble() && !a.isComplex() && a.numel() == 1; }

std::size_t intPosition(int v) {
  if (v < 1) badSubscript(v);
  return static_cast<std::size_t>(v);
}

// Stores src at the subscripts of *dst, through the in-place path when they are all scalars.
void storeAt(Array **dst, const Array &src, std::span<const Array *const> subs) {
  std::vector<std::size_t> p;
  for (const Array *s : subs) {
    if (!isScalarDouble(*s)) break;
    p.push_back(positionOf(s->reals()[0]));
  }
  if (p.size() == subs.size() && storeScalarInPlace(*dst, src, offsetIn(*dst, p))) return;
  if (subs.size() == 1) {
    storeLinear(dst, src, *subs[0]);
    return;
  }
  std::vector<SubscriptArg> args;
  for (const Array *s : subs) args.push_back({s, 0});
  storeSeveral(dst, src, args);
}

// How many elements the subscripts select in an array of size dims (a colon all of its
// extent).
std::size_t selectedCount(const Dims &dims, std::span<const Array *const> subs) {
  if (subs.size() == 1) return subscriptOf(*subs[0], dims.numel()).count;
  std::vector<std::size_t> view = viewOf(dims, subs.size());
  std::size_t n = 1;
  for (std::size_t q = 0; q < subs.size(); ++q) n *= subscriptOf(*subs[q], view[q]).count;
  return n;
}

// Whether every position the subscripts select lies inside an array of size dims.
bool inRange(const Dims &dims, std::span<const Array *const> subs) {
  if (subs.size() == 1) return subscriptOf(*subs[0], dims.numel()).maxIndex <= dims.numel();
  std::vector<std::size_t> view = viewOf(dims, subs.size());
  for (std::size_t q = 0; q < subs.size(); ++q) {
    if (subscriptOf(*subs[q], view[q]).maxIndex > view[q]) return false;
  }
  return true;
}

// --- Deletion ---

[[noreturn]] void deletionOutOfRange(std::size_t index, const Dims &dims) {
  raise("Matrix index is out of range for deletion: index " + std::to_string(index) + ", size " +
        dims.str() + ".");
}

// The positions of 0 .. extent - 1 that sub does not select.
Subscript complementOf(const Subscript &sub, std::size_t extent) {
  std::vector<bool> gone(extent, false);
  const std::size_t *pos = sub.positions();
  for (std::size_t k = 0; k < sub.count; ++k) gone[pos ? pos[k] : k] = true;
  Subscript keep;
  for (std::size_t k = 0; k < extent; ++k) {
    if (!gone[k]) keep.list.push_back(k);
  }
  keep.count = keep.list.size();
  if (keep.count == 1) {
    keep.one = keep.list[0];
    keep.list.clear();
  }
  return keep;
}

// a(i) = []: the elements left, a vector keeping its orientation and anything else
// becoming a row; a(:) = [] leaves 0x0.
Array *deleteLinear(const Array &a, const Array &i) {
  std::size_t n = a.numel();
  if (isColon(i)) return newLike(a, Dims(0, 0));
  Subscript sub = subscriptOf(i, n);
  if (sub.maxIndex > n) deletionOutOfRange(sub.maxIndex, a.dims);
  if (sub.count == 0) return shareOf(&a);
  Subscript keep = complementOf(sub, n);
  bool column = a.dims.size() == 2 && a.dims[1] == 1 && a.dims[0] != 1;
  return gatherLinear(a, keep, column ? Dims(keep.count, 1) : Dims(1, keep.count));
}

// a(:, j) = [] and the like: all subscripts but one select their whole extent, and that one
// names the slices removed.
Array *deleteSeveral(const Array &a, std::span<const Array *const> subs) {
  std::vector<std::size_t> view = viewOf(a.dims, subs.size());
  std::vector<Subscript> sel;
  std::size_t partial = subs.size();
  for (std::size_t q = 0; q < subs.size(); ++q) {
    sel.push_back(subscriptOf(*subs[q], view[q]));
    const Subscript &s = sel.back();
    if (s.maxIndex > view[q]) deletionOutOfRange(s.maxIndex, a.dims);
    if (s.colon || complementOf(s, view[q]).count == 0) continue;
    if (partial != subs.size()) raise("A null assignment can have only one non-colon index.");
    partial = q;
  }
  if (partial == subs.size()) partial = 0;  // everything selected: the first dimension empties
  if (sel[partial].count == 0) return shareOf(&a);
  Selection keep;
  for (std::size_t q = 0; q < subs.size(); ++q) keep.subs.push_back(colonOver(view[q]));
  keep.subs[partial] = complementOf(sel[partial], view[partial]);
  keep.setView(view);
  Owned r(newLike(a, keep.shape()));
  const Subscript &first = keep.subs[0];
  const std::size_t *pi = first.positions();
  eachPart(a, *r, [&](const auto *src, auto *out) {
    forEachRun(keep, [&](std::size_t at, std::size_t base) {
      for (std::size_t p = 0; p < first.count; ++p) out[at + p] = src[base + (pi ? pi[p] : p)];
    });
  });
  return adopt(r.release());
}

// --- Colon ranges ---

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
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mxArray *mclArrayRef1(mxArray *a, mxArray *i) {
  Operands<2> ops({a, i}, "Indexing a(i)", 0, 0b11);
  return temp(refLinear(ops[0], ops[1]));
}

mxArray *mclArrayRef2(mxArray *a, mxArray *i, mxArray *j) {
  Operands<3> ops({a, i, j}, "Indexing a(i,j)", 0, 0b111);
  const Array *subs[2] = {ops.get(1), ops.get(2)};
  return temp(refSeveral(ops[0], subs));
}

mxArray *mclArrayRefN(mxArray *a, int count, mxArray **subscripts) {
  std::vector<Array *> list{a};
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  OperandList ops(list, "Indexing a(i,...)", true);
  if (count < 1) raise("Indexing a(i,...): no subscripts.");
  if (count == 1) return temp(refLinear(ops[0], ops[1]));
  std::vector<const Array *> subs;
  for (std::size_t k = 1; k < ops.size(); ++k) subs.push_back(ops.get(k));
  return temp(refSeveral(ops[0], subs));
}

mxArray *mclIntArrayRef1(mxArray *a, int i) {
  Operand x(a, "Indexing a(i)", true);
  std::size_t p = intPosition(i);
  if (p > x->numel()) exceeds(p, x->dims);
  return temp(elementAt(*x, p - 1));
}

void mclArrayAssign1(mxArray **dst, mxArray *src, mxArray *i) {
  Operands<2> ops({src, i}, "Assignment a(i) = x", 0, 0b11);
  if (!dst) raise("Assignment a(i) = x: the destination is missing.");
  const Array *subs[1] = {ops.get(1)};
  storeAt(dst, ops[0], subs);
}

void mclArrayAssign2(mxArray **dst, mxArray *src, mxArray *i, mxArray *j) {
  Operands<3> ops({src, i, j}, "Assignment a(i,j) = x", 0, 0b111);
  if (!dst) raise("Assignment a(i,j) = x: the destination is missing.");
  const Array *subs[2] = {ops.get(1), ops.get(2)};
  storeAt(dst, ops[0], subs);
}

void mclArrayAssignN(mxArray **dst, mxArray *src, int count, mxArray **subscripts) {
  std::vector<Array *> list{src};
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  OperandList ops(list, "Assignment a(i,...) = x", true);
  if (!dst) raise("Assignment a(i,...) = x: the destination is missing.");
  if (count < 1) raise("Assignment a(i,...) = x: no subscripts.");
  std::vector<const Array *> subs;
  for (std::size_t k = 1; k < ops.size(); ++k) subs.push_back(ops.get(k));
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

void mclArrayDelete(mxArray **dst, int count, mxArray **subscripts) {
  std::vector<Array *> list;
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  OperandList ops(list, "Deletion a(i) = []", true);
  if (!dst) raise("Deletion a(i) = []: the destination is missing.");
  if (count < 1) raise("Deletion a(i) = []: no subscripts.");
  Array *d = *dst;
  if (!d || d->isUninit()) {
    Owned empty(newDouble(0, 0));
    if (d) {
      replaceContents(*d, *empty);
    } else {
      *dst = empty.release();
    }
    d = *dst;
  }
  std::vector<const Array *> subs;
  for (std::size_t k = 0; k < ops.size(); ++k) subs.push_back(ops.get(k));
  Owned r(count == 1 ? deleteLinear(*d, *subs[0]) : deleteSeveral(*d, subs));
  replaceContents(*d, *r);
}

void mclCellAssign(mxArray **dst, mxArray *src, int count, mxArray **subscripts) {
  std::vector<Array *> list{src};
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  OperandList ops(list, "Assignment c{i} = x", true);
  if (!dst) raise("Assignment c{i} = x: the destination is missing.");
  if (count < 1) raise("Assignment c{i} = x: no subscripts.");
  Array *d = *dst;
  bool fresh = !d || d->isUninit() || (d->isDouble() && d->dims == Dims(0, 0));
  if (!fresh && !d->isCell()) raise("Cell contents assignment to a non-cell array object.");
  std::vector<const Array *> subs;
  for (std::size_t k = 1; k < ops.size(); ++k) subs.push_back(ops.get(k));
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

mxArray *mclArrayRefForStore(mxArray *a, int count, mxArray **subscripts) {
  std::vector<Array *> list;
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  OperandList ops(list, "Assignment a(i).f = x", true);
  std::vector<const Array *> subs;
  for (std::size_t k = 0; k < ops.size(); ++k) subs.push_back(ops.get(k));
  if (!a || a->isUninit()) return temp(newDouble(0, 0));
  if (a->cls == mxFUNCTION_CLASS) raise("Assignment a(i).f = x: a is a function handle.");
  if (count < 1) raise("Assignment a(i).f = x: no subscripts.");
  std::size_t selected = selectedCount(a->dims, subs);
  if (selected != 1) {
    raise("A nested assignment needs its subscripts to select one element, not " +
          std::to_string(selected) + ".");
  }
  if (!inRange(a->dims, subs)) {
    if (a->isStruct()) return temp(newStruct(Dims(1, 1), a->composite->fields));
    if (a->isCell()) return temp(newCell(Dims(1, 1)));
    return temp(newDouble(0, 0));
  }
  return temp(subs.size() == 1 ? refLinear(*a, *subs[0]) : refSeveral(*a, subs));
}

mxArray *mlfCreateColonIndex(void) { return temp(newString(u":")); }

mxArray *mlfScalar(double value) { return temp(newScalar(value)); }

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

int mclForIntStart(int start) { return start; }

int mclForIntEnd(mxArray *end) {
  Operand e(end, "for loop bound");
  if (e->isEmpty()) return INT_MIN;
  double v = e->number(0);
  if (std::isnan(v) || v == -std::numeric_limits<double>::infinity()) return INT_MIN;
  if (v == std::numeric_limits<double>::infinity()) raise("for loop bound too large: Inf.");
  // The loop variable steps past its bound once, so the bound stays below INT_MAX.
  double f = std::floor(v);
  if (f >= static_cast<double>(INT_MAX) - 1) return INT_MAX - 1;
  if (f <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(f);
}

}  // extern "C"
