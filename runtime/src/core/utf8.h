// Character codes between the arrays' 16-bit chars and the UTF-8 of C strings and files.
#pragma once

#include <string>
#include <string_view>

namespace mexrt::detail {

// UTF-8 from 16-bit character codes (surrogate pairs joined, lone halves as U+FFFD).
std::string toUtf8(std::u16string_view codes);
// 16-bit character codes from UTF-8 (invalid bytes as U+FFFD).
std::u16string fromUtf8(std::string_view utf8);

}  // namespace mexrt::detail
