// Deletion: a(i) = [] removes elements, a(:, j, ...) = [] slices.
#include <string>

#include "index/subscripts.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail::indexing {
namespace {

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

}  // namespace
}  // namespace mexrt::detail::indexing

using namespace mexrt::detail;
using namespace mexrt::detail::indexing;

extern "C" {

void mclArrayDelete(mxArray **dst, int count, mxArray **subscripts) {
  OperandList ops(subscriptOperands({}, count, subscripts), "Deletion a(i) = []", true);
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
  std::vector<const Array *> subs = subscriptsIn(ops, 0);
  Owned r(count == 1 ? deleteLinear(*d, *subs[0]) : deleteSeveral(*d, subs));
  replaceContents(*d, *r);
}

}  // extern "C"
