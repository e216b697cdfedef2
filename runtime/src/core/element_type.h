// The C++ element type of each class: calling a function with a value of the type, and an
// array's elements seen as that type.
#pragma once

#include <cstdint>

#include "core/array.h"

namespace mexrt::detail {

// Calls f with a value of the element type of class cls: double, float for single, the
// integer type of an integer class, mxChar or mxLogical (the type of uint8 too).
template <class F>
decltype(auto) byClass(mxClassID cls, F &&f) {
  switch (cls) {
    case mxCHAR_CLASS:
      return f(mxChar{});
    case mxLOGICAL_CLASS:
      return f(mxLogical{});
    case mxSINGLE_CLASS:
      return f(float{});
    case mxINT8_CLASS:
      return f(std::int8_t{});
    case mxUINT8_CLASS:
      return f(std::uint8_t{});
    case mxINT16_CLASS:
      return f(std::int16_t{});
    case mxUINT16_CLASS:
      return f(std::uint16_t{});
    case mxINT32_CLASS:
      return f(std::int32_t{});
    case mxUINT32_CLASS:
      return f(std::uint32_t{});
    case mxINT64_CLASS:
      return f(std::int64_t{});
    case mxUINT64_CLASS:
      return f(std::uint64_t{});
    default:
      return f(double{});
  }
}

template <class T>
const T *elementsOf(const Array &a) {
  return reinterpret_cast<const T *>(a.rawData());
}

template <class T>
T *mutableElementsOf(Array &a) {
  return reinterpret_cast<T *>(a.mutableData());
}

}  // namespace mexrt::detail
