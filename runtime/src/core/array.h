// The runtime's one array type: class, dimensions, shared copy-on-write storage (a complex
// double keeps its imaginary part in storage of its own) and the temporary flag, with the
// helpers every operation uses to read operands and make results.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/value_view.h"
#include "mexrt/error.h"
#include "mexrt/function_handle.h"
#include "mexrt/matrix.h"

namespace mexrt::detail {

// Dimensions with room for four inline; the common case never allocates.
class Dims {
 public:
  Dims() : n_(2) { inl_[0] = inl_[1] = 0; }
  Dims(std::size_t rows, std::size_t cols) : n_(2) {
    inl_[0] = rows;
    inl_[1] = cols;
  }
  explicit Dims(std::span<const std::size_t> d);
  // Copies touch the vector only for more than four dimensions: every new array copies its
  // dimensions, and a scalar operation makes several arrays.
  Dims(const Dims &o) : n_(o.n_) { copyFrom(o); }
  Dims &operator=(const Dims &o) {
    if (this != &o) {
      n_ = o.n_;
      copyFrom(o);
    }
    return *this;
  }
  Dims(Dims &&) = default;
  Dims &operator=(Dims &&) = default;
  ~Dims() = default;

  std::size_t size() const { return n_; }
  std::size_t operator[](std::size_t k) const { return k < n_ ? data()[k] : 1; }
  const std::size_t *data() const { return n_ <= kInline ? inl_ : big_.data(); }
  std::span<const std::size_t> span() const { return {data(), n_}; }
  std::size_t rows() const { return data()[0]; }
  std::size_t cols() const;  // product of all dimensions after the first
  std::size_t numel() const;
  // Inline, without memcmp: operations compare the sizes of scalar operands on every call.
  bool operator==(const Dims &o) const {
    if (n_ != o.n_) return false;
    const std::size_t *a = data(), *b = o.data();
    for (std::size_t k = 0; k < n_; ++k) {
      if (a[k] != b[k]) return false;
    }
    return true;
  }
  std::string str() const;  // "2x3x4"

 private:
  static constexpr std::size_t kInline = 4;
  void copyFrom(const Dims &o) {
    for (std::size_t k = 0; k < kInline; ++k) inl_[k] = o.inl_[k];
    if (n_ > kInline) {
      big_ = o.big_;
    } else if (!big_.empty()) {
      big_.clear();
    }
  }
  std::size_t inl_[kInline] = {};
  std::vector<std::size_t> big_;
  std::size_t n_;
};

// The owner of outside memory that a storage reads in place (a numpy array): destroyed when
// the last array sharing the storage is freed, which lets the memory go.
struct Lender {
  virtual ~Lender() = default;
};

// Shared element storage with a reference count; data follows the header, or lies outside
// when lent. Large buffers are mapped from the kernel, aligned for huge pages, and kept for
// reuse once freed. Storage may be shared between threads (module constants, arrays handed
// from one thread to another): the count is atomic. Aligned so that the data after the
// header is aligned for vector loads.
struct alignas(16) Storage {
  std::atomic<std::size_t> refs;
  std::size_t bytes;
  std::size_t mapped;   // bytes of data room in a mapped buffer, 0 for heap buffers
  unsigned char *data;  // right after the header, or the lender's memory
  Lender *lender;       // the owner of outside memory, or nullptr
  unsigned char *bytesPtr() const { return data; }
  // Throws mexrt::Error when out of memory. Zeroed unless the caller writes every byte.
  static Storage *allocate(std::size_t bytes, bool zeroed = true);
  // Storage over outside memory, not copied. The lender holds a reference of its own, so the
  // storage is never any array's alone: every write copies it first and no operation takes
  // it for its result, and the memory is never written.
  static Storage *lend(const void *data, std::size_t bytes, std::unique_ptr<Lender> lender);
  static void release(Storage *s);
  void share() { refs.fetch_add(1, std::memory_order_relaxed); }
  // Held by one owner alone, who may then write or take it.
  bool unique() const { return refs.load(std::memory_order_acquire) == 1; }
};
static_assert(sizeof(Storage) % 16 == 0);

std::size_t elementSize(mxClassID cls);

// The elements of a cell or struct array: each an array handle the composite owns (nullptr
// stands for the empty double []); a struct's element k keeps its fields at
// items[k * fields.size() ...]. Shared between arrays until one of them writes.
struct Composite {
  std::atomic<std::size_t> refs{1};  // atomic: a cell or struct may be shared between threads
  std::vector<std::string> fields;   // a struct's field names, in order
  std::vector<mxArray_tag *> items;  // numel (cell) or numel x fields (struct) handles
  Composite() = default;
  Composite(const Composite &) = delete;
  Composite &operator=(const Composite &) = delete;
  ~Composite();  // destroys the items
  static void release(Composite *c);
  // A copy whose items share the storage of these (copy on write one level down).
  Composite *clone() const;
  // The index of a field, or -1.
  std::ptrdiff_t field(std::string_view name) const;
};
std::size_t cachedLargeBuffers();  // freed large buffers kept for reuse
// True when the test hook (mexrtFailAllocation) makes this allocation fail.
bool allocationFails();

// The product of sizes, or nullopt when it does not fit a size_t.
inline std::optional<std::size_t> checkedProduct(std::span<const std::size_t> sizes) {
  std::size_t p = 1;
  for (std::size_t s : sizes) {
    if (s != 0 && p > SIZE_MAX / s) {
      for (std::size_t t : sizes) {
        if (t == 0) return 0;  // an empty dimension makes the product 0 whatever the rest
      }
      return std::nullopt;
    }
    p *= s;
  }
  return p;
}

}  // namespace mexrt::detail

