// Function handles: arrays of class mxFUNCTION_CLASS that carry a callable target of the
// host's making. The runtime stores, copies and frees them; only the host calls them.
#pragma once

#include <memory>
#include <string>

#include "mexrt/matrix.h"

namespace mexrt {

// What a handle calls. Copies of a handle share one target, freed with the last copy.
class FunctionTarget {
 public:
  virtual ~FunctionTarget() = default;
  // The handle as it is written: @name or @(x) expression.
  virtual std::string text() const = 0;
};

// A new 1x1 function handle owned by the caller (free with mxDestroyArray).
MEXRT_API mxArray *createFunctionHandle(std::shared_ptr<const FunctionTarget> target);
// The target of a function handle; nullptr for any other array.
MEXRT_API const FunctionTarget *functionTarget(const mxArray *a);

}  // namespace mexrt
