// The loop of a vector kernel over a run of doubles, Lanes at a time, for the kernel files
// of each SIMD width. The tail goes through the same kernel with its missing lanes masked,
// so that an element's result does not depend on where it stands in the array.
#pragma once

#include <cstddef>

namespace mexrt::detail {

// full(x, y) computes Lanes results y from Lanes arguments x; part(x, y, count) the first
// count of them (count < Lanes), reading and writing nothing beyond. Masked loads and stores
// rather than a copy through a small array: a wide load of narrow stores stalls the
// processor, and a scalar call pays nothing but its one vector call.
template <std::size_t Lanes, class Full, class Part>
void runInLanes(const double *in, double *out, std::size_t n, Full full, Part part) {
  std::size_t k = 0;
  for (; k + Lanes <= n; k += Lanes) full(in + k, out + k);
  if (k < n) part(in + k, out + k, n - k);
}

}  // namespace mexrt::detail