// The array handle. Storage is shared between copies until one of them writes; a temporary
// is an operation's result that the next operation given it reclaims. A complex double holds
// its real and imaginary parts apart, each in column-major order, as the host API hands them out.
struct mxArray_tag {
  mxClassID cls = mxUNKNOWN_CLASS;
  mexrt::detail::Dims dims;
  mexrt::detail::Storage *store = nullptr;      // the real part; nullptr when there are no elements
  mexrt::detail::Storage *imagStore = nullptr;  // the imaginary part; nullptr when real or empty
  mexrt::detail::Composite *composite = nullptr;  // a cell's or struct's elements, else nullptr
  bool complex = false;                           // a complex double, also when it has no elements
  bool temporary = false;
  // What a function handle calls (mxFUNCTION_CLASS), shared by its copies; else empty.
  std::shared_ptr<const mexrt::FunctionTarget> function;
  // Live temporaries form a list in creation order, so that an error can reclaim the
  // temporaries of the calls it unwinds.
  std::uint64_t serial = 0;
  mxArray_tag *prevTemp = nullptr;
  mxArray_tag *nextTemp = nullptr;

  std::size_t numel() const { return dims.numel(); }
  bool isEmpty() const { return numel() == 0; }
  bool isScalar() const { return numel() == 1; }
  bool isDouble() const { return cls == mxDOUBLE_CLASS; }
  bool isChar() const { return cls == mxCHAR_CLASS; }
  bool isLogical() const { return cls == mxLOGICAL_CLASS; }
  bool isUninit() const { return cls == mxUNKNOWN_CLASS; }
  bool isCell() const { return cls == mxCELL_CLASS; }
  bool isStruct() const { return cls == mxSTRUCT_CLASS; }
  // Cells and structs hold arrays, not numbers.
  bool isComposite() const { return isCell() || isStruct(); }
  bool isVector() const { return dims.size() == 2 && (dims[0] == 1 || dims[1] == 1); }
  bool isComplex() const { return complex; }

  const double *reals() const { return reinterpret_cast<const double *>(rawData()); }
  // The imaginary part of a complex array (nullptr for a real or empty one).
  const double *imags() const {
    return imagStore ? reinterpret_cast<const double *>(imagStore->bytesPtr()) : nullptr;
  }
  const mxChar *chars() const { return reinterpret_cast<const mxChar *>(rawData()); }
  const mxLogical *logicals() const { return reinterpret_cast<const mxLogical *>(rawData()); }
  // Writable data: unshares the storage first (copy on write).
  double *mutableReals() { return reinterpret_cast<double *>(mutableData()); }
  mxChar *mutableChars() { return reinterpret_cast<mxChar *>(mutableData()); }
  mxLogical *mutableLogicals() { return reinterpret_cast<mxLogical *>(mutableData()); }
  double *mutableImags();

