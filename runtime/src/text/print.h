// The print engine behind fprintf and the short display format behind disp and the shell.
// Both work on read-only views of arrays, so they depend on nothing but the element data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/utf8.h"
#include "core/value_view.h"

namespace mexrt::detail {

// Renders fprintf's format with its arguments, as the host language does: escapes, the
// conversions d i u f e g x o c s and %%, flags, width, precision, `*`, and the format
// recycled while arguments remain. A malformed format raises mexrt::Error.
std::string formatPrintf(std::u16string_view format, std::span<const ValueView> args);

// What disp prints for a value: a char array as its rows of text, a numeric or logical
// array in the short format; an empty value prints nothing. Ends with a line break.
std::string displayValue(const ValueView &v);

// What the shell prints for an unsuppressed result: "name =", a blank line, the value in
// the short format, a blank line; "name =\n\n     []\n\n" for an empty value.
std::string displayNamed(std::string_view name, const ValueView &v);

}  // namespace mexrt::detail

struct mxArray_tag;

namespace mexrt::detail {

// What disp prints for a cell or struct (a cell's elements in columns, a struct's fields).
std::string displayComposite(const mxArray_tag &a);

}  // namespace mexrt::detail
