// Element storage: reference-counted buffers with a header in front of the data, and a
// list that keeps small buffers for reuse so that scalar operations skip the allocator.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "core/array.h"

namespace mexrt::detail {

namespace {

// Buffers of up to kSmallBytes (scalars, short vectors) are kept for reuse, so that
// scalar operations do not go to the allocator. Never destroyed, as the header list.
constexpr std::size_t kSmallBytes = 32;
constexpr std::size_t kMaxSmallBuffers = 4096;
std::vector<void *> &smallBuffers() {
  static auto *list = new std::vector<void *>();
  return *list;
}

}  // namespace

Storage *Storage::allocate(std::size_t bytes, bool zeroed) {
  if (bytes > std::numeric_limits<std::size_t>::max() - sizeof(Storage)) raise("Out of memory.");
  void *p = nullptr;
  if (bytes <= kSmallBytes && !smallBuffers().empty()) {
    p = smallBuffers().back();
    smallBuffers().pop_back();
    if (zeroed) std::memset(p, 0, sizeof(Storage) + bytes);
  } else {
    std::size_t size = sizeof(Storage) + (bytes <= kSmallBytes ? kSmallBytes : bytes);
    p = zeroed ? std::calloc(1, size) : std::malloc(size);
  }
  if (!p) raise("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
  auto *s = static_cast<Storage *>(p);
  s->refs = 1;
  s->bytes = bytes;
  return s;
}

void Storage::release(Storage *s) {
  if (!s || --s->refs != 0) return;
  if (s->bytes <= kSmallBytes && smallBuffers().size() < kMaxSmallBuffers) {
    smallBuffers().push_back(s);
    return;
  }
  std::free(s);
}

std::size_t elementSize(mxClassID cls) {
  switch (cls) {
    case mxDOUBLE_CLASS:
      return sizeof(double);
    case mxCHAR_CLASS:
      return sizeof(mxChar);
    case mxLOGICAL_CLASS:
      return sizeof(mxLogical);
    default:
      return 0;
  }
}

}  // namespace mexrt::detail
