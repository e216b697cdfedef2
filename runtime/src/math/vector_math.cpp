// The choice of vector kernels: the widest SIMD width the processor runs, once per process,
// and the test hook that narrows it so that every width is checked on a wide machine.
#include "math/vector_math.h"

#include <atomic>

#include "mexrt/testing.h"

namespace mexrt::detail {

namespace {

// The widest table with at most `lanes` doubles (0: any) whose instructions this processor
// and its operating system support (the compiler's check includes the OS's saving of the
// wide registers).
const VectorKernels &widest(std::size_t lanes) {
  __builtin_cpu_init();
  const bool any = lanes == 0;
  if ((any || lanes >= 8) && __builtin_cpu_supports("avx512f")) return kAvx512Kernels;
  if ((any || lanes >= 4) && __builtin_cpu_supports("avx")) return kAvxKernels;
  return kSse2Kernels;
}

// Relaxed: each choice is a table that lives for the whole process.
std::atomic<const VectorKernels *> g_kernels{nullptr};

}  // namespace

const VectorKernels &vectorKernels() {
  const VectorKernels *k = g_kernels.load(std::memory_order_relaxed);
  if (!k) [[unlikely]] {
    k = &widest(0);
    g_kernels.store(k, std::memory_order_relaxed);
  }
  return *k;
}

}  // namespace mexrt::detail

extern "C" size_t mexrtUseVectorWidth(size_t lanes) {
  const mexrt::detail::VectorKernels &k = mexrt::detail::widest(lanes);
  mexrt::detail::g_kernels.store(&k, std::memory_order_relaxed);
  return k.lanes;
}
