// The print engine behind fprintf and the short display format behind disp and the shell.
// Both work on read-only views of arrays, so they depend on nothing but the element data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mexrt::detail {

// A read-only look at one array: its class, its dimensions and its elements in
// column-major order. Exactly one of the data pointers is set, by kind (and the imaginary
// part of a complex double beside its real part).
struct ValueView {
  enum class Kind { Double, Char, Logical, Single, Integer };
  Kind kind = Kind::Double;
  std::span<const std::size_t> dims;       // at least two
  const double *reals = nullptr;           // Kind::Double
  bool complex = false;                    // Kind::Double with an imaginary part
  const double *imags = nullptr;           // the imaginary part of a complex double
  const char16_t *chars = nullptr;         // Kind::Char
  const std::uint8_t *logicals = nullptr;  // Kind::Logical, 0 or 1
  const float *singles = nullptr;          // Kind::Single
  const void *integers = nullptr;          // Kind::Integer: integerBytes each
  unsigned integerBytes = 0;               // 1, 2, 4 or 8
  bool integerSigned = false;
  std::size_t numel() const;
  double number(std::size_t i) const;  // element i as a double, whatever the kind
  bool hasData() const;                // the pointer its kind reads is set
  // Element i of Kind::Integer exactly, in decimal.
  std::string integerText(std::size_t i) const;
};

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

// UTF-8 from 16-bit character codes (surrogate pairs joined, lone halves as U+FFFD).
std::string toUtf8(std::u16string_view codes);
// 16-bit character codes from UTF-8 (invalid bytes as U+FFFD).
std::u16string fromUtf8(std::string_view utf8);

}  // namespace mexrt::detail
