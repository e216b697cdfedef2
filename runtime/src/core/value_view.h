// A read-only look at one array's class, dimensions and elements, as the print engine and
// the display formats read arrays without depending on the array type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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

}  // namespace mexrt::detail
