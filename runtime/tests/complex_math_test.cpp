// Complex arithmetic, comparisons, truth and functions: tables of cases against closed forms
// and long-double references, signed zeros, Inf and NaN in either part, and results that
// become real when every imaginary part is zero.
#include <complex>
#include <limits>
#include <numbers>
#include <random>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using Binary = mxArray *(*)(mxArray *, mxArray *);
using Unary = mxArray *(*)(mxArray *);
using LongComplex = std::complex<long double>;
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = std::numbers::pi;

// One value of a case: a number, real or complex (a complex one stays so even with im 0).
struct Z {
  double re, im = 0;
  bool complex = false;
};
Z c(double re, double im) { return {re, im, true}; }
Z r(double re) { return {re, 0, false}; }

mxArray *make(const Z &z) {
  return z.complex ? complexScalar(z.re, z.im) : mxCreateDoubleScalar(z.re);
}

// Checks a 1x1 result: its complexity, and each part as the same double (sign of zero, NaN).
void expectValue(const mxArray *got, const Z &want, const std::string &what) {
  ASSERT_EQ(mxGetNumberOfElements(got), 1u) << what;
  EXPECT_EQ(mxIsComplex(got), want.complex) << what << ": complexity";
  EXPECT_TRUE(sameDouble(mxGetPr(got)[0], want.re))
      << what << ": real part " << mxGetPr(got)[0] << ", expected " << want.re;
  if (want.complex && mxIsComplex(got)) {
    EXPECT_TRUE(sameDouble(mxGetPi(got)[0], want.im))
        << what << ": imaginary part " << mxGetPi(got)[0] << ", expected " << want.im;
  }
}

// Close to a long-double reference, relative to its magnitude.
void expectNear(const mxArray *got, LongComplex want, double tolerance, const std::string &what) {
  ASSERT_EQ(mxGetNumberOfElements(got), 1u) << what;
  LongComplex z(mxGetPr(got)[0], mxIsComplex(got) ? mxGetPi(got)[0] : 0.0);
  long double scale = std::max<long double>(std::abs(want), 1e-300L);
  EXPECT_LE(std::abs(z - want) / scale, tolerance)
      << what << ": got " << z.real() << " + " << z.imag() << "i, expected " << want.real() << " + "
      << want.imag() << "i";
}

