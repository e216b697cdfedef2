// Subscripts read as positions: one subscript array (the colon, a logical mask, numbers) as
// the positions it selects, several as a selection, and the subscript ":" itself.
#include "index/subscripts.h"

#include <algorithm>
#include <string>

#include "mexrt/mathlib.h"

namespace mexrt::detail::indexing {

[[noreturn]] void badSubscript(double v) {
  raise("Subscript indices must be real positive integers: " + numberText(v) + ".");
}

[[noreturn]] void exceeds(std::size_t index, const Dims &dims) {
  raise("Index exceeds matrix dimensions: index " + std::to_string(index) + ", size " + dims.str() +
        ".");
}

[[noreturn]] void exceedsIn(std::size_t index, std::size_t dim, const Dims &dims) {
  raise("Index exceeds matrix dimensions: index " + std::to_string(index) + " in dimension " +
        std::to_string(dim) + ", size " + dims.str() + ".");
}

std::vector<Array *> subscriptOperands(std::initializer_list<Array *> leading, int count,
                                       Array **subscripts) {
  std::vector<Array *> list(leading);
  for (int k = 0; k < count; ++k) list.push_back(subscripts[k]);
  return list;
}

std::vector<const Array *> subscriptsIn(const OperandList &ops, std::size_t from) {
  std::vector<const Array *> subs;
  for (std::size_t k = from; k < ops.size(); ++k) subs.push_back(ops.get(k));
  return subs;
}

std::size_t intPosition(int v) {
  if (v < 1) badSubscript(v);
  return static_cast<std::size_t>(v);
}

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

namespace {

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

}  // namespace

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

std::vector<std::size_t> viewOf(const Dims &dims, std::size_t k) {
  std::vector<std::size_t> view(k, 1);
  for (std::size_t d = 0; d + 1 < k; ++d) view[d] = dims[d];
  std::size_t rest = 1;
  for (std::size_t d = k - 1; d < dims.size(); ++d) rest *= dims[d];
  view[k - 1] = rest;
  return view;
}

std::vector<std::size_t> offsetsOf(const Selection &sel) {
  std::vector<std::size_t> out(sel.count());
  const Subscript &first = sel.subs[0];
  const std::size_t *pos = first.positions();
  forEachRun(sel, [&](std::size_t at, std::size_t base) {
    for (std::size_t p = 0; p < first.count; ++p) out[at + p] = base + (pos ? pos[p] : p);
  });
  return out;
}

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

}  // namespace mexrt::detail::indexing

using namespace mexrt::detail;

extern "C" {

mxArray *mlfCreateColonIndex(void) { return temp(newString(u":")); }

}  // extern "C"
