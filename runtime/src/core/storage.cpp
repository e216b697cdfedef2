// Element storage: reference-counted buffers with a header in front of the data, or over
// memory lent from outside (read in place, copied before any write). Small buffers are kept
// on a list for reuse so that scalar operations skip the allocator; large ones are mapped
// aligned for transparent huge pages, and a few recently freed ones are kept so that a loop
// of calls on large arrays reuses memory instead of faulting it in again.
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "core/array.h"
#include "core/per_thread.h"
#include "mexrt/testing.h"

namespace mexrt::detail {

namespace {

// Buffers of up to kSmallBytes (scalars, short vectors) are kept for reuse, so that
// scalar operations do not go to the allocator; each thread keeps its own.
constexpr std::size_t kSmallBytes = 32;
constexpr std::size_t kMaxSmallBuffers = 4096;
struct SmallBuffers {
  std::vector<void *> list;
  ~SmallBuffers() {
    for (void *p : list) std::free(p);
  }
};

// Large buffers. The first write to each 4 KiB page of fresh memory is a page fault, which
// costs more than the arithmetic that fills the page; a 2 MiB huge page takes one fault. A
// mapping starts on a 2 MiB boundary and ends on a page boundary, so every whole 2 MiB of it
// can be a huge page and the tail costs no more than it holds. Below kMappedBytes no huge
// page fits and the heap reuses its own memory well enough.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kMappedBytes = kHugePage;
// The data of a mapped buffer starts a cache line into the mapping, after the header.
constexpr std::size_t kDataOffset = 64;
static_assert(sizeof(Storage) <= kDataOffset);

// Freed large buffers kept for reuse: at most kCachedBuffers of them and kCachedBytes in
// all, the oldest unmapped first. A request takes the smallest that fits it without wasting
// more than a quarter. The sanitizer build maps nothing and keeps nothing, so that
// AddressSanitizer sees every use after free and LeakSanitizer every leak.
#if defined(MEXRT_SANITIZE) || defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBuffers = false;
#else
constexpr bool kMapLargeBuffers = true;
#endif
// A chain of whole-matrix steps on a long signal (framing, a spectrum of every frame, the
// parts of that spectrum) frees a dozen large buffers of a few sizes per pass.
constexpr std::size_t kCachedBuffers = 16;
constexpr std::size_t kCachedBytes = std::size_t{1} << 30;

// One cache for the process, so that its bound holds however many threads there are.
struct LargeCache {
  std::mutex mutex;
  std::vector<Storage *> buffers;  // oldest first
  std::size_t bytes = 0;
};
LargeCache &largeCache() {
  static auto *cache = new LargeCache();  // never destroyed: storage may be freed at exit
  return *cache;
}

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

unsigned char *mappingOf(Storage *s) {
  return reinterpret_cast<unsigned char *>(s) + sizeof(Storage) - kDataOffset;
}
std::size_t mappingBytes(const Storage *s) { return s->mapped + kDataOffset; }

void unmap(Storage *s) { munmap(mappingOf(s), mappingBytes(s)); }

Storage *takeCached(std::size_t room) {
  LargeCache &cache = largeCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::size_t best = cache.buffers.size();
  for (std::size_t k = 0; k < cache.buffers.size(); ++k) {
    std::size_t have = cache.buffers[k]->mapped;
    if (have < room || have - room > room / 4) continue;
    if (best == cache.buffers.size() || have < cache.buffers[best]->mapped) best = k;
  }
  if (best == cache.buffers.size()) return nullptr;
  Storage *s = cache.buffers[best];
  cache.buffers.erase(cache.buffers.begin() + static_cast<std::ptrdiff_t>(best));
  cache.bytes -= mappingBytes(s);
  return s;
}

// A fresh mapping of at least room data bytes, 2 MiB aligned: map 2 MiB more than needed and
// give back what lies before the boundary and after the end. Fresh pages read as zero.
Storage *mapFresh(std::size_t room) {
  const std::size_t length = roundUp(room + kDataOffset, kPage);
  void *raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto *start = static_cast<unsigned char *>(raw);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  auto *base = start + (roundUp(address, kHugePage) - address);
  if (base > start) munmap(start, static_cast<std::size_t>(base - start));
  munmap(base + length, static_cast<std::size_t>(start + length + kHugePage - (base + length)));
  madvise(base, length, MADV_HUGEPAGE);  // advice only: without huge pages it still works
  auto *s = reinterpret_cast<Storage *>(base + kDataOffset - sizeof(Storage));
  s->mapped = length - kDataOffset;
  return s;
}

Storage *allocateMapped(std::size_t bytes, bool zeroed) {
  const std::size_t room = roundUp(bytes + kDataOffset, kPage) - kDataOffset;
  if (Storage *s = takeCached(room)) {
    if (zeroed) std::memset(static_cast<void *>(s + 1), 0, bytes);
    return s;
  }
  return mapFresh(room);
}

void releaseMapped(Storage *s) {
  LargeCache &cache = largeCache();
  if (mappingBytes(s) > kCachedBytes) {
    unmap(s);
    return;
  }
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.buffers.push_back(s);
  cache.bytes += mappingBytes(s);
  while (cache.buffers.size() > kCachedBuffers || cache.bytes > kCachedBytes) {
    Storage *oldest = cache.buffers.front();
    cache.buffers.erase(cache.buffers.begin());
    cache.bytes -= mappingBytes(oldest);
    unmap(oldest);
  }
}

// Allocations left until the one that the test hook makes fail; 0 when none is to fail.
std::atomic<std::size_t> g_failCountdown{0};
// The largest element buffer the test hook lets an allocation have; 0 for no bound.
std::atomic<std::size_t> g_byteLimit{0};

bool beyondLimit(std::size_t bytes) {
  std::size_t limit = g_byteLimit.load(std::memory_order_relaxed);
  return limit != 0 && bytes > limit;
}

}  // namespace

bool allocationFails() {
  std::size_t left = g_failCountdown.load(std::memory_order_relaxed);
  while (left != 0 && !g_failCountdown.compare_exchange_weak(left, left - 1)) {
  }
  return left == 1;
}

Storage *Storage::allocate(std::size_t bytes, bool zeroed) {
  Storage *s = nullptr;
  if (allocationFails() || beyondLimit(bytes) ||
      bytes > std::numeric_limits<std::size_t>::max() - kHugePage) {
    // A test hook's failure, or more than any system gives (a mapping adds room to the
    // size): as if the system had no memory left.
  } else if (kMapLargeBuffers && bytes >= kMappedBytes) {
    s = allocateMapped(bytes, zeroed);
  } else {
    void *p = nullptr;
    SmallBuffers *small = bytes <= kSmallBytes ? PerThread<SmallBuffers>::get() : nullptr;
    if (small && !small->list.empty()) {
      p = small->list.back();
      small->list.pop_back();
      if (zeroed) std::memset(p, 0, sizeof(Storage) + bytes);
    } else {
      std::size_t size = sizeof(Storage) + (bytes <= kSmallBytes ? kSmallBytes : bytes);
      p = zeroed ? std::calloc(1, size) : std::malloc(size);
    }
    s = static_cast<Storage *>(p);
    if (s) s->mapped = 0;
  }
  if (!s) raise("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
  s->refs.store(1, std::memory_order_relaxed);
  s->bytes = bytes;
  s->data = reinterpret_cast<unsigned char *>(s + 1);
  s->lender = nullptr;
  return s;
}

Storage *Storage::lend(const void *data, std::size_t bytes, std::unique_ptr<Lender> lender) {
  auto *s = allocationFails() ? nullptr : static_cast<Storage *>(std::malloc(sizeof(Storage)));
  if (!s) raise("Out of memory.");
  s->refs.store(2, std::memory_order_relaxed);  // the arrays' first and the lender's
  s->bytes = bytes;
  s->mapped = 0;
  s->data = static_cast<unsigned char *>(const_cast<void *>(data));  // read only, see lend
  s->lender = lender.release();
  return s;
}

void Storage::release(Storage *s) {
  if (!s) return;
  if (s->lender) {
    // The lender's reference is the last.
    if (s->refs.fetch_sub(1, std::memory_order_acq_rel) != 2) return;
    delete s->lender;
    std::free(s);
    return;
  }
  // A sole owner frees without the atomic decrement: nobody else can be sharing it now.
  if (!s->unique() && s->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (s->mapped) {
    releaseMapped(s);
    return;
  }
  if (s->bytes <= kSmallBytes) {
    SmallBuffers *small = PerThread<SmallBuffers>::get();
    if (small && small->list.size() < kMaxSmallBuffers) {
      small->list.push_back(s);
      return;
    }
  }
  std::free(s);
}

}  // namespace mexrt::detail

void mexrtFailAllocation(size_t n) { mexrt::detail::g_failCountdown = n; }

void mexrtLimitAllocation(size_t bytes) { mexrt::detail::g_byteLimit = bytes; }

namespace mexrt::detail {

std::size_t cachedLargeBuffers() {
  std::lock_guard<std::mutex> lock(largeCache().mutex);
  return largeCache().buffers.size();
}

}  // namespace mexrt::detail