TEST(ComplexOperators, ClosedFormsSignedZerosInfAndNaN) {
  const struct {
    const char *what;
    Binary op;
    Z a, b, expected;
  } cases[] = {
      {"(1+2i) + (3-4i)", mclPlus, c(1, 2), c(3, -4), c(4, -2)},
      {"(1+2i) - 2i becomes real", mclMinus, c(1, 2), c(0, 2), r(1)},
      {"1 - (2+3i): the real operand adds no imaginary part", mclMinus, r(1), c(2, 3), c(-1, -3)},
      {"(1-0i) + 1 is real: -0 is a zero imaginary part", mclPlus, c(1, -0.0), r(1), r(2)},
      {"(1+2i) .* (3+4i)", mclTimes, c(1, 2), c(3, 4), c(-5, 10)},
      {"2 .* (Inf+1i) is Inf+2i, no NaN from 0 * Inf", mclTimes, r(2), c(kInf, 1), c(kInf, 2)},
      {"(Inf+0i) .* (Inf+0i)", mclTimes, c(kInf, 0), c(kInf, 0), c(kInf, NAN)},
      {"1i .* 1i is -1, real", mclTimes, c(0, 1), c(0, 1), r(-1)},
      {"(1+2i) ./ (3+4i)", mclRdivide, c(1, 2), c(3, 4), c(0.44, 0.08)},
      {"(1+2i) ./ 2", mclRdivide, c(1, 2), r(2), c(0.5, 1)},
      {"1 ./ 2i", mclRdivide, r(1), c(0, 2), c(0, -0.5)},
      {"(1+2i) ./ 0", mclRdivide, c(1, 2), r(0), c(kInf, kInf)},
      {"1 ./ (0+0i) is Inf", mclRdivide, r(1), c(0, 0), r(kInf)},
      {"(1+1i) ./ (Inf+1i) is 0", mclRdivide, c(1, 1), c(kInf, 1), r(0)},
      {"huge parts do not overflow", mclRdivide, c(1e300, 1e300), c(1e300, 1e300), r(1)},
      {"(NaN+1i) + 1", mclPlus, c(NAN, 1), r(1), c(NAN, 1)},
      {"(1+NaNi) .* 2", mclTimes, c(1, NAN), r(2), c(2, NAN)},
      {"(1+2i) / 2", mclMrdivide, c(1, 2), r(2), c(0.5, 1)},
      {"2 * (1-1i)", mclMtimes, r(2), c(1, -1), c(2, -2)},
      {"(1+2i) == (1+2i)", mclEq, c(1, 2), c(1, 2), r(1)},
      {"(1+2i) == (1+3i)", mclEq, c(1, 2), c(1, 3), r(0)},
      {"1 == complex(1, 0)", mclEq, r(1), c(1, 0), r(1)},
      {"(NaN+0i) == (NaN+0i)", mclEq, c(NAN, 0), c(NAN, 0), r(0)},
      {"(1+2i) ~= (1-2i)", mclNe, c(1, 2), c(1, -2), r(1)},
      {"< compares real parts", mclLt, c(1, 5), c(2, -9), r(1)},
      {">= compares real parts", mclGe, c(1, 5), r(1), r(1)},
      {"1i & 1", mclAnd, c(0, 1), r(1), r(1)},
      {"(0+0i) | 0", mclOr, c(0, 0), r(0), r(0)},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &k : cases) {
    Var got(k.op(tmp(make(k.a)), tmp(make(k.b))));
    if (k.op == mclEq || k.op == mclNe || k.op == mclLt || k.op == mclGe || k.op == mclAnd ||
        k.op == mclOr) {
      EXPECT_EQ(mxGetClassID(got.get()), mxLOGICAL_CLASS) << k.what;
      EXPECT_EQ(valuesOf(got.get()), std::vector<double>{k.expected.re}) << k.what;
      continue;
    }
    expectValue(got.get(), k.expected, k.what);
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

// Random operands of every magnitude against std::complex<long double>.
TEST(ComplexOperators, AgreeWithLongDoubleReferences) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-30, 30);
  auto number = [&] { return std::ldexp(mantissa(rng), exponent(rng)); };
  const double eps = std::numeric_limits<double>::epsilon();
  for (int n = 0; n < 400; ++n) {
    Z a = c(number(), number()), b = c(number(), number());
    LongComplex x(a.re, a.im), y(b.re, b.im);
    const struct {
      const char *what;
      Binary op;
      LongComplex expected;
      double tolerance;
    } ops[] = {
        {"+", mclPlus, x + y, eps},
        {"-", mclMinus, x - y, eps},
        {".*", mclTimes, x * y, 4 * eps},
        {"./", mclRdivide, x / y, 8 * eps},
    };
    for (const auto &o : ops) {
      Var got(o.op(tmp(make(a)), tmp(make(b))));
      // Sums and differences may cancel: their error is relative to the operands.
      long double scale = std::max(std::abs(o.expected), std::max(std::abs(x), std::abs(y)));
      LongComplex z(mxGetPr(got.get())[0], mxIsComplex(got.get()) ? mxGetPi(got.get())[0] : 0);
      ASSERT_LE(std::abs(z - o.expected),
                o.tolerance * (o.op == mclPlus || o.op == mclMinus ? scale : std::abs(o.expected)))
          << "(" << a.re << " + " << a.im << "i) " << o.what << " (" << b.re << " + " << b.im
          << "i)";
    }
  }
}

