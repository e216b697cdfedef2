// The choice of vector kernels: the widest SIMD width the processor runs, once per process,
// and the test hook that narrows it so that every width is checked on a wide machine.
#include "math/vector_math.h"

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

const VectorKernels *g_kernels = nullptr;

}  // namespace

const VectorKernels &vectorKernels() {
  if (!g_kernels) [[unlikely]]
    g_kernels = &widest(0);
  return *g_kernels;
}

}  // namespace mexrt::detail

extern "C" size_t mexrtUseVectorWidth(size_t lanes) {
  mexrt::detail::g_kernels = &mexrt::detail::widest(lanes);
  return mexrt::detail::g_kernels->lanes;
}
