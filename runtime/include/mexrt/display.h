// The short display format as a host shows an unsuppressed result ("name =", a blank line,
// the value, a blank line), for hosts that print results themselves.
#pragma once

#include <string>
#include <string_view>

#include "mexrt/matrix.h"

namespace mexrt {

// The text a host prints for `name = value` without a semicolon. An absent or
// uninitialised value shows as empty, a function handle as it is written; integer classes
// show exactly, without decimals. Throws mexrt::Error for an array with elements but no data.
MEXRT_API std::string displayNamed(const mxArray *a, std::string_view name);

// The long format (15 decimals instead of 4) for every display from now on, or the short.
MEXRT_API void setLongFormat(bool on);
MEXRT_API bool longFormat();

}  // namespace mexrt
