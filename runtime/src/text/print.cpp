// The fprintf/sprintf engine: a format is parsed once into literal text and conversions, then
// rendered against one stream made of every argument's elements, recycled while elements remain.
#include "text/print.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <type_traits>
#include <vector>

#include "mexrt/error.h"

namespace mexrt {

// Out of line on purpose: the key function anchors Error's type information in this library,
// so every module that throws or catches it shares one definition.
Error::~Error() = default;

}  // namespace mexrt

namespace mexrt::detail {

std::size_t ValueView::numel() const {
  if (dims.empty()) return 0;
  std::size_t n = 1;
  for (std::size_t d : dims) n *= d;
  return n;
}

namespace {

// Element i of an integer view, widened to 64 bits of its signedness.
template <class T>
T integerAt(const ValueView &v, std::size_t i) {
  using S = std::conditional_t<std::is_signed_v<T>, std::int8_t, std::uint8_t>;
  using M = std::conditional_t<std::is_signed_v<T>, std::int16_t, std::uint16_t>;
  using L = std::conditional_t<std::is_signed_v<T>, std::int32_t, std::uint32_t>;
  switch (v.integerBytes) {
    case 1:
      return static_cast<const S *>(v.integers)[i];
    case 2:
      return static_cast<const M *>(v.integers)[i];
    case 4:
      return static_cast<const L *>(v.integers)[i];
    default:
      return static_cast<const T *>(v.integers)[i];
  }
}

}  // namespace

double ValueView::number(std::size_t i) const {
  switch (kind) {
    case Kind::Char:
      return chars[i];
    case Kind::Logical:
      return logicals[i] ? 1.0 : 0.0;
    case Kind::Single:
      return singles[i];
    case Kind::Integer:
      return integerSigned ? static_cast<double>(integerAt<std::int64_t>(*this, i))
                           : static_cast<double>(integerAt<std::uint64_t>(*this, i));
    case Kind::Double:
      break;
  }
  return reals[i];
}

bool ValueView::hasData() const {
  switch (kind) {
    case Kind::Char:
      return chars != nullptr;
    case Kind::Logical:
      return logicals != nullptr;
    case Kind::Single:
      return singles != nullptr;
    case Kind::Integer:
      return integers != nullptr;
    case Kind::Double:
      break;
  }
  return reals && (!complex || imags);
}

std::string ValueView::integerText(std::size_t i) const {
  return integerSigned ? std::to_string(integerAt<std::int64_t>(*this, i))
                       : std::to_string(integerAt<std::uint64_t>(*this, i));
}

namespace {

// Widths and precisions beyond this are refused: no sane format needs them, and they would
// let one conversion allocate without bound.
constexpr int kMaxField = 10000;

// One conversion as written: flags, width, precision (-1 when absent) and the conversion.
struct Directive {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool zero = false;
  bool alt = false;
  int width = -1;
  int precision = -1;
  bool widthFromArg = false;
  bool precisionFromArg = false;
  char subtype = 0;  // 'b' (bits of a double) or 't' (bits of a single), for o u x X
  char conv = 'd';
};

// Literal text followed by at most one conversion; a format is a list of these.
struct Piece {
  std::u16string literal;
  std::optional<Directive> directive;
};

[[noreturn]] void fail(std::u16string_view written, const char *why) {
  throw Error("Invalid format '" + toUtf8(written) + "': " + why + ".");
}

bool isOctal(char16_t c) { return c >= u'0' && c <= u'7'; }

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class FormatParser {
 public:
  explicit FormatParser(std::u16string_view format) : f_(format) {}

  std::vector<Piece> parse() {
    std::vector<Piece> pieces(1);
    while (pos_ < f_.size()) {
      char16_t c = f_[pos_];
      if (c == u'\\') {
        escape(pieces.back().literal);
      } else if (c == u'%' && pos_ + 1 < f_.size() && f_[pos_ + 1] == u'%') {
        pieces.back().literal += u'%';
        pos_ += 2;
      } else if (c == u'%') {
        pieces.back().directive = conversion();
        pieces.emplace_back();
      } else {
        pieces.back().literal += c;
        ++pos_;
      }
    }
    return pieces;
  }

 private:
  // pos_ is at a backslash. An escape this engine does not know keeps its backslash, and the
  // character after it is read as ordinary format text.
  void escape(std::u16string &out) {
    ++pos_;
    if (pos_ >= f_.size()) {
      out += u'\\';
      return;
    }
    char16_t c = f_[pos_];
    if (char16_t simple = simpleEscape(c)) {
      out += simple;
      ++pos_;
      return;
    }
    if (c == u'x' && pos_ + 1 < f_.size() && hexValue(f_[pos_ + 1]) >= 0) {
      ++pos_;
      out += readNumber(16, 4);
      return;
    }
    if (isOctal(c)) {
      out += readNumber(8, 3);
      return;
    }
    out += u'\\';
  }

  static char16_t simpleEscape(char16_t c) {
    switch (c) {
      case u'n':
        return u'\n';
      case u't':
        return u'\t';
      case u'\\':
        return u'\\';
      case u'r':
        return u'\r';
      case u'a':
        return u'\a';
      case u'b':
        return u'\b';
      case u'f':
        return u'\f';
      case u'v':
        return u'\v';
      default:
        return 0;
    }
  }

  char16_t readNumber(int base, int maxDigits) {
    unsigned value = 0;
    for (int n = 0; n < maxDigits && pos_ < f_.size(); ++n) {
      int d = base == 16 ? hexValue(f_[pos_]) : (isOctal(f_[pos_]) ? f_[pos_] - u'0' : -1);
      if (d < 0) break;
      value = value * base + d;
      ++pos_;
    }
    return static_cast<char16_t>(value);
  }

  // pos_ is at the '%' of a conversion (not of "%%").
  Directive conversion() {
    start_ = pos_++;
    Directive s;
    readFlags(s);
    s.width = readField(s.widthFromArg, "width");
    if (at(u'.')) {
      ++pos_;
      s.precision = readField(s.precisionFromArg, "precision");
      if (s.precision < 0 && !s.precisionFromArg) s.precision = 0;  // "%.f" means precision 0
    }
    skipLengthModifiers();
    if (at(u'b') || at(u't')) s.subtype = static_cast<char>(f_[pos_++]);
    if (pos_ >= f_.size()) fail(written(), "the conversion is incomplete");
    char16_t c = f_[pos_++];
    if (!isConversion(c)) fail(written(), "unknown conversion character");
    s.conv = static_cast<char>(c);
    if (s.subtype && !isUnsignedConv(s.conv)) {
      fail(written(), "the b and t subtypes apply only to o, u, x and X");
    }
    return s;
  }

  bool at(char16_t c) const { return pos_ < f_.size() && f_[pos_] == c; }

  void readFlags(Directive &s) {
    for (; pos_ < f_.size(); ++pos_) {
      switch (f_[pos_]) {
        case u'-':
          s.left = true;
          break;
        case u'+':
          s.plus = true;
          break;
        case u' ':
          s.space = true;
          break;
        case u'0':
          s.zero = true;
          break;
        case u'#':
          s.alt = true;
          break;
        default:
          return;
      }
    }
  }

  // A run of digits, or '*' for a value taken from the arguments; -1 when neither is there.
  int readField(bool &fromArg, const char *what) {
    if (at(u'*')) {
      ++pos_;
      fromArg = true;
      return -1;
    }
    if (pos_ >= f_.size() || f_[pos_] < u'0' || f_[pos_] > u'9') return -1;
    long value = 0;
    for (; pos_ < f_.size() && f_[pos_] >= u'0' && f_[pos_] <= u'9'; ++pos_) {
      value = value * 10 + (f_[pos_] - u'0');
      if (value > kMaxField) {
        while (pos_ < f_.size() && f_[pos_] >= u'0' && f_[pos_] <= u'9') ++pos_;
        fail(written(), what == std::string_view("width") ? "the width is too large"
                                                          : "the precision is too large");
      }
    }
    return static_cast<int>(value);
  }

  // C's length modifiers carry no meaning here: every value is a double.
  void skipLengthModifiers() {
    while (at(u'l') || at(u'h')) ++pos_;
  }

  static bool isConversion(char16_t c) {
    return c < 0x80 &&
           std::string_view("diouxXfeEgGcs").find(static_cast<char>(c)) != std::string_view::npos;
  }

  static bool isUnsignedConv(char c) { return c == 'o' || c == 'u' || c == 'x' || c == 'X'; }

  std::u16string_view written() const { return f_.substr(start_, pos_ - start_); }

  std::u16string_view f_;
  std::size_t pos_ = 0;
  std::size_t start_ = 0;
};

// Every argument's elements in order, each array column-major; empty arrays add nothing.
class ArgStream {
 public:
  explicit ArgStream(std::span<const ValueView> args) : args_(args) { skipSpent(); }

