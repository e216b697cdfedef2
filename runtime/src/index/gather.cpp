// Gathering: a(i) and a(i,j,...), and the element a nested store such as a(i).f = x starts
// from. The imaginary part of a complex array moves with its real part; the handles of a
// cell or struct move as its elements.
#include <algorithm>
#include <string>

#include "index/subscripts.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail::indexing {

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

namespace {

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

}  // namespace

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

}  // namespace mexrt::detail::indexing

using namespace mexrt::detail;
using namespace mexrt::detail::indexing;

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
  OperandList ops(subscriptOperands({a}, count, subscripts), "Indexing a(i,...)", true);
  if (count < 1) raise("Indexing a(i,...): no subscripts.");
  if (count == 1) return temp(refLinear(ops[0], ops[1]));
  std::vector<const Array *> subs = subscriptsIn(ops, 1);
  return temp(refSeveral(ops[0], subs));
}

mxArray *mclIntArrayRef1(mxArray *a, int i) {
  Operand x(a, "Indexing a(i)", true);
  std::size_t p = intPosition(i);
  if (p > x->numel()) exceeds(p, x->dims);
  return temp(elementAt(*x, p - 1));
}

mxArray *mclArrayRefForStore(mxArray *a, int count, mxArray **subscripts) {
  OperandList ops(subscriptOperands({}, count, subscripts), "Assignment a(i).f = x", true);
  std::vector<const Array *> subs = subscriptsIn(ops, 0);
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

}  // extern "C"
