// Indexing: a(i) and a(i,j), the stores a(i) = x and a(i,j) = x (growing the destination),
// the colon subscript, colon ranges a:s:b, scalars and the integer bounds of for loops. The
// imaginary part of a complex array moves with its real part; a complex value stored into a
// real array makes it complex.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "core/operands.h"

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

[[noreturn]] void exceedsIn(std::size_t index, int dim, const Dims &dims) {
  raise("Index exceeds matrix dimensions: index " + std::to_string(index) + " in dimension " +
        std::to_string(dim) + ", size " + dims.str() + ".");
}

bool isColon(const Array &a) { return a.isChar() && a.numel() == 1 && a.chars()[0] == u':'; }

// A subscript value as a 1-based position.
std::size_t positionOf(double v) {
  if (!(v >= 1.0) || !std::isfinite(v) || v != std::floor(v)) badSubscript(v);
  return static_cast<std::size_t>(std::min(v, kMaxSubscript));
}

// The positions one subscript selects, 0-based, with the shape it has as an index array.
struct Subscript {
  bool colon = false;
  std::size_t count = 0;
  std::size_t maxIndex = 0;  // the largest 1-based position selected; 0 when none
  std::size_t one = 0;       // the position, when exactly one is selected
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
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t p = positionOf(d ? d[k] : s.number(k));
    sub.list[k] = p - 1;
    sub.maxIndex = std::max(sub.maxIndex, p);
  }
  return sub;
}

