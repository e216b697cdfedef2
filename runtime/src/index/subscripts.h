// What gathering, storing and deletion share: subscripts read as the 0-based positions they
// select (a colon, a logical mask, numbers), several subscripts as a selection of runs, and
// the moves of elements between an array and a result of its class.
#pragma once

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

#include "core/array.h"
#include "core/element_type.h"
#include "core/operands.h"

namespace mexrt::detail::indexing {

// Subscripts beyond 2^53 cannot be told apart as doubles; they are out of any range anyway.
constexpr double kMaxSubscript = 9007199254740992.0;

[[noreturn]] void badSubscript(double v);
[[noreturn]] void exceeds(std::size_t index, const Dims &dims);
// The same naming the dimension of one of several subscripts.
[[noreturn]] void exceedsIn(std::size_t index, std::size_t dim, const Dims &dims);

inline bool isColon(const Array &a) { return a.isChar() && a.numel() == 1 && a.chars()[0] == u':'; }

// A subscript value as a 1-based position. Whole values up to 2^53 convert exactly, so the
// conversion back tells a fraction (no call to floor in the loop over an index array);
// every finite double beyond is whole and out of any range.
inline std::size_t positionOf(double v) {
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

Subscript colonOver(std::size_t extent);
Subscript singlePosition(std::size_t position);
// The subscript array s, whose colon stands for every position of `extent`.
Subscript subscriptOf(const Array &s, std::size_t extent);
// The operands of an entry: the arrays it works on (the array indexed, the value stored),
// then its count subscripts.
std::vector<Array *> subscriptOperands(std::initializer_list<Array *> leading, int count,
                                       Array **subscripts);
// The subscripts among an entry's operands, from entry `from` on.
std::vector<const Array *> subscriptsIn(const OperandList &ops, std::size_t from);
// A position given as a C int (the compiled loops' subscripts).
std::size_t intPosition(int v);

// The extents k subscripts see in an array of size dims: its first k - 1 dimensions, then
// the product of the rest (1 for dimensions it does not have).
std::vector<std::size_t> viewOf(const Dims &dims, std::size_t k);

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
std::vector<std::size_t> offsetsOf(const Selection &sel);

// How many elements the subscripts select in an array of size dims (a colon all of its
// extent).
std::size_t selectedCount(const Dims &dims, std::span<const Array *const> subs);
// Whether every position the subscripts select lies inside an array of size dims.
bool inRange(const Dims &dims, std::span<const Array *const> subs);

// An array of a's class (and complexity, and a struct's fields) with the given size, its
// elements zeroed or empty.
Array *newLike(const Array &a, const Dims &dims);
// The same for a result whose every element the caller writes: a cell's or struct's handles
// start empty, other elements unset.
Array *newLikeForOverwrite(const Array &a, const Dims &dims);

// The element handles of a cell (one plane) or struct (one plane per field, n each).
inline std::size_t planesOf(const Array &a) {
  return a.isStruct() ? a.composite->fields.size() : 1;
}

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
Array *adopt(Array *r);

// a(sub) shaped as `shape`.
Array *gatherLinear(const Array &a, const Subscript &sub, const Dims &shape);

}  // namespace mexrt::detail::indexing