  bool exhausted() const { return arg_ >= args_.size(); }
  bool nextIsChar() const { return args_[arg_].kind == ValueView::Kind::Char; }

  double takeNumber() {
    double v = args_[arg_].number(elem_++);
    skipSpent();
    return v;
  }

  // The rest of the current char array, which %s prints whole.
  std::u16string_view takeText() {
    const ValueView &a = args_[arg_];
    std::u16string_view text(a.chars + elem_, a.numel() - elem_);
    elem_ = a.numel();
    skipSpent();
    return text;
  }

 private:
  void skipSpent() {
    while (arg_ < args_.size() && elem_ >= args_[arg_].numel()) {
      ++arg_;
      elem_ = 0;
    }
  }

  std::span<const ValueView> args_;
  std::size_t arg_ = 0;
  std::size_t elem_ = 0;
};

bool isWhole(double v) { return std::isfinite(v) && v == std::trunc(v); }

void appendAscii(std::u16string &out, std::string_view text) {
  for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
}

// Text padded with spaces to the width, on the left unless '-' was given.
void appendPadded(const Directive &s, std::u16string_view text, std::u16string &out) {
  std::size_t pad = s.width > 0 && text.size() < static_cast<std::size_t>(s.width)
                        ? static_cast<std::size_t>(s.width) - text.size()
                        : 0;
  if (!s.left) out.append(pad, u' ');
  out += text;
  if (s.left) out.append(pad, u' ');
}

// Inf, -Inf and NaN read the same under every numeric conversion.
void appendNonFinite(const Directive &s, double v, std::u16string &out) {
  std::u16string text;
  if (std::isnan(v)) {
    text = u"NaN";
  } else {
    text = v < 0 ? u"-Inf" : (s.plus ? u"+Inf" : (s.space ? u" Inf" : u"Inf"));
  }
  appendPadded(s, text, out);
}

// A floating conversion through snprintf, with a format built here from validated pieces.
void appendFloat(const Directive &s, char conv, double v, std::u16string &out) {
  if (!std::isfinite(v)) return appendNonFinite(s, v, out);
  std::string fmt = "%";
  if (s.left) fmt += '-';
  if (s.plus) fmt += '+';
  if (s.space) fmt += ' ';
  if (s.zero) fmt += '0';
  if (s.alt) fmt += '#';
  if (s.width > 0) fmt += std::to_string(s.width);
  if (s.precision >= 0) fmt += "." + std::to_string(s.precision);
  fmt += conv;
  int n = std::snprintf(nullptr, 0, fmt.c_str(), v);
  if (n <= 0) return;
  std::string buf(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(buf.data(), buf.size(), fmt.c_str(), v);
  buf.resize(static_cast<std::size_t>(n));
  appendAscii(out, buf);
}

std::string digitsOf(std::uint64_t v, int base, bool upper) {
  char buf[72];
  auto end = std::to_chars(buf, buf + sizeof buf, v, base).ptr;
  std::string s(buf, end);
  if (upper) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

// Decimal digits of a whole magnitude too large for 64 bits; %.0f of a whole double is exact.
std::string bigDigits(double magnitude) {
  int n = std::snprintf(nullptr, 0, "%.0f", magnitude);
  std::string buf(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(buf.data(), buf.size(), "%.0f", magnitude);
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

// Sign, base prefix, precision zeros and width padding around the digits, as C lays them out.
void appendInteger(const Directive &s, bool negative, std::string digits, std::u16string &out) {
  if (s.precision == 0 && digits == "0") digits.clear();
  if (s.precision > 0 && digits.size() < static_cast<std::size_t>(s.precision)) {
    digits.insert(0, static_cast<std::size_t>(s.precision) - digits.size(), '0');
  }
  std::string prefix;
  bool isSigned = s.conv == 'd' || s.conv == 'i';
  if (negative) {
    prefix = "-";
  } else if (isSigned && s.plus) {
    prefix = "+";
  } else if (isSigned && s.space) {
    prefix = " ";
  }
  if (s.alt && s.conv == 'o' && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
  if (s.alt && (s.conv == 'x' || s.conv == 'X') && !digits.empty() && digits != "0") {
    prefix += s.conv == 'x' ? "0x" : "0X";
  }
  std::size_t len = prefix.size() + digits.size();
  std::size_t pad = s.width > 0 && len < static_cast<std::size_t>(s.width)
                        ? static_cast<std::size_t>(s.width) - len
                        : 0;
  if (s.left) return appendAscii(out, prefix + digits + std::string(pad, ' '));
  if (s.zero && s.precision < 0) return appendAscii(out, prefix + std::string(pad, '0') + digits);
  appendAscii(out, std::string(pad, ' ') + prefix + digits);
}

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

void appendBits(const Directive &s, double v, std::u16string &out) {
  std::uint64_t bits = s.subtype == 'b' ? std::bit_cast<std::uint64_t>(v)
                                        : std::bit_cast<std::uint32_t>(static_cast<float>(v));
  int base = s.conv == 'o' ? 8 : (s.conv == 'u' ? 10 : 16);
  appendInteger(s, false, digitsOf(bits, base, s.conv == 'X'), out);
}

// d i u o x X. A value these cannot show exactly (not whole, or negative for the unsigned
// ones) is printed as %e with the same flags, which is what the host language does.
void appendIntegerConv(const Directive &s, double v, std::u16string &out) {
  if (s.subtype) return appendBits(s, v, out);
  if (!std::isfinite(v)) return appendNonFinite(s, v, out);
  if (!isWhole(v)) return appendFloat(s, 'e', v, out);
  bool isSigned = s.conv == 'd' || s.conv == 'i';
  if (isSigned) {
    double mag = std::fabs(v);
    std::string digits =
        mag < kTwo64 ? digitsOf(static_cast<std::uint64_t>(mag), 10, false) : bigDigits(mag);
    return appendInteger(s, v < 0, digits, out);
  }
  if (v < 0) return appendFloat(s, 'e', v, out);
  int base = s.conv == 'o' ? 8 : (s.conv == 'u' ? 10 : 16);
  if (v < kTwo64) {
    return appendInteger(s, false, digitsOf(static_cast<std::uint64_t>(v), base, s.conv == 'X'),
                         out);
  }
  if (base == 10) return appendInteger(s, false, bigDigits(v), out);
  appendFloat(s, 'e', v, out);
}

// %c and %s of a number: the character with that code when it is one, otherwise %e.
void appendCharCode(const Directive &s, double v, std::u16string &out) {
  if (!isWhole(v) || v < 0 || v > 0xFFFF) return appendFloat(s, 'e', v, out);
  char16_t c = static_cast<char16_t>(v);
  appendPadded(s, std::u16string_view(&c, 1), out);
}

void appendText(const Directive &s, std::u16string_view text, std::u16string &out) {
  if (s.precision >= 0 && text.size() > static_cast<std::size_t>(s.precision)) {
    text = text.substr(0, static_cast<std::size_t>(s.precision));
  }
  appendPadded(s, text, out);
}

// A width or precision given by '*': a whole number within bounds. A negative width means
// left-justified; a negative precision means none, as in C.
void resolveStars(Directive &s, ArgStream &stream, bool &ranOut) {
  auto take = [&](const char *what) {
    double v = stream.takeNumber();
    if (!isWhole(v) || std::fabs(v) > kMaxField) {
      throw Error(std::string("Invalid format: the ") + what +
                  " given by '*' must be a whole number of at most 10000.");
    }
    return static_cast<int>(v);
  };
  if (s.widthFromArg) {
    if (stream.exhausted()) return void(ranOut = true);
    s.width = take("width");
    if (s.width < 0) {
      s.left = true;
      s.width = -s.width;
    }
  }
  if (s.precisionFromArg) {
    if (stream.exhausted()) return void(ranOut = true);
    s.precision = take("precision");
    if (s.precision < 0) s.precision = -1;
  }
  if (stream.exhausted()) ranOut = true;
}

// One conversion against the stream; false when the stream ran out before its value.
bool renderConversion(Directive s, ArgStream &stream, std::u16string &out) {
  bool ranOut = false;
  resolveStars(s, stream, ranOut);
  if (ranOut) return false;
  if (s.conv == 's' && stream.nextIsChar()) {
    appendText(s, stream.takeText(), out);
    return true;
  }
  double v = stream.takeNumber();
  switch (s.conv) {
    case 'c':
    case 's':
      appendCharCode(s, v, out);
      break;
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      appendIntegerConv(s, v, out);
      break;
    default:
      appendFloat(s, s.conv, v, out);
      break;
  }
  return true;
}

void checkViews(std::span<const ValueView> args) {
  for (const ValueView &a : args) {
    if (a.numel() == 0) continue;
    if (!a.hasData()) throw Error("sprintf: an argument has elements but no data.");
  }
}

}  // namespace

std::string formatPrintf(std::u16string_view format, std::span<const ValueView> args) {
  checkViews(args);
  std::vector<Piece> pieces = FormatParser(format).parse();
  std::u16string out;
  ArgStream stream(args);
  bool hasConversion = pieces.size() > 1;
  // Without elements, or without conversions, the format is printed once and its
  // conversions print nothing.
  if (stream.exhausted() || !hasConversion) {
    for (const Piece &p : pieces) out += p.literal;
    return toUtf8(out);
  }
  // Every pass consumes at least one element, so this ends.
  while (true) {
    for (const Piece &p : pieces) {
      out += p.literal;
      if (!p.directive) continue;
      if (stream.exhausted() || !renderConversion(*p.directive, stream, out)) return toUtf8(out);
    }
    if (stream.exhausted()) return toUtf8(out);
  }
}

}  // namespace mexrt::detail
