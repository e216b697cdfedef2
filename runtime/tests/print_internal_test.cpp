// Tests of the print engine (sprintf/fprintf formats), the short display format and UTF-8.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "text/print.h"

namespace mexrt::detail {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

// An array owned by the test, from which a ValueView is taken.
struct Arg {
  ValueView::Kind kind = ValueView::Kind::Double;
  std::vector<std::size_t> dims;
  std::vector<double> reals;
  std::u16string chars;
  std::vector<std::uint8_t> logicals;
  std::vector<double> imags;
  bool complex = false;

  ValueView view() const {
    ValueView v;
    v.kind = kind;
    v.dims = dims;
    v.reals = reals.data();
    v.chars = chars.data();
    v.logicals = logicals.data();
    v.complex = complex;
    v.imags = imags.data();
    return v;
  }
};

Arg mat(std::size_t rows, std::size_t cols, std::vector<double> columnMajor) {
  return Arg{ValueView::Kind::Double, {rows, cols}, std::move(columnMajor), {}, {}};
}
Arg row(std::vector<double> values) {
  std::size_t n = values.size();
  return mat(1, n, std::move(values));
}
Arg num(double v) { return row({v}); }
Arg nd(std::vector<std::size_t> dims, std::vector<double> values) {
  return Arg{ValueView::Kind::Double, std::move(dims), std::move(values), {}, {}};
}
Arg str(std::u16string text, std::size_t rows = 1) {
  std::size_t cols = rows ? text.size() / rows : 0;
  return Arg{ValueView::Kind::Char, {rows, cols}, {}, std::move(text), {}};
}
// A complex array of any size, its parts in column-major order.
Arg cnd(std::vector<std::size_t> dims, std::vector<double> re, std::vector<double> im) {
  Arg a{ValueView::Kind::Double, std::move(dims), std::move(re), {}, {}};
  a.imags = std::move(im);
  a.complex = true;
  return a;
}
Arg cmat(std::size_t rows, std::size_t cols, std::vector<double> re, std::vector<double> im) {
  return cnd({rows, cols}, std::move(re), std::move(im));
}
Arg cnum(double re, double im) { return cmat(1, 1, {re}, {im}); }
Arg logical(std::vector<std::uint8_t> values) {
  std::size_t n = values.size();
  return Arg{ValueView::Kind::Logical, {1, n}, {}, {}, std::move(values)};
}

std::string sprintf(std::u16string_view format, const std::vector<Arg> &args) {
  std::vector<ValueView> views;
  for (const Arg &a : args) views.push_back(a.view());
  return formatPrintf(format, views);
}

struct PrintCase {
  std::u16string format;
  std::vector<Arg> args;
  std::string expected;
};

TEST(FormatPrintf, RendersFormatsAsTheHostDoes) {
  const std::vector<PrintCase> cases = {
      // The toolbox's own report lines.
      {u"Designing a mel-spaced filterbank with %d channels.\\n",
       {num(2)},
       "Designing a mel-spaced filterbank with 2 channels.\n"},
      {u"Frame length will be %d (zero padded up from %d).\\n",
       {num(8), num(6)},
       "Frame length will be 8 (zero padded up from 6).\n"},
      // Every conversion.
      {u"%d", {num(42)}, "42"},
      {u"%i", {num(-7)}, "-7"},
      {u"%u", {num(7)}, "7"},
      {u"%f", {num(kPi)}, "3.141593"},
      {u"%e", {num(kPi)}, "3.141593e+00"},
      {u"%E", {num(-kPi)}, "-3.141593E+00"},
      {u"%g", {num(0.0001)}, "0.0001"},
      {u"%g", {num(1e-5)}, "1e-05"},
      {u"%G", {num(1e-5)}, "1E-05"},
      {u"%x", {num(255)}, "ff"},
      {u"%X", {num(255)}, "FF"},
      {u"%o", {num(8)}, "10"},
      {u"%c", {num(65)}, "A"},
      {u"%s", {str(u"abc")}, "abc"},
      {u"%ld %hd", {num(5), num(6)}, "5 6"},
      {u"%bx", {num(1)}, "3ff0000000000000"},
      {u"%tx", {num(1)}, "3f800000"},
      // Flags, width, precision.
      {u"%5d|", {num(42)}, "   42|"},
      {u"%-5d|", {num(42)}, "42   |"},
      {u"%05d", {num(42)}, "00042"},
      {u"%05d", {num(-42)}, "-0042"},
      {u"%-05d|", {num(42)}, "42   |"},
      {u"%+d % d", {num(5), num(5)}, "+5  5"},
      {u"%+u", {num(5)}, "5"},
      {u"%#x %#X %#o", {num(255), num(255), num(8)}, "0xff 0XFF 010"},
      {u"%.3d", {num(7)}, "007"},
      {u"%6.3d|", {num(-7)}, "  -007|"},
      {u"%08.3f", {num(kPi)}, "0003.142"},
      {u"%-10.2e|", {num(kPi)}, "3.14e+00  |"},
      {u"%+.2f", {num(-1.5)}, "-1.50"},
      {u"%.f|%#.0f", {num(2.5), num(3)}, "2|3."},
      {u"%#g", {num(1)}, "1.00000"},
      {u"%.3s|%5s|%-5s|", {str(u"abcdef"), str(u"ab"), str(u"ab")}, "abc|   ab|ab   |"},
      {u"%5c|", {str(u"a")}, "    a|"},
      // Widths and precisions from the arguments, a negative width meaning left-justified.
      {u"%*d|", {num(5), num(42)}, "   42|"},
      {u"%*d|", {num(-4), num(42)}, "42  |"},
      {u"%.*f", {num(2), num(kPi)}, "3.14"},
      {u"%*.*f", {row({8, 3, kPi})}, "   3.142"},
      {u"%.*f", {num(-1), num(kPi)}, "3.141593"},
      {u"[%*d]", {row({3, 1, 3})}, "[  1]["},
      // Escapes.
      {u"a\\nb\\tc", {}, "a\nb\tc"},
      {u"\\\\ \\r\\a\\b\\f\\v", {}, "\\ \r\a\b\f\v"},
      {u"\\x41\\x263A", {}, "A\xE2\x98\xBA"},
      {u"\\101\\60", {}, "A0"},
      {u"100%%", {}, "100%"},
      {u"\\q\\xg", {}, "\\q\\xg"},
      {u"end\\", {}, "end\\"},
      {u"%s", {str(u"\\n")}, "\\n"},  // escapes belong to the format, not the data
      // Recycling, and running out of arguments.
      {u"%d,", {row({1, 2, 3})}, "1,2,3,"},
      {u"%d %d\\n", {row({1, 2, 3})}, "1 2\n3 "},
      {u"[%d]", {num(1), row({2, 3})}, "[1][2][3]"},
      {u"%d", {mat(2, 2, {1, 2, 3, 4})}, "1234"},
      {u"%d and %d", {num(1)}, "1 and "},
      {u"a%db", {}, "ab"},
      {u"%s\\n", {}, "\n"},
      {u"abc", {num(1), num(2)}, "abc"},
      {u"%d|", {row({})}, "|"},
      {u"%s and %s", {str(u"a"), str(u"")}, "a and "},
      {u"<%d>", {row({}), num(4), row({})}, "<4>"},
      // Values an integer conversion cannot show exactly.
      {u"%d", {num(1.5)}, "1.500000e+00"},
      {u"%d", {num(kPi)}, "3.141593e+00"},
      {u"%8.2d|", {num(kPi)}, "3.14e+00|"},
      {u"%10.2i|", {num(-kPi)}, " -3.14e+00|"},
      {u"%x", {num(-1)}, "-1.000000e+00"},
      {u"%u", {num(-3)}, "-3.000000e+00"},
      {u"%d", {num(1e20)}, "100000000000000000000"},
      {u"%d", {num(-1e20)}, "-100000000000000000000"},
      {u"%d", {num(-9223372036854775808.0)}, "-9223372036854775808"},
      {u"%u %x",
       {num(9223372036854775808.0), num(9223372036854775808.0)},
       "9223372036854775808 8000000000000000"},
      {u"%d", {num(-0.0)}, "0"},
      // Inf and NaN under every numeric conversion.
      {u"%d %i %u %x %o", {row({kInf, -kInf, kNaN, kInf, kNaN})}, "Inf -Inf NaN Inf NaN"},
      {u"%f %e %g", {row({-kInf, kNaN, kInf})}, "-Inf NaN Inf"},
      {u"%5.2f|%-6d|%05d", {row({kNaN, kInf, -kInf})}, "  NaN|Inf   | -Inf"},
      {u"%+d", {num(kInf)}, "+Inf"},
      {u"%s %c", {num(kNaN), num(kInf)}, "NaN Inf"},
      // Char and numeric arguments mixed.
      {u"%d", {str(u"ab")}, "9798"},
      {u"%c|", {str(u"ab")}, "a|b|"},
      {u"%d %s", {str(u"abc")}, "97 bc"},
      {u"%s=%d ", {str(u"x"), num(3), str(u"yz"), num(4)}, "x=3 yz=4 "},
      {u"%s", {str(u"acbd", 2)}, "acbd"},
      {u"%s", {row({72, 105})}, "Hi"},
      {u"%s", {num(1.5)}, "1.500000e+00"},
      {u"%s", {num(-1)}, "-1.000000e+00"},
      {u"%c", {num(233)}, "\xC3\xA9"},
      {u"%s", {str(u"\u00e9t\u00e9")}, "\xC3\xA9t\xC3\xA9"},
      {u"%d%d", {logical({1, 0})}, "10"},
      {u"%s", {logical({1})}, "\x01"},
  };
  for (const PrintCase &c : cases) {
    std::string format = toUtf8(c.format);
    try {
      EXPECT_EQ(sprintf(c.format, c.args), c.expected) << "format: " << format;
    } catch (const Error &e) {
      ADD_FAILURE() << "format: " << format << " raised: " << e.what();
    }
  }
}

TEST(FormatPrintf, RefusesMalformedFormats) {
  const std::vector<PrintCase> cases = {
      {u"%", {num(1)}, ""},
      {u"abc%", {}, ""},
      {u"%q", {num(1)}, ""},
      {u"%5.", {num(1)}, ""},
      {u"%-", {num(1)}, ""},
      {u"%5.2", {}, ""},
      {u"%ll", {num(1)}, ""},
      {u"%n", {num(1)}, ""},
      {u"%1$d", {num(1)}, ""},
      {u"%bd", {num(1)}, ""},
      {u"%999999999d", {num(1)}, ""},
      {u"%99999999999999999999999d", {num(1)}, ""},
      {u"%10001d", {num(1)}, ""},
      {u"%.10001f", {num(1)}, ""},
      {u"%*d", {num(20000), num(1)}, ""},
      {u"%.*f", {num(-20000), num(1)}, ""},
      {u"%*d", {num(1.5), num(1)}, ""},
      {u"%*d", {num(kNaN), num(1)}, ""},
      {u"ok %d then %\u00e9", {num(1)}, ""},
  };
  for (const PrintCase &c : cases) {
    EXPECT_THROW(sprintf(c.format, c.args), Error) << "format: " << toUtf8(c.format);
  }
}

TEST(FormatPrintf, AcceptsTheLargestAllowedField) {
  std::string out = sprintf(u"%10000d|%.10000f", {num(1), num(1)});
  EXPECT_EQ(out.size(), 10000u + 1 + 2 + 10000);
  EXPECT_EQ(out.substr(9998, 3), " 1|");
}

struct DisplayCase {
  const char *label;
  Arg value;
  std::string disp;   // what disp prints
  std::string named;  // what "x = ..." prints; empty to skip
};

TEST(Display, ShowsValuesInTheShortFormat) {
  std::vector<double> ramp14, halves14;
  for (int k = 1; k <= 14; ++k) {
    ramp14.push_back(k);
    halves14.push_back(k + 0.5);
  }
  const std::vector<DisplayCase> cases = {
      {"integer scalar", num(5), "     5\n", "x =\n\n     5\n\n"},
      {"integer row", row({1, 2, 3}), "     1     2     3\n", ""},
      {"integer widths", row({1, 100}), "     1   100\n", ""},
      {"negative integer", row({-1, 2}), "    -1     2\n", ""},
      {"negative zero", num(-0.0), "     0\n", ""},
      {"thousands widen the field", row({1, 1000}), "           1        1000\n", ""},
      {"large integer scalar", num(123456789), "   123456789\n", ""},
      {"column", mat(2, 1, {1, 2}), "     1\n     2\n", ""},
      {"matrix column-major", mat(2, 2, {1, 2, 3, 4}), "     1     3\n     2     4\n", ""},
      {"half", num(0.5), "    0.5000\n", "x =\n\n    0.5000\n\n"},
      {"pi", num(kPi), "    3.1416\n", ""},
      {"negative fraction", num(-0.5), "   -0.5000\n", ""},
      {"fraction row", row({1.5, -2.25}), "    1.5000   -2.2500\n", ""},
      {"exact zero among fractions", row({0, 0.5}), "         0    0.5000\n", ""},
      {"tiny next to one", row({0.00001, 1}), "    0.0000    1.0000\n", ""},
      {"scale factor up", row({1.5, 1000.3}), "   1.0e+03 *\n\n    0.0015    1.0003\n",
       "x =\n\n   1.0e+03 *\n\n    0.0015    1.0003\n\n"},
      {"scale factor down", row({1e-4, 2.5e-4}), "   1.0e-04 *\n\n    1.0000    2.5000\n", ""},
      {"huge integers scale", row({1, 1e10}), "   1.0e+10 *\n\n    0.0000    1.0000\n", ""},
      {"large scalar", num(1e10), "   1.0000e+10\n", ""},
      {"small scalar", num(1e-5), "   1.0000e-05\n", ""},
      {"negative large scalar", num(-1234.5), "  -1.2345e+03\n", ""},
      {"thousand as fraction", num(999.5), "  999.5000\n", ""},
      {"NaN", num(kNaN), "   NaN\n", ""},
      {"Inf", num(-kInf), "  -Inf\n", ""},
      {"integers with Inf NaN", row({1, kNaN, -kInf}), "     1   NaN  -Inf\n", ""},
      {"fractions with Inf", row({1.5, kInf}), "    1.5000       Inf\n", ""},
      {"logical", logical({1, 0, 1}), "     1     0     1\n", ""},
      {"empty", row({}), "", "x =\n\n   Empty matrix: 1-by-0\n\n"},
      {"0x0 empty", mat(0, 0, {}), "", "x =\n\n     []\n\n"},
      {"0x3 empty", mat(0, 3, {}), "", "x =\n\n   Empty matrix: 0-by-3\n\n"},
      {"empty text", str(u"", 0), "", "x =\n\n     ''\n\n"},
      {"text", str(u"hello"), "hello\n", "x =\n\nhello\n\n"},
      {"two-row text", str(u"acbd", 2), "ab\ncd\n", "x =\n\nab\ncd\n\n"},
      {"text as UTF-8", str(u"caf\u00e9"), "caf\xC3\xA9\n", ""},
      {"pages", nd({1, 2, 2}, {1, 2, 3, 4}),
       "(:,:,1) =\n\n     1     2\n\n(:,:,2) =\n\n     3     4\n\n",
       "x(:,:,1) =\n\n     1     2\n\nx(:,:,2) =\n\n     3     4\n\n"},
      {"four-dim pages", nd({1, 1, 1, 2}, {7, 8}),
       "(:,:,1,1) =\n\n     7\n\n(:,:,1,2) =\n\n     8\n\n",
       "x(:,:,1,1) =\n\n     7\n\nx(:,:,1,2) =\n\n     8\n\n"},
      {"trailing singleton", nd({1, 2, 1}, {1, 2}), "     1     2\n", ""},
      {"integer column blocks", row(ramp14),
       "  Columns 1 through 13\n\n"
       "     1     2     3     4     5     6     7     8     9    10    11    12    13\n"
       "\n  Column 14\n\n    14\n",
       ""},
      {"fraction column blocks", row(halves14),
       "  Columns 1 through 8\n\n"
       "    1.5000    2.5000    3.5000    4.5000    5.5000    6.5000    7.5000    8.5000\n"
       "\n  Columns 9 through 14\n\n"
       "    9.5000   10.5000   11.5000   12.5000   13.5000   14.5000\n",
       "x =\n\n  Columns 1 through 8\n\n"
       "    1.5000    2.5000    3.5000    4.5000    5.5000    6.5000    7.5000    8.5000\n"
       "\n  Columns 9 through 14\n\n"
       "    9.5000   10.5000   11.5000   12.5000   13.5000   14.5000\n\n"},
  };
  for (const DisplayCase &c : cases) {
    ValueView v = c.value.view();
    EXPECT_EQ(displayValue(v), c.disp) << "disp of " << c.label;
    if (!c.named.empty()) {
      EXPECT_EQ(displayNamed("x", v), c.named) << "display of " << c.label;
    }
  }
}

TEST(Display, ShowsComplexValuesInTheShortFormat) {
  const std::vector<DisplayCase> cases = {
      {"scalar", cnum(3, 4), "   3.0000 + 4.0000i\n", "x =\n\n   3.0000 + 4.0000i\n\n"},
      {"log(-1)", cnum(0, kPi), "   0.0000 + 3.1416i\n", ""},
      {"negative imaginary part", cnum(1, -2), "   1.0000 - 2.0000i\n", ""},
      {"negative real part", cnum(-1.5, 0.25), "  -1.5000 + 0.2500i\n", ""},
      {"two-digit imaginary part", cnum(1, 10), "   1.0000 +10.0000i\n", ""},
      {"negative zero imaginary part", cnum(1, -0.0), "   1.0000 - 0.0000i\n", ""},
      {"negative zero real part", cnum(-0.0, 0), "   0.0000 + 0.0000i\n", ""},
      {"Inf and NaN", cnum(kInf, kNaN), "   Inf + NaNi\n", ""},
      {"minus Inf parts", cnum(-kInf, -kInf), "  -Inf - Infi\n", ""},
      {"large scalar", cnum(1e5, 1), "   1.0000e+05 + 1.0000e+00i\n", ""},
      {"small scalar", cnum(1e-5, -2e-5), "   1.0000e-05 - 2.0000e-05i\n", ""},
      {"matrix", cmat(2, 2, {1, -5, 3, 7}, {2, 6, -4, 0}),
       "   1.0000 + 2.0000i   3.0000 - 4.0000i\n  -5.0000 + 6.0000i   7.0000 + 0.0000i\n", ""},
      {"two-digit real parts", cmat(1, 4, {10, -2, -2, -2}, {0, 2, 0, -2}),
       "  10.0000 + 0.0000i  -2.0000 + 2.0000i  -2.0000 + 0.0000i  -2.0000 - 2.0000i\n", ""},
      {"wide imaginary column", cmat(2, 1, {1, 2}, {10, 3}),
       "   1.0000 +10.0000i\n   2.0000 + 3.0000i\n", ""},
      {"scale factor", cmat(1, 2, {1000.5, 2}, {1, 0}),
       "   1.0e+03 *\n\n   1.0005 + 0.0010i   0.0020 + 0.0000i\n",
       "x =\n\n   1.0e+03 *\n\n   1.0005 + 0.0010i   0.0020 + 0.0000i\n\n"},
      {"non-finite parts keep the columns", cmat(1, 2, {1, kNaN}, {1, kInf}),
       "   1.0000 + 1.0000i      NaN +    Infi\n", ""},
      {"column blocks", cmat(1, 5, {1, 2, 3, 4, 5}, {1, 1, 1, 1, 1}),
       "  Columns 1 through 4\n\n"
       "   1.0000 + 1.0000i   2.0000 + 1.0000i   3.0000 + 1.0000i   4.0000 + 1.0000i\n"
       "\n  Column 5\n\n   5.0000 + 1.0000i\n",
       ""},
      {"pages", cnd({1, 1, 2}, {1, 2}, {1, -1}),
       "(:,:,1) =\n\n   1.0000 + 1.0000i\n\n(:,:,2) =\n\n   2.0000 - 1.0000i\n\n", ""},
      {"empty", cmat(0, 3, {}, {}), "", "x =\n\n   Empty matrix: 0-by-3\n\n"},
  };
  for (const DisplayCase &c : cases) {
    ValueView v = c.value.view();
    EXPECT_EQ(displayValue(v), c.disp) << "disp of " << c.label;
    if (!c.named.empty()) {
      EXPECT_EQ(displayNamed("x", v), c.named) << "display of " << c.label;
    }
  }
}

// Numeric conversions print the real part of a complex argument, as the host language does.
TEST(FormatPrintf, PrintsTheRealPartsOfComplexArguments) {
  EXPECT_EQ(sprintf(u"%d %g|", {cmat(1, 2, {1, 3.5}, {2, -1})}), "1 3.5|");
  EXPECT_EQ(sprintf(u"%s=%f\\n", {str(u"z"), cnum(-0.5, 9)}), "z=-0.500000\n");
}

TEST(Utf8, ConvertsBothWays) {
  struct Case {
    const char *label;
    std::u16string codes;
    std::string utf8;
    bool roundTrips;
  };
  const std::vector<Case> cases = {
      {"ascii", u"abc", "abc", true},
      {"two bytes", u"\u00e9", "\xC3\xA9", true},
      {"three bytes", u"\u263A", "\xE2\x98\xBA", true},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80", true},
      {"NUL kept", std::u16string(1, u'\0'), std::string(1, '\0'), true},
      {"lone high half", std::u16string{0xD83D, u'a'},
       "\xEF\xBF\xBD"
       "a",
       false},
      {"lone low half", std::u16string{0xDE00}, "\xEF\xBF\xBD", false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(toUtf8(c.codes), c.utf8) << c.label;
    if (c.roundTrips) {
      EXPECT_EQ(fromUtf8(c.utf8), c.codes) << c.label;
    }
  }
}

TEST(Utf8, ReplacesInvalidBytes) {
  struct Case {
    const char *label;
    std::string utf8;
    std::u16string codes;
  };
  const std::vector<Case> cases = {
      {"stray byte",
       "a\xFF"
       "b",
       u"a\uFFFDb"},
      {"lone continuation", "\x80", u"\uFFFD"},
      {"truncated at end", "\xE2\x98", u"\uFFFD"},
      {"truncated before text",
       "\xE2\x98"
       "a",
       u"\uFFFDa"},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const Case &c : cases) EXPECT_EQ(fromUtf8(c.utf8), c.codes) << c.label;
}

}  // namespace
}  // namespace mexrt::detail
