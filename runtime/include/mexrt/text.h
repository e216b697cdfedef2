// Text conversions between the runtime's 16-bit character codes and UTF-8, for hosts.
#pragma once

#include <string>
#include <string_view>

#include "mexrt/matrix.h"

namespace mexrt {

// UTF-8 from 16-bit codes: surrogate pairs joined, a lone half as U+FFFD.
MEXRT_API std::string utf8FromCodes(std::u16string_view codes);
// 16-bit codes from UTF-8: each malformed sequence as one U+FFFD.
MEXRT_API std::u16string codesFromUtf8(std::string_view utf8);

}  // namespace mexrt
