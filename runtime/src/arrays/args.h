// Helpers that the array functions share: output slots, dimension arguments and the
// dimension a reduction works along by default.
#pragma once

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/operands.h"

namespace mexrt::detail {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Stores an owned array in an output slot as mlfAssign does: the old value is freed.
inline void assignSlot(Array **slot, Array *value) {
  Array *old = *slot;
  *slot = value;
  destroy(old);
}

inline Dims dimsOf(const std::vector<std::size_t> &d) {
  return Dims(std::span<const std::size_t>(d));
}

// A dimension number argument (size(x, dim), sum(x, dim)): a positive whole scalar.
inline std::size_t dimensionArg(const Array &d, const char *fn) {
  double v = d.numel() == 1 ? d.number(0) : kNaN;
  if (!(v >= 1) || !std::isfinite(v) || v != std::floor(v)) {
    raise(std::string(fn) + ": the dimension must be a positive integer scalar, not " +
          (d.numel() == 1 ? numberText(v) : "an array of size " + sizeText(d)) + ".");
  }
  return static_cast<std::size_t>(std::min(v, 1e15));
}

// The size that zeros, ones, rand and randn make from their arguments (those from `from`
// on): none (1 x 1), n (n x n), a size vector, or one scalar per dimension.
Dims sizeArguments(const OperandList &args, const char *fn, std::size_t from = 0,
                   std::size_t end = SIZE_MAX);

// The first dimension whose size is not 1 (0-based), as reductions choose by default.
inline std::size_t defaultDim(const Dims &dims) {
  for (std::size_t k = 0; k < dims.size(); ++k) {
    if (dims[k] != 1) return k;
  }
  return 0;
}

}  // namespace mexrt::detail