TEST(ComplexOperators, PowersTakeWholeExponentsByRepeatedProducts) {
  const double sqrt3 = std::sqrt(3.0);
  const struct {
    const char *what;
    Binary op;
    Z a, b;
    LongComplex expected;
    bool real;  // the result has no imaginary part
  } cases[] = {
      {"i ^ 2 is -1 exactly", mclMpower, c(0, 1), r(2), {-1, 0}, true},
      {"(1+2i) .^ 2", mclPower, c(1, 2), r(2), {-3, 4}, false},
      {"(1+1i) .^ -1", mclPower, c(1, 1), r(-1), {0.5, -0.5}, false},
      {"(1+1i) .^ 0", mclPower, c(1, 1), r(0), {1, 0}, true},
      {"(-8) .^ (1/3): the principal root", mclPower, r(-8), r(1.0 / 3), {1, sqrt3}, false},
      {"(-4) ^ 0.5", mclMpower, r(-4), r(0.5), {0, 2}, false},
      {"(-2) .^ 3 stays real", mclPower, r(-2), r(3), {-8, 0}, true},
      {"2 .^ 1i",
       mclPower,
       r(2),
       c(0, 1),
       {std::cos(std::log(2.0L)), std::sin(std::log(2.0L))},
       false},
      {"(1i) .^ (1i) is exp(-pi/2), real",
       mclPower,
       c(0, 1),
       c(0, 1),
       {std::exp(-std::numbers::pi_v<long double> / 2), 0},
       true},
      {"0 .^ (1+1i)", mclPower, c(0, 0), c(1, 1), {0, 0}, true},
  };
  for (const auto &k : cases) {
    Var got(k.op(tmp(make(k.a)), tmp(make(k.b))));
    expectNear(got.get(), k.expected, 8 * std::numeric_limits<double>::epsilon(), k.what);
    if (k.real) {
      EXPECT_FALSE(mxIsComplex(got.get())) << k.what;
    }
  }
  Var mixed(mclPower(tmp(row({-8, 4})), tmp(row({1.0 / 3, 0.5}))));
  ASSERT_TRUE(mxIsComplex(mixed.get())) << "one negative base makes the whole result complex";
  EXPECT_EQ(mxGetPr(mixed.get())[1], 2) << "the positive base's power is the real one";
  EXPECT_EQ(mxGetPi(mixed.get())[1], 0);
  // A scalar exponent or base decides without the elements only when it cannot make a
  // complex power: a fraction over a negative element still does.
  Var roots(mclPower(tmp(row({4, -4})), mlfScalar(0.5)));
  ASSERT_TRUE(mxIsComplex(roots.get()));
  EXPECT_EQ(valuesOf(roots.get())[0], 2);
  EXPECT_NEAR(imagsOf(roots.get())[1], 2, 1e-15);
  Var powers(mclPower(mlfScalar(-2), tmp(row({2, 0.5}))));
  ASSERT_TRUE(mxIsComplex(powers.get()));
  EXPECT_EQ(valuesOf(powers.get())[0], 4);
  Var whole(mclPower(tmp(row({-2, -3})), mlfScalar(3)));
  EXPECT_FALSE(mxIsComplex(whole.get()));
  EXPECT_EQ(valuesOf(whole.get()), (std::vector<double>{-8, -27}));
}

