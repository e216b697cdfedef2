// The numeric classes beside double: which class is which kind, their names, the class two
// operands of arithmetic give, and the conversion of one element to another class (integers
// rounded to nearest and saturated, as the host language converts them).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/array.h"

namespace mexrt::detail {

inline bool isIntegerClass(mxClassID c) { return c >= mxINT8_CLASS && c <= mxUINT64_CLASS; }
inline bool isFloatClass(mxClassID c) { return c == mxDOUBLE_CLASS || c == mxSINGLE_CLASS; }
inline bool isNumericClass(mxClassID c) { return isIntegerClass(c) || isFloatClass(c); }
// 64-bit integers: their values do not all fit a double, so they are computed in long double
// (64 bits of mantissa) instead.
inline bool isWideClass(mxClassID c) { return c == mxINT64_CLASS || c == mxUINT64_CLASS; }
// The classes that arithmetic gives a result of their own (double, char and logical give double).
inline bool hasOwnArithmetic(mxClassID c) { return isIntegerClass(c) || c == mxSINGLE_CLASS; }

// "double", "int16", ...; "unknown" for the uninitialised class.
const char *className(mxClassID c);
// The class a name gives ("double" ... "uint64", "single", "logical", "char"), or nullopt.
std::optional<mxClassID> classNamed(std::string_view name);

// The class of a op b where either is an integer or single: an integer class wins (two
// different integer classes are an error), else single.
mxClassID arithmeticClass(mxClassID a, mxClassID b);

// x converted to class `to` (a new array). Complex values convert to double only; NaN
// cannot become logical.
Array *converted(const Array &x, mxClassID to, const char *fn);

// One element in another element type. To an integer type (the char type included) a
// floating value is rounded to nearest, halves away from 0, and held within the type's
// range; NaN becomes 0. An integer is held within the range. A floating type takes the
// nearest value it has.
template <class To, class From>
To elementCast(From v) {
  if constexpr (std::is_floating_point_v<To> || std::is_same_v<To, From>) {
    return static_cast<To>(v);
  } else if constexpr (std::is_floating_point_v<From>) {
    if (std::isnan(v)) return To{0};
    const From r = std::round(v);
    if (r <= static_cast<From>(std::numeric_limits<To>::min()))
      return std::numeric_limits<To>::min();
    if (r >= static_cast<From>(std::numeric_limits<To>::max()))
      return std::numeric_limits<To>::max();
    return static_cast<To>(r);
  } else {
    // long double holds every 64-bit integer exactly, so the limits compare exactly.
    const auto w = static_cast<long double>(v);
    if (w <= static_cast<long double>(std::numeric_limits<To>::min()))
      return std::numeric_limits<To>::min();
    if (w >= static_cast<long double>(std::numeric_limits<To>::max()))
      return std::numeric_limits<To>::max();
    return static_cast<To>(v);
  }
}

}  // namespace mexrt::detail