  // Element k as a double, whatever the class.
  double number(std::size_t k) const;
  const unsigned char *rawData() const { return store ? store->bytesPtr() : nullptr; }
  unsigned char *mutableData();
  bool uniquelyOwned() const { return store == nullptr || store->unique(); }
  mexrt::detail::ValueView view() const;
  // A cell's or struct's element handles, made this array's own first (copy on write).
  std::vector<mxArray_tag *> &mutableItems();
};

namespace mexrt::detail {

using Array = mxArray_tag;

// Making arrays. New arrays are owned (not temporary) until marked otherwise.
Array *newArray(mxClassID cls, const Dims &dims);  // elements zeroed
// Elements left unset, for results whose every element the caller writes.
Array *newArrayForOverwrite(mxClassID cls, const Dims &dims);
// Elements zeroed, with a's class and, for a complex a, an imaginary part.
Array *newArrayLike(const Array &a, const Dims &dims);
// The same with both parts left unset, for results whose every element the caller writes.
Array *newArrayLikeForOverwrite(const Array &a, const Dims &dims);
Array *newDouble(std::size_t rows, std::size_t cols);
Array *newScalar(double v);
Array *newLogicalScalar(bool v);
Array *newString(std::u16string_view text);  // 1 x n char
// A cell array of empty elements, or a struct array whose fields are all empty.
Array *newCell(const Dims &dims);
Array *newStruct(const Dims &dims, std::vector<std::string> fields);
// An owned handle on a's contents for a container to keep: a temporary is taken over, any
// other array shared. nullptr stays nullptr.
Array *kept(Array *a);
Array *shareOf(const Array *a);  // a new header sharing a's storage
// d takes over the class, size and elements of from, which is left an empty double; d's old
// elements are released. The header d stays where it is.
void replaceContents(Array &d, Array &from);
// Whether name can name a field or variable: a letter, then letters, digits and
// underscores, at most 63 characters.
bool isFieldName(std::string_view name);
// The host language's name of a class: "double", "char", "logical", "cell", "struct".
const char *className(mxClassID cls);
void destroy(Array *a);  // frees the header, releases the storage

// An array owned by the operation while it is built; freed if an error leaves first.
struct ArrayDeleter {
  void operator()(Array *a) const { destroy(a); }
};
using Owned = std::unique_ptr<Array, ArrayDeleter>;

// Complex doubles. A complex array of the given size, both parts left unset.
Array *newComplexForOverwrite(const Dims &dims);
void addImaginaryPart(Array &a);   // a real double becomes complex with zero imaginary parts
void dropImaginaryPart(Array &a);  // a complex array becomes real: its real part alone
// A complex result whose imaginary parts are all zero becomes real, as the host language
// makes the results of its arithmetic and functions. Returns a.
Array *narrowed(Array *a);

// Temporaries.
Array *temp(Array *a);                       // marks a as a temporary (an operation's result)
void untemp(Array *a);                       // a is kept: no longer a temporary
std::uint64_t tempMark();                    // the serial the next temporary will get
void releaseTempsSince(std::uint64_t mark);  // frees the temporaries made since mark
std::size_t liveArrays();

// An operand of an operation: reclaimed when the operation ends (success or error) if it
// was a temporary. The operation may take its buffer for the result instead.
class Operand {
 public:
  // A cell or struct operand is refused unless `composites` is set.
  Operand(Array *a, const char *op, bool composites = false);
  Operand(const Operand &) = delete;
  Operand &operator=(const Operand &) = delete;
  ~Operand();
  const Array &operator*() const { return *a_; }
  const Array *operator->() const { return a_; }
  const Array *get() const { return a_; }
  // The storage, when this operand is a temporary that owns it alone, else nullptr.
  Storage *stealableStorage() const;
  Storage *takeStorage();  // detaches the stealable storage
  // The same for the imaginary part of a complex temporary.
  Storage *stealableImagStorage() const;
  Storage *takeImagStorage();

 private:
  Array *a_;
};

// A dense double copy of any numeric, char or logical array's elements (no copy for double);
// the real part of a complex array.
class DoubleData {
 public:
  explicit DoubleData(const Array &a);
  const double *data() const { return p_; }
  double operator[](std::size_t k) const { return p_[k]; }

 private:
  std::vector<double> buf_;
  const double *p_;
};

[[noreturn]] void raise(std::string message);
std::string sizeText(const Array &a);  // "2x3"
// A number as the messages show it: whole numbers without a fraction, others to 15 digits.
std::string numberText(double v);

}  // namespace mexrt::detail
