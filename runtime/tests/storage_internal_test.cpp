// Tests of element storage: large buffers aligned for huge pages and reused once freed, zeroed
// storage that is zero whatever it reuses, contents computed on first read, and lent memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "core/array.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

#if defined(MEXRT_SANITIZE) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr std::size_t kMiB = std::size_t{1} << 20;

struct Released {
  void operator()(Storage *s) const { Storage::release(s); }
};
using Held = std::unique_ptr<Storage, Released>;

TEST(Storage, EverySizeIsZeroedWhenAskedEvenWhenItReusesABuffer) {
  for (std::size_t bytes :
       {std::size_t{8}, std::size_t{24}, std::size_t{4096}, 3 * kMiB, 40 * kMiB}) {
    for (int round = 0; round < 2; ++round) {  // the second round meets the buffers of the first
      Held s(Storage::allocate(bytes, true));
      const unsigned char *p = s->bytesPtr();
      std::size_t nonzero = 0;
      for (std::size_t k = 0; k < bytes; ++k) nonzero += p[k] != 0;
      EXPECT_EQ(nonzero, 0u) << bytes << " bytes, round " << round;
      std::memset(s->bytesPtr(), 0xA5, bytes);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << bytes << " bytes";
    }
  }
}

TEST(Storage, LargeBuffersStartOnAHugePageAndAreReusedOnceFreed) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build maps and keeps nothing of its own";
  const std::size_t bytes = 24 * kMiB;
  Held first(Storage::allocate(bytes, false));
  const auto data = reinterpret_cast<std::uintptr_t>(first->bytesPtr());
  EXPECT_EQ(data % 64, 0u) << "data on a cache line";
  EXPECT_LT(data % (2 * kMiB), 4096u) << "the mapping starts on a 2 MiB boundary";
  const unsigned char *address = first->bytesPtr();
  first.reset();
  Held again(Storage::allocate(bytes - 1000, false));
  EXPECT_EQ(again->bytesPtr(), address) << "a buffer of about the size is reused";
  Held much(Storage::allocate(bytes / 2, false));
  EXPECT_NE(much->bytesPtr(), address) << "in use, so not handed out twice";
}

TEST(Storage, TheCacheOfFreedBuffersIsBoundedAndHandsOutOnlyWhatFits) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build keeps nothing";
  std::vector<Held> buffers;
  buffers.reserve(20);
  for (int k = 0; k < 20; ++k) buffers.emplace_back(Storage::allocate((3 + 2 * k) * kMiB, false));
  for (Held &b : buffers) b.reset();  // oldest first: 3, 5, ..., 41 MiB
  EXPECT_EQ(cachedLargeBuffers(), 16u) << "twenty freed, the newest sixteen kept";
  {
    Held half(Storage::allocate(8 * kMiB, false));  // 11 MiB would waste more than a quarter
    EXPECT_EQ(cachedLargeBuffers(), 16u) << "a quarter more than asked is the most handed out";
    Held fits(Storage::allocate(20 * kMiB, false));
    EXPECT_EQ(cachedLargeBuffers(), 15u) << "the 21 MiB buffer fits 20 MiB";
  }
  const std::size_t huge = std::size_t{1100} * kMiB;  // more than the whole cache holds
  { Held s(Storage::allocate(huge, false)); }
  EXPECT_EQ(cachedLargeBuffers(), 16u) << "a buffer larger than the cache's room is unmapped";
}

TEST(Storage, CopyOnWriteOfALargeArrayKeepsBothSides) {
  const std::size_t n = 3 * kMiB / sizeof(double);
  Array *a = newArray(mxDOUBLE_CLASS, Dims(n, 1));
  a->mutableReals()[n - 1] = 5;
  Array *b = shareOf(a);
  EXPECT_EQ(a->reals(), b->reals()) << "shared until written";
  b->mutableReals()[n - 1] = 6;
  EXPECT_NE(a->reals(), b->reals());
  EXPECT_EQ(a->reals()[n - 1], 5);
  destroy(a);
  EXPECT_EQ(b->reals()[n - 1], 6);
  EXPECT_EQ(b->reals()[0], 0);
  destroy(b);
}

// Counts the times lent memory is given back.
void countGiveBack(void *count) { ++*static_cast<int *>(count); }

TEST(Storage, LentMemoryIsReadInPlaceNeverWrittenAndGivenBackOnceWhenTheLastShareGoes) {
  const std::vector<double> original{1, 2, 3, 4, 5, 6};
  std::vector<double> memory = original;
  int givenBack = 0;
  const size_t dims[2] = {2, 3};
  Array *lent = mexrtCreateLentDoubleArray(2, dims, memory.data(), countGiveBack, &givenBack);
  EXPECT_EQ(lent->reals(), memory.data()) << "read in place, not copied";
  EXPECT_EQ(lent->dims, Dims(2, 3));

  // Each writes through a share of the lent array, or takes it as a temporary operand.
  struct Case {
    const char *name;
    std::function<Array *(Array *share)> write;
  };
  const std::vector<Case> cases = {
      {"mxGetPr",
       [](Array *a) {
         mxGetPr(a)[0] = -1;
         return a;
       }},
      {"indexed assignment",
       [](Array *a) {
         mclArrayAssign2(&a, mlfScalar(-1), mlfScalar(1), mlfScalar(1));
         return a;
       }},
      {"plus of a temporary", [](Array *a) { return mclPlus(mlfReturnValue(a), mlfScalar(1)); }},
      {"times of a temporary", [](Array *a) { return mclTimes(mlfScalar(2), mlfReturnValue(a)); }},
      {"negation of a temporary", [](Array *a) { return mclUminus(mlfReturnValue(a)); }},
      {"abs of a temporary", [](Array *a) { return mlfAbs(mlfReturnValue(a)); }},
  };
  for (const Case &c : cases) {
    Array *result = c.write(shareOf(lent));
    EXPECT_NE(result->reals(), memory.data()) << c.name << ": written to a copy";
    EXPECT_EQ(memory, original) << c.name << ": the lent memory is unchanged";
    // A temporary result is taken over by mclInitialize; the share written in place is ours.
    destroy(result->temporary ? mclInitialize(result) : result);
  }
  Array *last = shareOf(lent);
  destroy(lent);
  EXPECT_EQ(givenBack, 0) << "a share still reads it";
  EXPECT_EQ(last->reals(), memory.data());
  destroy(last);
  EXPECT_EQ(givenBack, 1) << "given back with the last share";
}

TEST(Storage, LentMemoryWithoutElementsOrUnusableIsGivenBackAtOnce) {
  double memory[1] = {0};
  int givenBack = 0;
  const size_t empty[2] = {0, 3};
  Array *a = mexrtCreateLentDoubleArray(2, empty, memory, countGiveBack, &givenBack);
  EXPECT_EQ(a->dims, Dims(0, 3));
  EXPECT_EQ(givenBack, 1) << "an empty array reads nothing";
  destroy(a);
  EXPECT_THROW(mexrtCreateLentDoubleArray(2, nullptr, memory, countGiveBack, &givenBack), Error);
  EXPECT_EQ(givenBack, 2) << "a failed call gives the memory back too";
}

}  // namespace
}  // namespace mexrt::detail
