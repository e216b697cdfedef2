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

// The formats of the `format` command, for every display from now on: short and long (4 or
// 15 decimals in fixed point, a common scale factor for a matrix, e-notation for a scalar
// outside [0.001, 1000)); their e forms (every non-integer class number in e-notation with
// 4 or 15 decimals); their g forms (5 or 15 significant digits, fixed or e-notation as
// each number is shorter, no scale factor). Whole numbers show as integers but in the e forms.
enum class DisplayFormat { Short, Long, ShortE, LongE, ShortG, LongG };
MEXRT_API void setDisplayFormat(DisplayFormat format);
MEXRT_API DisplayFormat displayFormat();

}  // namespace mexrt
