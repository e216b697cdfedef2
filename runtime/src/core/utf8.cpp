// Conversions between the runtime's 16-bit character codes and UTF-8 text.
#include "core/utf8.h"

#include <cstdint>

#include "mexrt/text.h"

namespace mexrt::detail {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void appendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16(std::u16string &out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
    return;
  }
  c -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (c >> 10));
  out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of a sequence led by b, 0 for a byte that never leads one.
int sequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// The second byte's narrower range after some leads rules out overlong forms, encoded
// surrogates and code points beyond U+10FFFF.
bool validSecond(unsigned char lead, unsigned char b) {
  switch (lead) {
    case 0xE0:
      return b >= 0xA0 && b <= 0xBF;
    case 0xED:
      return b >= 0x80 && b <= 0x9F;
    case 0xF0:
      return b >= 0x90 && b <= 0xBF;
    case 0xF4:
      return b >= 0x80 && b <= 0x8F;
    default:
      return isContinuation(b);
  }
}

}  // namespace

std::string toUtf8(std::u16string_view codes) {
  std::string out;
  out.reserve(codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    char32_t c = codes[i];
    if (isHighSurrogate(c) && i + 1 < codes.size() && isLowSurrogate(codes[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (codes[i + 1] - 0xDC00);
      ++i;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      c = kReplacement;
    }
    appendUtf8(out, c);
  }
  return out;
}

// A broken sequence becomes one U+FFFD for its longest valid start, then decoding resumes at
// the byte that broke it, so one bad byte never swallows good text after it.
std::u16string fromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    int len = sequenceLength(lead);
    if (len == 1) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    if (len == 0) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    char32_t c = lead & (0xFF >> (len + 1));
    int taken = 1;
    for (; taken < len && i + taken < utf8.size(); ++taken) {
      auto b = static_cast<unsigned char>(utf8[i + taken]);
      bool ok = taken == 1 ? validSecond(lead, b) : isContinuation(b);
      if (!ok) break;
      c = (c << 6) | (b & 0x3F);
    }
    i += taken;
    appendUtf16(out, taken == len ? c : kReplacement);
  }
  return out;
}

}  // namespace mexrt::detail

// --- The public face of the conversions ---

namespace mexrt {

std::string utf8FromCodes(std::u16string_view codes) { return detail::toUtf8(codes); }

std::u16string codesFromUtf8(std::string_view utf8) { return detail::fromUtf8(utf8); }

}  // namespace mexrt
