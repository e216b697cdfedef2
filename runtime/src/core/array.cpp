// The array type: dimensions, headers, temporaries and operands.
#include "core/array.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>

#include "core/classes.h"
#include "core/element_type.h"
#include "core/operands.h"
#include "core/per_thread.h"
#include "mexrt/testing.h"

namespace mexrt::detail {

// --- Dims ---

Dims::Dims(std::span<const std::size_t> d) : n_(d.size() < 2 ? 2 : d.size()) {
  // Trailing singleton dimensions beyond the second carry no meaning: drop them.
  std::size_t n = d.size();
  while (n > 2 && d[n - 1] == 1) --n;
  n_ = n < 2 ? 2 : n;
  std::size_t *out = inl_;
  if (n_ > kInline) {
    big_.assign(n_, 1);
    out = big_.data();
  }
  for (std::size_t k = 0; k < n_; ++k) out[k] = k < d.size() ? d[k] : (d.empty() ? 0 : 1);
  if (d.size() == 1) out[1] = 1;
}

std::size_t Dims::cols() const {
  std::size_t c = 1;
  for (std::size_t k = 1; k < n_; ++k) c *= data()[k];
  return c;
}

std::size_t Dims::numel() const {
  std::size_t c = 1;
  for (std::size_t k = 0; k < n_; ++k) c *= data()[k];
  return c;
}

std::string Dims::str() const {
  std::string s;
  for (std::size_t k = 0; k < n_; ++k) {
    if (k) s += 'x';
    s += std::to_string(data()[k]);
  }
  return s;
}

// --- Headers and temporaries, per thread ---

namespace {

// What each thread keeps of its own: freed headers for reuse (so that scalar operations do
// not hit the allocator), the list of its live temporaries, and its count of live arrays.
// A temporary belongs to the thread that made it; arrays kept may move between threads.
struct ThreadArrays {
  static constexpr std::size_t kMaxFreeHeaders = 4096;
  std::vector<Array *> freeHeaders;
  Array *tempHead = nullptr;  // oldest first
  Array *tempTail = nullptr;
  std::uint64_t nextSerial = 1;
  // Arrays made minus arrays freed on this thread; written here alone, read by any thread.
  std::atomic<std::int64_t> live{0};
  ThreadArrays();
  ~ThreadArrays();
  void count(std::int64_t d) {
    live.store(live.load(std::memory_order_relaxed) + d, std::memory_order_relaxed);
  }
};

// Every thread's count, for the process-wide number of live arrays. Never destroyed: arrays
// may still be freed while the process exits.
struct LiveCounts {
  std::mutex mutex;
  std::vector<const ThreadArrays *> threads;
  std::atomic<std::int64_t> ended{0};  // what ended threads (and exit-time frees) left
};
LiveCounts &liveCounts() {
  static auto *counts = new LiveCounts();
  return *counts;
}

ThreadArrays::ThreadArrays() {
  std::lock_guard<std::mutex> lock(liveCounts().mutex);
  liveCounts().threads.push_back(this);
}

ThreadArrays::~ThreadArrays() {
  for (Array *a : freeHeaders) delete a;
  LiveCounts &c = liveCounts();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.ended.fetch_add(live.load(std::memory_order_relaxed), std::memory_order_relaxed);
  std::erase(c.threads, this);
}

void countLive(ThreadArrays *t, std::int64_t d) {
  if (t) [[likely]]
    t->count(d);
  else
    liveCounts().ended.fetch_add(d, std::memory_order_relaxed);
}

// Sees every array just before it is freed (tests record the order of destroyers with it).
void (*g_destroyObserver)(const mxArray *) = nullptr;

Array *newHeader() {
  if (allocationFails()) raise("Out of memory.");
  ThreadArrays *t = PerThread<ThreadArrays>::get();
  Array *a;
  if (t && !t->freeHeaders.empty()) {
    a = t->freeHeaders.back();
    t->freeHeaders.pop_back();
  } else {
    a = new Array;  // the free list owns headers between uses; destroy() returns them
  }
  countLive(t, 1);
  return a;
}

void unlinkTemp(ThreadArrays &t, Array *a) {
  if (a->prevTemp)
    a->prevTemp->nextTemp = a->nextTemp;
  else
    t.tempHead = a->nextTemp;
  if (a->nextTemp)
    a->nextTemp->prevTemp = a->prevTemp;
  else
    t.tempTail = a->prevTemp;
  a->prevTemp = a->nextTemp = nullptr;
  a->temporary = false;
}

}  // namespace

std::size_t liveArrays() {
  LiveCounts &c = liveCounts();
  std::lock_guard<std::mutex> lock(c.mutex);
  std::int64_t n = c.ended.load(std::memory_order_relaxed);
  for (const ThreadArrays *t : c.threads) n += t->live.load(std::memory_order_relaxed);
  return static_cast<std::size_t>(n);
}

namespace {

Array *makeArray(mxClassID cls, const Dims &dims, bool zeroed) {
  std::optional<std::size_t> count = checkedProduct(dims.span());
  std::size_t es = elementSize(cls);
  if (!count || (es && *count > std::numeric_limits<std::size_t>::max() / es)) {
    raise("Out of memory: an array of size " + dims.str() + " is too large.");
  }
  std::size_t n = *count;
  Storage *s = (n && es) ? Storage::allocate(n * es, zeroed) : nullptr;
  Array *a;
  try {
    a = newHeader();
  } catch (...) {
    Storage::release(s);
    throw;
  }
  a->cls = cls;
  a->dims = dims;
  a->store = s;
  return a;
}

}  // namespace

Array *newArray(mxClassID cls, const Dims &dims) { return makeArray(cls, dims, true); }

Array *newArrayForOverwrite(mxClassID cls, const Dims &dims) { return makeArray(cls, dims, false); }

Array *newArrayLike(const Array &a, const Dims &dims) {
  Array *r = newArray(a.cls, dims);
  if (!a.isComplex()) return r;
  try {
    addImaginaryPart(*r);
  } catch (...) {
    destroy(r);
    throw;
  }
  return r;
}

Array *newArrayLikeForOverwrite(const Array &a, const Dims &dims) {
  if (a.isComplex()) return newComplexForOverwrite(dims);
  return newArrayForOverwrite(a.cls, dims);
}

Array *newDouble(std::size_t rows, std::size_t cols) {
  return newArray(mxDOUBLE_CLASS, Dims(rows, cols));
}

Array *newScalar(double v) {
  Array *a = newDouble(1, 1);
  *reinterpret_cast<double *>(a->store->bytesPtr()) = v;
  return a;
}

Array *newLogicalScalar(bool v) {
  Array *a = newArray(mxLOGICAL_CLASS, Dims(1, 1));
  *a->store->bytesPtr() = v ? 1 : 0;
  return a;
}

Array *newString(std::u16string_view text) {
  Array *a = newArray(mxCHAR_CLASS, Dims(text.empty() ? 0 : 1, text.size()));
  if (!text.empty()) std::memcpy(a->store->bytesPtr(), text.data(), text.size() * sizeof(mxChar));
  return a;
}

Composite::~Composite() {
  for (Array *item : items) destroy(item);
}

void Composite::release(Composite *c) {
  if (c && --c->refs == 0) delete c;
}

Composite *Composite::clone() const {
  auto copy = std::make_unique<Composite>();
  copy->fields = fields;
  copy->items.reserve(items.size());
  for (const Array *item : items) copy->items.push_back(item ? shareOf(item) : nullptr);
  return copy.release();
}

std::ptrdiff_t Composite::field(std::string_view name) const {
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (fields[k] == name) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

namespace {

Array *newComposite(mxClassID cls, const Dims &dims, std::vector<std::string> fields) {
  std::optional<std::size_t> count = checkedProduct(dims.span());
  std::size_t per = cls == mxSTRUCT_CLASS ? fields.size() : 1;
  if (!count || (per && *count > std::numeric_limits<std::size_t>::max() / sizeof(Array *) / per)) {
    raise("Out of memory: an array of size " + dims.str() + " is too large.");
  }
  auto c = std::make_unique<Composite>();
  c->fields = std::move(fields);
  c->items.assign(*count * per, nullptr);
  Array *a = newHeader();
  a->cls = cls;
  a->dims = dims;
  a->composite = c.release();
  return a;
}

}  // namespace

Array *newCell(const Dims &dims) { return newComposite(mxCELL_CLASS, dims, {}); }

Array *newStruct(const Dims &dims, std::vector<std::string> fields) {
  return newComposite(mxSTRUCT_CLASS, dims, std::move(fields));
}

Array *kept(Array *a) {
  if (!a) return nullptr;
  if (a->temporary) {
    untemp(a);
    return a;
  }
  return shareOf(a);
}

Array *shareOf(const Array *src) {
  Array *a = newHeader();
  a->cls = src->cls;
  a->dims = src->dims;
  a->store = src->store;
  if (a->store) a->store->share();
  a->complex = src->complex;
  a->imagStore = src->imagStore;
  if (a->imagStore) a->imagStore->share();
  a->function = src->function;
  a->composite = src->composite;
  if (a->composite) ++a->composite->refs;
  return a;
}

void replaceContents(Array &d, Array &from) {
  if (&d == &from) return;
  Storage::release(d.store);
  dropImaginaryPart(d);
  Composite::release(d.composite);
  d.cls = from.cls;
  d.dims = from.dims;
  d.store = from.store;
  d.imagStore = from.imagStore;
  d.complex = from.complex;
  d.composite = from.composite;
  d.function = std::move(from.function);
  from.cls = mxDOUBLE_CLASS;
  from.dims = Dims(0, 0);
  from.store = from.imagStore = nullptr;
  from.complex = false;
  from.composite = nullptr;
}

bool isFieldName(std::string_view name) {
  if (name.empty() || name.size() > 63 || !std::isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

void destroy(Array *a) {
  if (!a) return;
  if (g_destroyObserver) g_destroyObserver(a);
  ThreadArrays *t = PerThread<ThreadArrays>::get();
  if (a->temporary) {
    if (t) unlinkTemp(*t, a);
  }
  Storage::release(a->store);
  a->store = nullptr;
  dropImaginaryPart(*a);
  // The target goes last: freeing it may free the arrays it holds, each through here.
  std::shared_ptr<const mexrt::FunctionTarget> target = std::move(a->function);
  Composite *composite = a->composite;
  a->composite = nullptr;
  a->cls = mxUNKNOWN_CLASS;
  a->dims = Dims();
  countLive(t, -1);
  if (t && t->freeHeaders.size() < ThreadArrays::kMaxFreeHeaders) {
    t->freeHeaders.push_back(a);
  } else {
    delete a;
  }
  // Last: the items' own destruction reuses the header list.
  Composite::release(composite);
}

Array *newComplexForOverwrite(const Dims &dims) {
  Array *a = newArrayForOverwrite(mxDOUBLE_CLASS, dims);
  try {
    a->complex = true;
    if (a->store) a->imagStore = Storage::allocate(a->store->bytes, false);
  } catch (...) {
    destroy(a);
    throw;
  }
  return a;
}

void addImaginaryPart(Array &a) {
  if (a.complex) return;
  if (a.store) a.imagStore = Storage::allocate(a.store->bytes, true);
  a.complex = true;
}

void dropImaginaryPart(Array &a) {
  Storage::release(a.imagStore);
  a.imagStore = nullptr;
  a.complex = false;
}

Array *narrowed(Array *a) {
  if (!a || !a->complex) return a;
  const double *im = a->imags();
  for (std::size_t k = 0, n = a->numel(); k < n; ++k) {
    if (im[k] != 0) return a;  // a NaN is not zero either
  }
  dropImaginaryPart(*a);
  return a;
}

Array *temp(Array *a) {
  if (!a || a->temporary) return a;
  ThreadArrays *t = PerThread<ThreadArrays>::get();
  if (!t) return a;  // the thread is ending: an owned array, freed by whoever holds it
  a->temporary = true;
  a->serial = t->nextSerial++;
  a->prevTemp = t->tempTail;
  a->nextTemp = nullptr;
  if (t->tempTail)
    t->tempTail->nextTemp = a;
  else
    t->tempHead = a;
  t->tempTail = a;
  return a;
}

void untemp(Array *a) {
  if (!a || !a->temporary) return;
  if (ThreadArrays *t = PerThread<ThreadArrays>::get()) unlinkTemp(*t, a);
}

std::uint64_t tempMark() {
  ThreadArrays *t = PerThread<ThreadArrays>::get();
  return t ? t->nextSerial : 0;
}

void releaseTempsSince(std::uint64_t mark) {
  ThreadArrays *t = PerThread<ThreadArrays>::get();
  while (t && t->tempTail && t->tempTail->serial >= mark) destroy(t->tempTail);
}

// --- Operands ---

Operand::Operand(Array *a, const char *op, bool composites) : a_(a) {
  if (!a) raise(std::string(op) + ": an operand is missing (an absent array).");
  if (a->isUninit()) {
    // The operand is reclaimed here: the operation will not run.
    if (a->temporary) destroy(a);
    raise(std::string(op) + ": an operand is the uninitialised value.");
  }
  if (a->cls == mxFUNCTION_CLASS) {
    if (a->temporary) destroy(a);
    raise(std::string(op) + ": a function handle is not an operand of this operation.");
  }
  if (a->isComposite() && !composites) {
    const char *kind = a->isCell() ? "a cell array" : "a struct";
    if (a->temporary) destroy(a);
    raise(std::string(op) + ": an operand is " + kind + ", which this operation does not take.");
  }
}

Operand::~Operand() {
  if (a_ && a_->temporary) destroy(a_);
}

Storage *Operand::stealableStorage() const {
  return (a_->temporary && a_->store && a_->store->unique()) ? a_->store : nullptr;
}

Storage *Operand::takeStorage() {
  Storage *s = stealableStorage();
  if (s) a_->store = nullptr;
  return s;
}

Storage *Operand::stealableImagStorage() const {
  return (a_->temporary && a_->imagStore && a_->imagStore->unique()) ? a_->imagStore : nullptr;
}

Storage *Operand::takeImagStorage() {
  Storage *s = stealableImagStorage();
  if (s) a_->imagStore = nullptr;
  return s;
}

DoubleData::DoubleData(const Array &a) : p_(a.reals()) {
  if (a.isDouble()) return;
  std::size_t n = a.numel();
  buf_.resize(n);
  for (std::size_t k = 0; k < n; ++k) buf_[k] = a.number(k);
  p_ = buf_.data();
}

void raise(std::string message) { throw Error(std::move(message)); }

std::string sizeText(const Array &a) { return a.dims.str(); }

std::string numberText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace mexrt::detail

// --- mxArray members ---

using mexrt::detail::Array;
using mexrt::detail::Storage;

double mxArray_tag::number(std::size_t k) const {
  switch (cls) {
    case mxDOUBLE_CLASS:
      return reals()[k];
    case mxCHAR_CLASS:
      return chars()[k];
    case mxLOGICAL_CLASS:
      return logicals()[k];
    default:
      if (!mexrt::detail::isNumericClass(cls)) return 0.0;
      return mexrt::detail::byClass(cls, [&](auto tag) {
        return static_cast<double>(mexrt::detail::elementsOf<decltype(tag)>(*this)[k]);
      });
  }
}

namespace {

// The storage made this holder's own: copied first when it is shared (copy on write).
unsigned char *unshared(Storage *&s) {
  if (!s) return nullptr;
  if (!s->unique()) {
    Storage *copy = Storage::allocate(s->bytes, false);
    std::memcpy(copy->bytesPtr(), s->bytesPtr(), s->bytes);
    Storage::release(s);
    s = copy;
  }
  return s->bytesPtr();
}

}  // namespace

unsigned char *mxArray_tag::mutableData() { return unshared(store); }

double *mxArray_tag::mutableImags() { return reinterpret_cast<double *>(unshared(imagStore)); }

std::vector<mxArray_tag *> &mxArray_tag::mutableItems() {
  if (!composite) mexrt::detail::raise("The array holds no cells or fields.");
  if (composite->refs > 1) {
    mexrt::detail::Composite *copy = composite->clone();
    mexrt::detail::Composite::release(composite);
    composite = copy;
  }
  return composite->items;
}

mexrt::detail::ValueView mxArray_tag::view() const {
  using mexrt::detail::ValueView;
  ValueView v;
  v.dims = dims.span();
  switch (cls) {
    case mxCHAR_CLASS:
      v.kind = ValueView::Kind::Char;
      v.chars = chars();
      break;
    case mxLOGICAL_CLASS:
      v.kind = ValueView::Kind::Logical;
      v.logicals = logicals();
      break;
    case mxSINGLE_CLASS:
      v.kind = ValueView::Kind::Single;
      v.singles = reinterpret_cast<const float *>(rawData());
      break;
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
      v.kind = ValueView::Kind::Integer;
      v.integers = rawData();
      v.integerBytes = static_cast<unsigned>(mexrt::detail::elementSize(cls));
      v.integerSigned = cls == mxINT8_CLASS || cls == mxINT16_CLASS || cls == mxINT32_CLASS ||
                        cls == mxINT64_CLASS;
      break;
    default:
      v.kind = ValueView::Kind::Double;
      v.reals = reals();
      v.complex = complex;
      v.imags = imags();
      break;
  }
  return v;
}

// --- Test hooks ---

extern "C" {

size_t mexrtLiveArrayCount(void) { return mexrt::detail::liveArrays(); }

void mexrtSetDestroyObserver(void (*observer)(const mxArray *)) {
  mexrt::detail::g_destroyObserver = observer;
}

}  // extern "C"