// The shape of a(i): i's shape, except that a vector indexed by a vector keeps its own
// orientation.
Dims linearShape(const Array &a, const Subscript &sub) {
  const Dims &s = sub.shape;
  bool indexIsVector = s.size() == 2 && (s[0] == 1 || s[1] == 1);
  bool sourceIsVector = a.isVector() && a.numel() != 1;
  if (indexIsVector && sourceIsVector) {
    return a.dims[0] == 1 ? Dims(1, sub.count) : Dims(sub.count, 1);
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

// Runs move(source elements, result elements) on each part: the class's elements, then the
// imaginary parts of a complex source. The result is made by the caller with a's class and
// complexity.
template <class Move>
void eachPart(const Array &a, Array &r, Move move) {
  byClass(a.cls, [&](auto tag) {
    using T = decltype(tag);
    move(elementsOf<T>(a), mutableElementsOf<T>(r));
  });
  if (a.isComplex()) move(a.imags(), r.mutableImags());
}

Array *gatherLinear(const Array &a, const Subscript &sub, const Dims &shape) {
  Owned r(newArrayLike(a, shape));
  if (sub.count == 0) return r.release();
  const std::size_t *pos = sub.positions();
  eachPart(a, *r, [&](const auto *src, auto *out) {
    if (!pos) {
      std::copy(src, src + sub.count, out);
      return;
    }
    for (std::size_t k = 0; k < sub.count; ++k) out[k] = src[pos[k]];
  });
  return narrowed(r.release());
}

Array *elementAt(const Array &a, std::size_t offset) {
  Owned r(newArrayLike(a, Dims(1, 1)));
  eachPart(a, *r, [&](const auto *src, auto *out) { out[0] = src[offset]; });
  return narrowed(r.release());
}

Array *refLinear(const Array &a, const Array &i) {
  if (isColon(i)) return sharedAs(a, Dims(a.numel(), 1));
  if (i.isDouble() && !i.isComplex() && i.numel() == 1) {
    std::size_t p = positionOf(i.reals()[0]);
    if (p > a.numel()) exceeds(p, a.dims);
    return elementAt(a, p - 1);
  }
  Subscript sub = subscriptOf(i, a.numel());
  if (sub.maxIndex > a.numel()) exceeds(sub.maxIndex, a.dims);
  return gatherLinear(a, sub, linearShape(a, sub));
}

Array *refPlane(const Array &a, const Array &i, const Array &j) {
  // Dimensions after the first fold into one, so an N-d array reads as rows x (the rest).
  std::size_t rows = a.dims.rows(), cols = a.dims.cols();
  Subscript si = subscriptOf(i, rows);
  Subscript sj = subscriptOf(j, cols);
  if (si.maxIndex > rows) exceedsIn(si.maxIndex, 1, a.dims);
  if (sj.maxIndex > cols) exceedsIn(sj.maxIndex, 2, a.dims);
  if (si.colon && sj.colon) return sharedAs(a, Dims(rows, cols));
  Owned r(newArrayLike(a, Dims(si.count, sj.count)));
  if (si.count == 0 || sj.count == 0) return r.release();
  const std::size_t *pi = si.positions();
  const std::size_t *pj = sj.positions();
  eachPart(a, *r, [&](const auto *src, auto *out) {
    for (std::size_t q = 0; q < sj.count; ++q, out += si.count) {
      const auto *column = src + (pj ? pj[q] : q) * rows;
      if (!pi) {
        std::copy(column, column + rows, out);
        continue;
      }
      for (std::size_t p = 0; p < si.count; ++p) out[p] = column[pi[p]];
    }
  });
  return narrowed(r.release());
}

// --- Stores ---

// The class a store leaves: an empty double or absent destination takes the source's
// class; otherwise the class stays only when both agree, and becomes double when not.
mxClassID storedClass(const Array *d, const Array &src) {
  bool adopts = !d || d->isUninit() || (d->isDouble() && d->dims == Dims(0, 0));
  if (adopts || d->cls == src.cls) return src.cls;
  return mxDOUBLE_CLASS;
}

Dims currentDims(const Array *d) { return (d && !d->isUninit()) ? d->dims : Dims(0, 0); }

// Zeroed storage for an array of class cls and size dims (nullptr when it has no elements).
Storage *storageFor(mxClassID cls, const Dims &dims) {
  Owned a(newArray(cls, dims));
  Storage *s = a->store;
  a->store = nullptr;
  return s;
}

// Copies the elements src of old into out (of size rows x cols, zeroed) at their own row and
// column, converting them to To.
template <class To, class From>
void place(const Array &old, const From *src, To *out, const Dims &dims) {
  std::size_t n = old.numel();
  if (old.dims == dims) {
    for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<To>(src[k]);
    return;
  }
  std::size_t r0 = old.dims.rows(), c0 = old.dims.cols(), r1 = dims.rows();
  for (std::size_t c = 0; c < c0; ++c) {
    for (std::size_t r = 0; r < r0; ++r) out[c * r1 + r] = static_cast<To>(src[c * r0 + r]);
  }
}

// Gives *dst class cls and size dims (complex or not) with storage of its own, keeping its
// elements at their positions: in place when nothing changes and the storage is unshared,
// else one allocation per part. A complex destination stays complex.
void prepareStore(Array **dst, mxClassID cls, const Dims &dims, bool complex) {
  Array *d = *dst;
  if (!d) {
    Owned fresh(newArray(cls, dims));
    if (complex) addImaginaryPart(*fresh);
    *dst = fresh.release();
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
  bool keep = !d->isUninit() && !d->isEmpty();
  Storage *s = storageFor(cls, dims);
  Storage *si = nullptr;
  try {
    if (complex) si = storageFor(mxDOUBLE_CLASS, dims);
  } catch (...) {
    Storage::release(s);
    throw;
  }
  if (s && keep) {
    byClass(cls, [&](auto to) {
      using To = decltype(to);
      To *out = reinterpret_cast<To *>(s->bytesPtr());
      byClass(d->cls, [&](auto from) {
        using From = decltype(from);
        place<To, From>(*d, elementsOf<From>(*d), out, dims);
      });
    });
  }
  if (si && keep && d->isComplex()) {
    place<double, double>(*d, d->imags(), reinterpret_cast<double *>(si->bytesPtr()), dims);
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
    if (s_) ++s_->refs;
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

// Runs write(out, source) on *dst prepared as class cls and size dims, with the source read
// as that class; then, when *dst is complex, on its imaginary part with the source's (zeros
// for a real source). Everything that can fail is done before *dst changes.
template <class Write>
void storeInto(Array **dst, const Array &src, mxClassID cls, const Dims &dims, Write write) {
  Array *d = *dst;
  StorageHold hold(d && src.store == d->store ? src.store : nullptr);
  StorageHold holdImag(d && src.imagStore && src.imagStore == d->imagStore ? src.imagStore
                                                                           : nullptr);
  bool convert = cls != src.cls;  // only ever to double
  std::optional<DoubleData> asDouble;
  if (convert) asDouble.emplace(src);
  // Taken before *dst changes: src may be *dst itself, whose storage is about to be replaced.
  const void *elements = convert ? static_cast<const void *>(asDouble->data()) : src.rawData();
  const double *imags = src.imags();
  bool scalar = src.numel() == 1;
  bool complex =
      src.isComplex() || (d && !d->isUninit() && d->isComplex() && cls == mxDOUBLE_CLASS);
  prepareStore(dst, cls, dims, complex);
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
  Dims cur = currentDims(d);
  std::size_t n = cur.numel();
  Subscript sub = subscriptOf(i, n);
  if (src.numel() != 1 && src.numel() != sub.count) countMismatch(sub.count, src);
  Dims dims = sub.maxIndex > n ? grownLinear(cur, sub.maxIndex) : cur;
  storeInto(dst, src, storedClass(d, src), dims, [&](auto *out, auto source) {
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

// How far a colon reaches in a dimension the destination does not have yet (extent 0):
// as far as the source needs.
std::size_t colonReach(const Array &src, bool bothColons, std::size_t otherCount,
                       std::size_t srcExtent) {
  if (src.numel() == 1) return 1;
  if (bothColons) return srcExtent;
  return otherCount == 1 ? src.numel() : srcExtent;
}

// One subscript of a store: an array, or a position given as an integer.
struct SubscriptArg {
  const Array *array;
  std::size_t position;
};

void storePlane(Array **dst, const Array &src, SubscriptArg i, SubscriptArg j) {
  Array *d = *dst;
  Dims cur = currentDims(d);
  std::size_t rows = cur.rows(), cols = cur.cols();
  bool ci = i.array && isColon(*i.array), cj = j.array && isColon(*j.array);
  auto resolve = [](SubscriptArg s) {
    return s.array ? subscriptOf(*s.array, 0) : singlePosition(s.position);
  };
  Subscript si = ci ? Subscript{} : resolve(i);
  Subscript sj = cj ? Subscript{} : resolve(j);
  if (ci) si = colonOver(rows ? rows : colonReach(src, cj, sj.count, src.dims.rows()));
  if (cj) sj = colonOver(cols ? cols : colonReach(src, ci, si.count, src.dims.cols()));
  if (src.numel() != 1) {
    std::size_t selected[2] = {si.count, sj.count};
    if (nonSingleton(selected) != nonSingleton(src.dims.span())) {
      raise("Subscripted assignment dimension mismatch: " + Dims(si.count, sj.count).str() +
            " selected, " + sizeText(src) + " given.");
    }
  }
  Dims dims = cur;
  if (si.maxIndex > rows || sj.maxIndex > cols) {
    if (cur.size() > 2) {
      raise("Attempt to grow array along ambiguous dimension: index (" +
            std::to_string(si.maxIndex) + "," + std::to_string(sj.maxIndex) + "), size " +
            cur.str() + ".");
    }
    dims = Dims(std::max(rows, si.maxIndex), std::max(cols, sj.maxIndex));
  }
  storeInto(dst, src, storedClass(d, src), dims, [&](auto *out, auto source) {
    std::size_t stride = dims.rows();
    const std::size_t *pi = si.positions();
    const std::size_t *pj = sj.positions();
    for (std::size_t q = 0; q < sj.count; ++q) {
      auto *column = out + (pj ? pj[q] : q) * stride;
      if (source.scalar)
        scatterValue(column, pi, si.count, source.p[0]);
      else
        scatter(column, pi, si.count, source.p + q * si.count);
    }
  });
}

// x(k) = v for a scalar v of x's class at an offset inside x: the common store of loops,
// written without building subscripts. False when the general path is needed (a complex v
// into a real x among them).
bool storeScalarInPlace(Array *d, const Array &src, std::size_t offset) {
  if (!d || d->isUninit() || src.numel() != 1 || src.cls != d->cls || offset >= d->numel() ||
      (src.isComplex() && !d->isComplex())) {
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

// The offset of (i, j) inside d, or SIZE_MAX when it lies outside (or d is absent).
std::size_t planeOffset(const Array *d, std::size_t i, std::size_t j) {
  if (!d || d->isUninit() || i > d->dims.rows() || j > d->dims.cols()) return SIZE_MAX;
  return (j - 1) * d->dims.rows() + (i - 1);
}

bool isScalarDouble(const Array &a) { return a.isDouble() && !a.isComplex() && a.numel() == 1; }

std::size_t intPosition(int v) {
  if (v < 1) badSubscript(v);
  return static_cast<std::size_t>(v);
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
  Operands<2> ops({a, i}, "Indexing a(i)");
  return temp(refLinear(ops[0], ops[1]));
}

mxArray *mclArrayRef2(mxArray *a, mxArray *i, mxArray *j) {
  Operands<3> ops({a, i, j}, "Indexing a(i,j)");
  return temp(refPlane(ops[0], ops[1], ops[2]));
}

mxArray *mclIntArrayRef1(mxArray *a, int i) {
  Operand x(a, "Indexing a(i)");
  std::size_t p = intPosition(i);
  if (p > x->numel()) exceeds(p, x->dims);
  return temp(elementAt(*x, p - 1));
}

void mclArrayAssign1(mxArray **dst, mxArray *src, mxArray *i) {
  Operands<2> ops({src, i}, "Assignment a(i) = x");
  if (!dst) raise("Assignment a(i) = x: the destination is missing.");
  if (isScalarDouble(ops[1])) {
    std::size_t p = positionOf(ops[1].reals()[0]);
    if (storeScalarInPlace(*dst, ops[0], p - 1)) return;
  }
  storeLinear(dst, ops[0], ops[1]);
}

void mclArrayAssign2(mxArray **dst, mxArray *src, mxArray *i, mxArray *j) {
  Operands<3> ops({src, i, j}, "Assignment a(i,j) = x");
  if (!dst) raise("Assignment a(i,j) = x: the destination is missing.");
  if (isScalarDouble(ops[1]) && isScalarDouble(ops[2])) {
    std::size_t p = positionOf(ops[1].reals()[0]), q = positionOf(ops[2].reals()[0]);
    if (storeScalarInPlace(*dst, ops[0], planeOffset(*dst, p, q))) return;
  }
  storePlane(dst, ops[0], {ops.get(1), 0}, {ops.get(2), 0});
}

void mclIntArrayAssign2(mxArray **dst, mxArray *src, int i, int j) {
  Operand x(src, "Assignment a(i,j) = x");
  if (!dst) raise("Assignment a(i,j) = x: the destination is missing.");
  std::size_t p = intPosition(i), q = intPosition(j);
  if (storeScalarInPlace(*dst, *x, planeOffset(*dst, p, q))) return;
  storePlane(dst, *x, {nullptr, p}, {nullptr, q});
}

mxArray *mlfCreateColonIndex(void) { return temp(newString(u":")); }

mxArray *mlfScalar(double value) { return temp(newScalar(value)); }

mxArray *mlfColon(mxArray *start, mxArray *step_or_end, mxArray *end) {
  Operands<3> ops({start, step_or_end, end}, "Colon a:b", 0b100);
  bool hasStep = ops.has(2);
  const Array &a = ops[0];
  const Array &b = hasStep ? ops[2] : ops[1];
  if (a.isEmpty() || b.isEmpty() || (hasStep && ops[1].isEmpty())) return temp(newDouble(1, 0));
  double step = hasStep ? ops[1].number(0) : 1.0;
  Array *r = colonRange(a.number(0), step, b.number(0));
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
