// The numeric classes through the runtime's C API: conversions (rounding, saturation), the
// class arithmetic gives, comparisons of 64-bit integers, indexed stores, concatenation,
// display and the host-side calls for each class.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "mexrt/display.h"
#include "mexrt/matrix.h"

namespace {

using mexrt::test::errorOf;
using mexrt::test::row;
using mexrt::test::textOf;
using mexrt::test::tmp;
using mexrt::test::valuesOf;
using mexrt::test::Var;

mxArray *name(const char *text) { return tmp(mxCreateString(text)); }

// cast(row(values), cls) as a temporary.
mxArray *castRow(std::initializer_list<double> values, const char *cls) {
  return mlfCast(tmp(row(values)), name(cls));
}

// Element k of an array of class cls read through mxGetData, as long double (exact for
// every integer class).
long double elementOf(const mxArray *a, std::size_t k) {
  const void *p = mxGetData(a);
  switch (mxGetClassID(a)) {
    case mxINT8_CLASS:
      return static_cast<const int8_t *>(p)[k];
    case mxUINT8_CLASS:
      return static_cast<const uint8_t *>(p)[k];
    case mxINT16_CLASS:
      return static_cast<const int16_t *>(p)[k];
    case mxUINT16_CLASS:
      return static_cast<const uint16_t *>(p)[k];
    case mxINT32_CLASS:
      return static_cast<const int32_t *>(p)[k];
    case mxUINT32_CLASS:
      return static_cast<const uint32_t *>(p)[k];
    case mxINT64_CLASS:
      return static_cast<const int64_t *>(p)[k];
    case mxUINT64_CLASS:
      return static_cast<const uint64_t *>(p)[k];
    case mxSINGLE_CLASS:
      return static_cast<const float *>(p)[k];
    case mxCHAR_CLASS:
      return static_cast<const mxChar *>(p)[k];
    default:
      return static_cast<const double *>(p)[k];
  }
}

// A 1x1 array of a 64-bit class holding v exactly.
template <class T>
mxArray *wide(T v) {
  mxArray *a =
      mxCreateNumericMatrix(1, 1, std::is_signed_v<T> ? mxINT64_CLASS : mxUINT64_CLASS, mxREAL);
  std::memcpy(mxGetData(a), &v, sizeof v);
  return tmp(a);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Classes, ConversionRoundsHalvesAwayAndSaturates) {
  const struct {
    const char *cls;
    double in;
    long double out;
  } cases[] = {
      {"int8", 2.5, 3},
      {"int8", -2.5, -3},
      {"int8", 0.5, 1},
      {"int8", -0.4999, 0},
      {"int8", 127.4, 127},
      {"int8", 127.5, 127},
      {"int8", -128.5, -128},
      {"int8", 1e300, 127},
      {"int8", kInf, 127},
      {"int8", -kInf, -128},
      {"int8", kNaN, 0},
      {"uint8", -1, 0},
      {"uint8", 255.5, 255},
      {"uint8", 254.5, 255},
      {"int16", 32767.5, 32767},
      {"int16", -32768.6, -32768},
      {"uint16", 65535.49, 65535},
      {"int32", 2147483647.5, 2147483647},
      {"int32", -2147483648.5, -2147483648.0L},
      {"uint32", 4294967295.4, 4294967295.0L},
      {"uint32", 4294967296.0, 4294967295.0L},
      {"int64", 9223372036854775807.0, 9223372036854775807.0L},  // 2^63 saturates
      {"int64", -9223372036854775808.0, -9223372036854775808.0L},
      {"int64", 9007199254740993.0, 9007199254740992.0L},  // the double literal rounds first
      {"uint64", 18446744073709551616.0, 18446744073709551615.0L},
      {"uint64", -3, 0},
      {"single", 0.1, static_cast<long double>(0.1f)},
      {"single", 1e39, std::numeric_limits<long double>::infinity()},
      {"double", 0.1, 0.1},
  };
  for (const auto &c : cases) {
    std::string what = std::string(c.cls) + "(" + std::to_string(c.in) + ")";
    Var r(castRow({c.in}, c.cls));
    EXPECT_EQ(textOf(Var(mlfClass(r.get())).get()), c.cls) << what;
    EXPECT_EQ(elementOf(r.get(), 0), c.out) << what;
  }
}

TEST(Classes, ConversionsBetweenIntegerClassesSaturate) {
  const struct {
    mxArray *(*from)();
    const char *to;
    long double out;
  } cases[] = {
      {[] { return wide<int64_t>(std::numeric_limits<int64_t>::min()); }, "uint64", 0},
      {[] { return wide<uint64_t>(std::numeric_limits<uint64_t>::max()); }, "int64",
       9223372036854775807.0L},
      {[] { return wide<uint64_t>(std::numeric_limits<uint64_t>::max()); }, "int8", 127},
      {[] { return wide<int64_t>(-300); }, "int8", -128},
      {[] { return wide<int64_t>(9007199254740993); }, "uint64", 9007199254740993.0L},
      {[] { return castRow({-5}, "int16"); }, "uint16", 0},
      {[] { return castRow({300}, "int16"); }, "char", 300},
      {[] { return castRow({-1}, "int32"); }, "char", 0},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    Var r(mlfCast(cases[k].from(), name(cases[k].to)));
    EXPECT_EQ(elementOf(r.get(), 0), cases[k].out) << "case " << k << " to " << cases[k].to;
  }
}

TEST(Classes, LogicalAndCharConversions) {
  Var l(castRow({0, 2, -0.5}, "logical"));
  EXPECT_EQ(mxGetClassID(l.get()), mxLOGICAL_CLASS);
  EXPECT_EQ(valuesOf(l.get()), (std::vector<double>{0, 1, 1}));
  EXPECT_EQ(errorOf([] {
              Var(castRow({1, kNaN}, "logical"));
            }),
            "NaN's cannot be converted to logicals.");
  Var c(castRow({72.4, 105.5}, "char"));
  EXPECT_EQ(textOf(c.get()), "Hj");
  EXPECT_EQ(errorOf([] { Var(castRow({1}, "int7")); }), "cast: unknown class 'int7'.");
  EXPECT_EQ(errorOf([] { Var(mlfCast(tmp(mexrt::test::complexScalar(1, 2)), name("int8"))); }),
            "cast: complex values cannot be converted to int8; take real(x) or abs(x) first.");
}

// a op b for a of class ca and b of class cb (NULL: double), as long double.
struct ArithCase {
  const char *op;
  double a;
  const char *ca;
  double b;
  const char *cb;
  const char *cls;  // of the result
  long double out;
};

mxArray *operand(double v, const char *cls) { return cls ? castRow({v}, cls) : mlfScalar(v); }

mxArray *operate(const char *op, mxArray *a, mxArray *b) {
  const std::string o = op;
  if (o == "+") return mclPlus(a, b);
  if (o == "-") return mclMinus(a, b);
  if (o == ".*") return mclTimes(a, b);
  if (o == "*") return mclMtimes(a, b);
  if (o == "./") return mclRdivide(a, b);
  if (o == "/") return mclMrdivide(a, b);
  if (o == ".^") return mclPower(a, b);
  return mclMpower(a, b);
}

TEST(Classes, ArithmeticRoundsAndSaturatesInTheResultClass) {
  const ArithCase cases[] = {
      {"+", 100, "int8", 100, "int8", "int8", 127},
      {"-", -100, "int8", 100, "int8", "int8", -128},
      {"-", 3, "uint8", 5, "uint8", "uint8", 0},
      {"+", 3, "uint8", 0.5, nullptr, "uint8", 4},  // 3.5 rounds away from 0
      {"+", 3, "int8", -3.5, nullptr, "int8", -1},  // -0.5 rounds to -1
      {"./", 7, "int16", 2, "int16", "int16", 4},
      {"./", -7, "int16", 2, "int16", "int16", -4},
      {"/", 5, "int32", 0, nullptr, "int32", 2147483647},
      {"/", -5, "int32", 0, nullptr, "int32", -2147483648.0L},
      {"/", 0, "int32", 0, nullptr, "int32", 0},  // NaN becomes 0
      {".*", 200, "uint8", 1.5, nullptr, "uint8", 255},
      {"*", 5, "int8", 0.3, nullptr, "int8", 2},  // 1.5 rounds to 2
      {".*", 0.5, nullptr, 3, "int16", "int16", 2},
      {".^", 2, "int8", 7, "int8", "int8", 127},
      {".^", -2, "int8", 7, nullptr, "int8", -128},
      {"^", 3, "uint16", 2, nullptr, "uint16", 9},
      {"+", 1, "int8", 1.75, "single", "int8", 3},
      {"+", 1, "single", 1e-10, nullptr, "single", 1},
      {"./", 1, nullptr, 3, "single", "single", static_cast<long double>(1.0f / 3.0f)},
      {"+", 1, "logical", 2, "uint32", "uint32", 3},
      {"+", 65, "char", 1, "int8", "int8", 66},
      {"-", 4294967295.0, "uint32", -1, nullptr, "uint32", 4294967295.0L},
  };
  for (const auto &c : cases) {
    std::string what = std::to_string(c.a) + " (" + (c.ca ? c.ca : "double") + ") " + c.op + " " +
                       std::to_string(c.b) + " (" + (c.cb ? c.cb : "double") + ")";
    Var r(operate(c.op, operand(c.a, c.ca), operand(c.b, c.cb)));
    EXPECT_EQ(textOf(Var(mlfClass(r.get())).get()), c.cls) << what;
    EXPECT_EQ(elementOf(r.get(), 0), c.out) << what;
  }
}

TEST(Classes, SixtyFourBitArithmeticIsExact) {
  const int64_t big = (int64_t{1} << 53) + 1;  // not a double
  Var sum(mclPlus(wide<int64_t>(big), wide<int64_t>(2)));
  EXPECT_EQ(elementOf(sum.get(), 0), static_cast<long double>(big + 2));
  Var over(mclPlus(wide<int64_t>(std::numeric_limits<int64_t>::max()), mlfScalar(1)));
  EXPECT_EQ(elementOf(over.get(), 0), 9223372036854775807.0L);
  Var neg(mclUminus(wide<int64_t>(std::numeric_limits<int64_t>::min())));
  EXPECT_EQ(elementOf(neg.get(), 0), 9223372036854775807.0L);
  Var top(mclMinus(wide<uint64_t>(std::numeric_limits<uint64_t>::max()), mlfScalar(1)));
  EXPECT_EQ(elementOf(top.get(), 0), 18446744073709551614.0L);
  Var product(mclTimes(wide<uint64_t>(4294967297), wide<uint64_t>(4294967295)));
  EXPECT_EQ(elementOf(product.get(), 0), 18446744073709551615.0L);  // (2^32+1)(2^32-1)
  // Comparisons see the last bit a double would lose.
  Var eq(mclEq(wide<int64_t>(big), mlfScalar(9007199254740992.0)));
  EXPECT_EQ(valuesOf(eq.get()), std::vector<double>{0});
  Var gt(mclGt(wide<uint64_t>(std::numeric_limits<uint64_t>::max()),
               wide<int64_t>(std::numeric_limits<int64_t>::max())));
  EXPECT_EQ(valuesOf(gt.get()), std::vector<double>{1});
}

TEST(Classes, MixedAndUnsupportedCombinationsAreErrors) {
  const struct {
    std::function<void()> f;
    const char *message;
  } cases[] = {
      {[] { Var(mclPlus(castRow({1}, "int8"), castRow({1}, "int16"))); },
       "Integers can only be combined with integers of the same class, or scalar doubles."},
      {[] {
         Var(mclLt(castRow({1}, "int8"), castRow({1, 2}, "int16")));
       },
       ""},  // compares fine
      {[] {
         Var(mclTimes(castRow({1, 2}, "uint8"), castRow({1, 2, 3}, "uint8")));
       },
       "Matrix dimensions must agree: 1x2 .* 1x3."},
      {[] {
         Var(mclMtimes(castRow({1, 2}, "int8"), mlfTranspose(castRow({1, 2}, "int8"))));
       },
       "MTIMES (*) is not fully supported for integer data types. At least one argument must "
       "be scalar."},
      {[] { Var(mclPlus(castRow({1}, "int8"), tmp(mexrt::test::complexScalar(1, 1)))); },
       "+: complex values cannot be combined with int8 values."},
      {[] { Var(mclPower(castRow({-8}, "single"), mlfScalar(0.5))); },
       "A negative single base to a fractional power has a complex result, which the class "
       "cannot hold."},
      {[] {
         Var(mlfHorzcat(castRow({1}, "int8"), tmp(mexrt::test::complexScalar(1, 1)), nullptr));
       },
       "horzcat: complex values cannot be concatenated with int8 values."},
  };
  for (const auto &c : cases) EXPECT_EQ(errorOf(c.f), c.message);
  EXPECT_EQ(mexrtLiveArrayCount(), 0u) << "an error leaves no operand behind";
}

TEST(Classes, SingleMatrixProductRoundsToSingle) {
  Var a(castRow({1, 2, 3}, "single"));
  Var p(mclMtimes(a.get(), mlfTranspose(tmp(row({1.0 / 3, 1, 1})))));
  EXPECT_EQ(mxGetClassID(p.get()), mxSINGLE_CLASS);
  EXPECT_EQ(elementOf(p.get(), 0), static_cast<long double>(static_cast<float>(1.0 / 3 + 5)));
}

TEST(Classes, ClassAndIsa) {
  const struct {
    const char *cls;
    const char *group;
    bool is;
  } cases[] = {
      {"int16", "numeric", true},    {"int16", "integer", true},    {"int16", "float", false},
      {"single", "float", true},     {"single", "integer", false},  {"double", "numeric", true},
      {"logical", "numeric", false}, {"char", "numeric", false},    {"uint64", "uint64", true},
      {"uint64", "int64", false},    {"double", "nonsense", false},
  };
  for (const auto &c : cases) {
    Var r(mlfIsa(castRow({1}, c.cls), name(c.group)));
    EXPECT_EQ(valuesOf(r.get()), std::vector<double>{c.is ? 1.0 : 0.0}) << c.cls << " " << c.group;
  }
}

TEST(Classes, LimitsOfEachClass) {
  const struct {
    mxArray *(*fn)(mxArray *);
    const char *arg;
    const char *cls;
    long double value;
  } cases[] = {
      {mlfIntmax, "int8", "int8", 127},
      {mlfIntmin, "int8", "int8", -128},
      {mlfIntmax, "uint64", "uint64", 18446744073709551615.0L},
      {mlfIntmin, "int64", "int64", -9223372036854775808.0L},
      {mlfIntmax, nullptr, "int32", 2147483647},
      {mlfRealmax, "single", "single", std::numeric_limits<float>::max()},
      {mlfRealmax, nullptr, "double", std::numeric_limits<double>::max()},
      {mlfRealmin, "single", "single", std::numeric_limits<float>::min()},
      {mlfEps, "single", "single", 1.0L / (1 << 23)},
      {mlfEps, nullptr, "double", 1.0L / (std::int64_t{1} << 52)},
  };
  for (const auto &c : cases) {
    Var r(c.fn(c.arg ? name(c.arg) : nullptr));
    EXPECT_EQ(textOf(Var(mlfClass(r.get())).get()), c.cls) << (c.arg ? c.arg : "default");
    EXPECT_EQ(elementOf(r.get(), 0), c.value) << (c.arg ? c.arg : "default");
  }
  Var spacing(mlfEps(tmp(row({1, 1000, 0, kInf}))));
  std::vector<double> s = valuesOf(spacing.get());
  EXPECT_EQ(s[0], 0x1p-52);
  EXPECT_EQ(s[1], 0x1p-43);  // 1000 lies in [512, 1024)
  EXPECT_EQ(s[2], std::numeric_limits<double>::denorm_min());
  EXPECT_TRUE(std::isnan(s[3]));
  EXPECT_EQ(errorOf([] { Var(mlfIntmax(name("double"))); }),
            "intmax: the class must be an integer class.");
}

TEST(Classes, IndexedStoreKeepsTheIntegerClass) {
  Var x(castRow({1, 2, 3}, "int16"));
  mclArrayAssign1(x.addr(), mlfScalar(40000), mlfScalar(2));
  mclArrayAssign1(x.addr(), mlfScalar(-2.5), mlfScalar(5));  // grows, zero between
  EXPECT_EQ(mxGetClassID(x.get()), mxINT16_CLASS);
  std::vector<long double> got;
  for (std::size_t k = 0; k < mxGetNumberOfElements(x.get()); ++k)
    got.push_back(elementOf(x.get(), k));
  EXPECT_EQ(got, (std::vector<long double>{1, 32767, 3, 0, -3}));
  Var d(tmp(row({1, 2})));
  mclArrayAssign1(d.addr(), castRow({7}, "uint8"), mlfScalar(1));
  EXPECT_EQ(mxGetClassID(d.get()), mxDOUBLE_CLASS) << "a double destination stays double";
  Var s(castRow({1, 2}, "single"));
  mclArrayAssign1(s.addr(), mlfScalar(0.1), mlfScalar(1));
  EXPECT_EQ(mxGetClassID(s.get()), mxSINGLE_CLASS);
  EXPECT_EQ(elementOf(s.get(), 0), static_cast<long double>(0.1f));
}

TEST(Classes, ConcatenationTakesTheClassRules) {
  const struct {
    std::function<mxArray *()> make;
    const char *cls;
    std::vector<double> values;
  } cases[] = {
      {[] { return mlfHorzcat(tmp(row({2.7})), castRow({1}, "int8"), mlfScalar(300), nullptr); },
       "int8",
       {3, 1, 127}},
      {[] { return mlfHorzcat(castRow({1}, "uint8"), castRow({-1}, "int8"), nullptr); },
       "uint8",
       {1, 0}},  // the leftmost integer class, saturating the others
      {[] { return mlfHorzcat(castRow({1.5}, "single"), mlfScalar(0.1), nullptr); },
       "single",
       {1.5, static_cast<double>(0.1f)}},
      {[] { return mlfVertcat(castRow({1}, "single"), tmp(mxCreateString("A")), nullptr); },
       "char",
       {1, 65}},
  };
  for (const auto &c : cases) {
    Var r(c.make());
    EXPECT_EQ(textOf(Var(mlfClass(r.get())).get()), c.cls);
    EXPECT_EQ(valuesOf(r.get()), c.values) << c.cls;
  }
}

TEST(Classes, DisplayOfEachClass) {
  const struct {
    std::function<mxArray *()> make;
    const char *shown;
  } cases[] = {
      {[] {
         return castRow({1, -2, 100}, "int8");
       },
       "x =\n\n     1    -2   100\n\n"},
      {[] { return castRow({5}, "uint8"); }, "x =\n\n   5\n\n"},
      {[] { return wide<uint64_t>(std::numeric_limits<uint64_t>::max()); },
       "x =\n\n   18446744073709551615\n\n"},
      {[] { return wide<int64_t>(std::numeric_limits<int64_t>::min()); },
       "x =\n\n   -9223372036854775808\n\n"},
      {[] {
         return castRow({1e6, 2}, "int32");
       },
       "x =\n\n   1000000         2\n\n"},
      {[] { return castRow({3.14159265}, "single"); }, "x =\n\n    3.1416\n\n"},
      {[] {
         return castRow({1, 2}, "single");
       },
       "x =\n\n     1     2\n\n"},
      {[] { return castRow({}, "int16"); }, "x =\n\n   Empty matrix: 1-by-0\n\n"},
  };
  for (const auto &c : cases) {
    Var v(c.make());
    EXPECT_EQ(mexrt::displayNamed(v.get(), "x"), c.shown);
  }
  // The long format: single to 7 decimals, integers unchanged.
  mexrt::setDisplayFormat(mexrt::DisplayFormat::Long);
  Var s(castRow({3.14159265358979}, "single")), i(castRow({-7}, "int8"));
  const std::string singleLong = mexrt::displayNamed(s.get(), "x");
  const std::string integerLong = mexrt::displayNamed(i.get(), "x");
  mexrt::setDisplayFormat(mexrt::DisplayFormat::Short);
  EXPECT_EQ(singleLong, "x =\n\n    3.1415927\n\n");
  EXPECT_EQ(integerLong, "x =\n\n   -7\n\n");
}

TEST(Classes, HostApiForEachClass) {
  const struct {
    mxClassID cls;
    std::size_t bytes;
    bool (*is)(const mxArray *);
    const char *name;
  } cases[] = {
      {mxDOUBLE_CLASS, 8, mxIsDouble, "double"},    {mxSINGLE_CLASS, 4, mxIsSingle, "single"},
      {mxINT8_CLASS, 1, mxIsInt8, "int8"},          {mxUINT8_CLASS, 1, mxIsUint8, "uint8"},
      {mxINT16_CLASS, 2, mxIsInt16, "int16"},       {mxUINT16_CLASS, 2, mxIsUint16, "uint16"},
      {mxINT32_CLASS, 4, mxIsInt32, "int32"},       {mxUINT32_CLASS, 4, mxIsUint32, "uint32"},
      {mxINT64_CLASS, 8, mxIsInt64, "int64"},       {mxUINT64_CLASS, 8, mxIsUint64, "uint64"},
      {mxLOGICAL_CLASS, 1, mxIsLogical, "logical"},
  };
  const std::size_t dims[] = {2, 3, 4};
  for (const auto &c : cases) {
    mxArray *a = mxCreateNumericArray(3, dims, c.cls, mxREAL);
    EXPECT_EQ(mxGetClassID(a), c.cls) << c.name;
    EXPECT_EQ(mxGetElementSize(a), c.bytes) << c.name;
    EXPECT_TRUE(c.is(a)) << c.name;
    EXPECT_EQ(std::string(mxGetClassName(a)), c.name);
    EXPECT_EQ(mxIsNumeric(a), c.cls != mxLOGICAL_CLASS) << c.name;
    const auto *bytes = static_cast<const unsigned char *>(mxGetData(a));
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 24 * c.bytes),
              std::vector<unsigned char>(24 * c.bytes, 0))
        << c.name << " starts zeroed";
    for (const auto &other : cases) {
      if (other.cls != c.cls) {
        EXPECT_FALSE(other.is(a)) << c.name << " is not " << other.name;
      }
    }
    mxDestroyArray(a);
  }
  EXPECT_EQ(errorOf([] { mxCreateNumericMatrix(1, 1, mxINT16_CLASS, mxCOMPLEX); }),
            "mxCreateNumericMatrix: only a double array may be complex, not int16.");
  EXPECT_EQ(errorOf([] { mxCreateNumericMatrix(1, 1, mxCHAR_CLASS, mxREAL); }),
            "mxCreateNumericMatrix: class 4 is not a numeric or logical class.");
}

}  // namespace

