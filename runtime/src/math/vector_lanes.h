// The loop of a vector kernel over a run of doubles, Lanes at a time, for the kernel files
// of each SIMD width. The tail goes through the same kernel in a padded block, so that an
// element's result does not depend on where it stands in the array.
#pragma once

#include <cstddef>

namespace mexrt::detail {

// block(x, y) computes Lanes results y from Lanes arguments x.
template <std::size_t Lanes, class Block>
void runInLanes(const double *in, double *out, std::size_t n, Block block) {
  std::size_t k = 0;
  for (; k + Lanes <= n; k += Lanes) block(in + k, out + k);
  if (k == n) return;
  double pad[Lanes];
  for (std::size_t j = 0; j < Lanes; ++j) pad[j] = k + j < n ? in[k + j] : 1.0;
  block(pad, pad);
  for (std::size_t j = 0; k + j < n; ++j) out[k + j] = pad[j];
}

}  // namespace mexrt::detail