TEST(ComplexOperators, ArraysExpandScalarsAndKeepTheirShape) {
  // A 2x1x2 complex array minus a complex scalar, and a real row times a complex row.
  Var a(complexMatrix({2, 1, 2}, {1, 2, 3, 4}, {-1, -2, -3, -4}));
  Var d(mclMinus(a.get(), tmp(complexScalar(1, -1))));
  EXPECT_EQ(dimsOf(d.get()), (std::vector<size_t>{2, 1, 2}));
  EXPECT_EQ(valuesOf(d.get()), (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(imagsOf(d.get()), (std::vector<double>{0, -1, -2, -3}));
  Var p(mclTimes(tmp(row({2, 3})), tmp(complexMatrix({1, 2}, {1, 0}, {1, 2}))));
  EXPECT_EQ(valuesOf(p.get()), (std::vector<double>{2, 0}));
  EXPECT_EQ(imagsOf(p.get()), (std::vector<double>{2, 6}));
  Var e(mclPlus(tmp(complexMatrix({0, 3}, {}, {})), mlfScalar(1)));
  EXPECT_EQ(dimsOf(e.get()), (std::vector<size_t>{0, 3})) << "empty stays empty";
  EXPECT_EQ(errorOf([] {
              mclPlus(tmp(complexMatrix({1, 2}, {1, 2}, {1, 1})), tmp(row({1, 2, 3})));
            }),
            "Matrix dimensions must agree: 1x2 + 1x3.");
  Var neg(mclUminus(tmp(complexScalar(0, 0))));
  expectValue(neg.get(), r(-0.0), "-(0+0i) is -0 and real");
  Var minus(mclUminus(tmp(complexScalar(1, -2))));
  expectValue(minus.get(), c(-1, 2), "-(1-2i)");
}

TEST(ComplexTruth, ANumberIsZeroWhenBothPartsAre) {
  EXPECT_TRUE(mlfTobool(tmp(complexScalar(0, 1))));
  EXPECT_FALSE(mlfTobool(tmp(complexScalar(0, 0))));
  EXPECT_FALSE(mlfTobool(tmp(complexMatrix({1, 2}, {1, 0}, {0, 0}))));
  EXPECT_TRUE(mlfTobool(tmp(complexScalar(0, NAN)))) << "NaN is not zero";
  EXPECT_EQ(mclNotBool(tmp(complexMatrix({1, 2}, {0, 0}, {0, 0}))), 1);
  EXPECT_EQ(mclNotBool(tmp(complexScalar(0, -1))), 0);
  Var n(mclNot(tmp(complexMatrix({1, 3}, {0, 0, 2}, {0, 1, 0}))));
  EXPECT_EQ(valuesOf(n.get()), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(mclEqBool(tmp(complexScalar(2, 0)), mlfScalar(2)), 1);
  EXPECT_EQ(errorOf([] { mclAnd(tmp(complexScalar(1, NAN)), mlfScalar(1)); }),
            "NaN's cannot be converted to logicals.");
}

TEST(ComplexFunctions, ClosedFormsAndTheNegativeReals) {
  const long double pi = std::numbers::pi_v<long double>;
  const long double ln10 = std::numbers::ln10_v<long double>;
  const struct {
    const char *what;
    Unary f;
    Z in;
    LongComplex expected;
    bool complex;
  } cases[] = {
      {"log(-1) = pi i", mlfLog, r(-1), {0, pi}, true},
      {"log(-e) = 1 + pi i", mlfLog, r(-std::numbers::e), {1, pi}, true},
      {"log(-Inf) = Inf + pi i", mlfLog, r(-kInf), {INFINITY, pi}, true},
      {"log(1i) = pi/2 i", mlfLog, c(0, 1), {0, pi / 2}, true},
      {"log10(-100) = 2 + (pi / ln 10) i", mlfLog10, r(-100), {2, pi / ln10}, true},
      {"sqrt(-4) = 2i", mlfSqrt, r(-4), {0, 2}, true},
      {"sqrt(3+4i) = 2+1i", mlfSqrt, c(3, 4), {2, 1}, true},
      {"sqrt(-4-0i) = -2i, below the cut", mlfSqrt, c(-4, -0.0), {0, -2}, true},
      {"exp(pi i) = -1", mlfExp, c(0, kPi), {-1, 0}, true},
      {"exp(1+0i) becomes real", mlfExp, c(1, 0), {std::numbers::e_v<long double>, 0}, false},
      {"abs(3+4i)", mlfAbs, c(3, 4), {5, 0}, false},
      {"abs(NaN+Infi) is Inf", mlfAbs, c(NAN, kInf), {INFINITY, 0}, false},
      {"abs(1e300+1e300i) does not overflow",
       mlfAbs,
       c(1e300, 1e300),
       {1e300L * std::sqrt(2.0L), 0},
       false},
      {"sin(1i) = sinh(1) i", mlfSin, c(0, 1), {0, std::sinh(1.0L)}, true},
      {"cos(1i) = cosh(1), real", mlfCos, c(0, 1), {std::cosh(1.0L), 0}, false},
      {"round(1.5-2.5i)", mlfRound, c(1.5, -2.5), {2, -3}, true},
      {"ceil(0.2+0.2i)", mlfCeil, c(0.2, 0.2), {1, 1}, true},
  };
  for (const auto &k : cases) {
    Var got(k.f(tmp(make(k.in))));
    EXPECT_EQ(mxIsComplex(got.get()), k.complex) << k.what;
    if (std::isinf(static_cast<double>(k.expected.real()))) {
      EXPECT_EQ(mxGetPr(got.get())[0], static_cast<double>(k.expected.real())) << k.what;
      if (k.complex) {
        EXPECT_NEAR(mxGetPi(got.get())[0], static_cast<double>(k.expected.imag()), 1e-15);
      }
      continue;
    }
    expectNear(got.get(), k.expected, 4 * std::numeric_limits<double>::epsilon(), k.what);
  }
  // Signed zeros and NaN on the real line stay real, as before.
  Var logZero(mlfLog(tmp(row({-0.0, 0.0, NAN}))));
  EXPECT_FALSE(mxIsComplex(logZero.get()));
  std::vector<double> lz = valuesOf(logZero.get());
  EXPECT_EQ(lz[0], -kInf);
  EXPECT_EQ(lz[1], -kInf);
  EXPECT_TRUE(std::isnan(lz[2]));
  Var rootZero(mlfSqrt(mlfScalar(-0.0)));
  expectValue(rootZero.get(), r(-0.0), "sqrt(-0) is -0");
}

TEST(ComplexFunctions, AWholeArrayBecomesComplexFromItsFirstNegativeElement) {
  // Negatives only far into the array: the elements before them are the real logarithms.
  std::vector<double> x(5000, 10.0);
  x[4000] = -10;
  x.back() = -1;
  // Written over a temporary, block by block, and into a new array from a variable.
  Var kept(matrix({1, x.size()}, x));
  for (bool temporary : {true, false}) {
    Var got(mlfLog10(temporary ? tmp(matrix({1, x.size()}, x)) : kept.get()));
    ASSERT_TRUE(mxIsComplex(got.get()));
    const double *re = mxGetPr(got.get()), *im = mxGetPi(got.get());
    const double turn = std::numbers::pi / std::numbers::ln10;
    for (size_t k = 0; k < x.size(); ++k) {
      double wantIm = x[k] < 0 ? turn : 0;
      double wantRe = x[k] == -1 ? 0 : 1;
      ASSERT_EQ(re[k], wantRe) << "element " << k << (temporary ? " of a temporary" : "");
      ASSERT_NEAR(im[k], wantIm, 4e-16) << "element " << k;
    }
  }
  EXPECT_EQ(valuesOf(kept.get()), x) << "the variable is untouched";
  Var positive(mlfSqrt(tmp(row({4, 9, 0}))));
  EXPECT_FALSE(mxIsComplex(positive.get())) << "no negative element, no imaginary part";
}

TEST(ComplexFunctions, AgreeWithLongDoubleReferences) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-4, 4);
  const double eps = std::numeric_limits<double>::epsilon();
  for (int n = 0; n < 300; ++n) {
    Z z = c(u(rng), u(rng));
    LongComplex x(z.re, z.im);
    const struct {
      const char *what;
      Unary f;
      LongComplex expected;
    } fns[] = {
        {"exp", mlfExp, std::exp(x)},       {"log", mlfLog, std::log(x)},
        {"log10", mlfLog10, std::log10(x)}, {"sqrt", mlfSqrt, std::sqrt(x)},
        {"sin", mlfSin, std::sin(x)},       {"cos", mlfCos, std::cos(x)},
        {"abs", mlfAbs, std::abs(x)},
    };
    for (const auto &f : fns) {
      Var got(f.f(tmp(make(z))));
      expectNear(
          got.get(), f.expected, 16 * eps,
          std::string(f.what) + "(" + std::to_string(z.re) + " + " + std::to_string(z.im) + "i)");
    }
  }
}

TEST(ComplexParts, RealImagConjAngleComplexIsreal) {
  Var z(complexMatrix({1, 3}, {1, -1, 0}, {2, -0.0, -1}));
  Var re(mlfReal(z.get()));
  EXPECT_FALSE(mxIsComplex(re.get()));
  EXPECT_EQ(valuesOf(re.get()), (std::vector<double>{1, -1, 0}));
  Var im(mlfImag(z.get()));
  EXPECT_EQ(valuesOf(im.get()), (std::vector<double>{2, -0.0, -1}));
  EXPECT_TRUE(std::signbit(valuesOf(im.get())[1])) << "imag keeps a signed zero";
  Var conj(mlfConj(z.get()));
  EXPECT_EQ(imagsOf(conj.get()), (std::vector<double>{-2, 0, 1}));
  Var angle(mlfAngle(z.get()));
  std::vector<double> a = valuesOf(angle.get());
  EXPECT_DOUBLE_EQ(a[0], std::atan2(2.0, 1.0));
  EXPECT_EQ(a[1], -kPi) << "angle(-1 - 0i) is -pi: the sign of zero picks the side of the cut";
  EXPECT_EQ(a[2], -kPi / 2);
  EXPECT_EQ(valuesOf(z.get()), (std::vector<double>{1, -1, 0})) << "the variable is untouched";

  Var realAngle(mlfAngle(tmp(row({-2, 0, 3}))));
  EXPECT_EQ(valuesOf(realAngle.get()), (std::vector<double>{kPi, 0, 0}));
  Var imagOfReal(mlfImag(tmp(row({5, 6}))));
  EXPECT_EQ(valuesOf(imagOfReal.get()), (std::vector<double>{0, 0}));
  Var conjOfChar(mlfConj(tmp(mxCreateString("A"))));
  EXPECT_EQ(mxGetClassID(conjOfChar.get()), mxDOUBLE_CLASS);
  EXPECT_EQ(valuesOf(conjOfChar.get()), std::vector<double>{65});

  Var kept(mlfComplex(mlfScalar(1), mlfScalar(0)));
  EXPECT_TRUE(mxIsComplex(kept.get())) << "complex(1, 0) stays complex";
  Var one(mlfComplex(tmp(row({1, 2})), nullptr));
  EXPECT_TRUE(mxIsComplex(one.get()));
  EXPECT_EQ(imagsOf(one.get()), (std::vector<double>{0, 0}));
  Var spread(mlfComplex(tmp(row({1, 2})), mlfScalar(3)));
  EXPECT_EQ(valuesOf(spread.get()), (std::vector<double>{1, 2}));
  EXPECT_EQ(imagsOf(spread.get()), (std::vector<double>{3, 3}));
  EXPECT_EQ(errorOf([] { mlfComplex(tmp(complexScalar(1, 1)), mlfScalar(1)); }),
            "complex: the inputs must be real, not complex.");
  EXPECT_EQ(errorOf([] {
              mlfComplex(tmp(row({1, 2})), tmp(row({1, 2, 3})));
            }),
            "complex: the real and imaginary parts must have one size, or one be a scalar: 1x2 "
            "and 1x3.");

  Var yes(mlfIsreal(tmp(row({1, 2}))));
  Var no(mlfIsreal(tmp(complexScalar(1, 0))));
  Var text(mlfIsreal(tmp(mxCreateString("ab"))));
  EXPECT_EQ(valuesOf(yes.get()), std::vector<double>{1});
  EXPECT_EQ(valuesOf(no.get()), std::vector<double>{0});
  EXPECT_EQ(valuesOf(text.get()), std::vector<double>{1});
}

}  // namespace
}  // namespace mexrt::test