namespace {

TEST(Classes, ElementwiseFunctionsKeepTheClassOrRefuseIntegers) {
  const struct {
    mxArray *(*fn)(mxArray *);
    double in;
    const char *cls;
    const char *outClass;  // nullptr: an error
    long double out;
    const char *message;
  } cases[] = {
      {mlfAbs, -128, "int8", "int8", 127, ""},  // 128 saturates
      {mlfAbs, -2.5, "single", "single", 2.5, ""},
      {mlfRound, 2.5, "single", "single", 3, ""},
      {mlfFloor, -7, "int16", "int16", -7, ""},
      {mlfSign, -5, "int8", "int8", -1, ""},
      {mlfLog, 1, "single", "single", 0, ""},
      {mlfSqrt, 2, "single", "single", static_cast<long double>(std::sqrt(2.0f)), ""},
      {mlfExp, 1, "int16", nullptr, 0,
       "Undefined function 'exp' for input arguments of type 'int16'."},
      {mlfLog10, 100, "uint8", nullptr, 0,
       "Undefined function 'log10' for input arguments of type 'uint8'."},
      {mlfSqrt, -4, "single", nullptr, 0,
       "sqrt: the result is complex, which a single array cannot hold."},
  };
  for (const auto &c : cases) {
    std::string what = std::string(c.cls) + " " + std::to_string(c.in);
    if (!c.outClass) {
      EXPECT_EQ(errorOf([&] { Var(c.fn(castRow({c.in}, c.cls))); }), c.message) << what;
      continue;
    }
    Var r(c.fn(castRow({c.in}, c.cls)));
    EXPECT_EQ(textOf(Var(mlfClass(r.get())).get()), c.outClass) << what;
    EXPECT_EQ(elementOf(r.get(), 0), c.out) << what;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), 0u);
}

}  // namespace
