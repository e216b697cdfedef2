// quefwind called through its direct entry: the weights, undoing them, the pass-through
// cases sharing the input's storage, zero weights, shapes, and missing inputs.
#include "quefwind.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "core/array.h"  // the storage pointer, to see that a pass-through shares it
#include "mexrt/error.h"

namespace {

using mexrt::test::matrix;
using mexrt::test::ModuleTest;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The elements read in place: mxGetPr would give the array storage of its own first.
std::vector<double> values(const mxArray *a) {
  const double *p = a->reals();  // read without unsharing
  return std::vector<double>(p, p + mxGetNumberOfElements(a));
}

// quefwind(cepsin, L) kept in a variable; the caller destroys it.
mxArray *quefwind(mxArray *cepsin, double L) {
  mxArray *l = mxCreateDoubleScalar(L);
  mxArray *out = nullptr;
  mlfAssign(&out, mlfQuefwind(cepsin, l));
  mxDestroyArray(l);
  return out;
}

double weight(double L, int n) { return 1 + L / 2 * std::sin(std::numbers::pi / L * n); }

class Quefwind : public ModuleTest<InitializeModule_quefwind, TerminateModule_quefwind> {};

TEST_F(Quefwind, RaisedSineWeightsOnEveryFrame) {
  const std::size_t rows = 12, frames = 5;
  mxArray *in = matrix({rows, frames}, std::vector<double>(rows * frames, 1.0));
  mxArray *out = quefwind(in, 22);
  ASSERT_EQ(mxGetM(out), rows);
  ASSERT_EQ(mxGetN(out), frames);
  std::vector<double> w = values(out);
  for (std::size_t j = 0; j < frames; ++j) {
    for (std::size_t n = 1; n <= rows; ++n) {
      EXPECT_NEAR(w[n - 1 + j * rows], weight(22, n), 1e-13) << "row " << n << ", frame " << j + 1;
    }
    EXPECT_NEAR(w[10 + j * rows], 12.0, 1e-13) << "row 11 has the largest weight 1 + L/2";
    EXPECT_NEAR(w[11 + j * rows], w[9 + j * rows], 1e-13) << "row 12 mirrors row 10";
  }
  mxDestroyArray(out);
  mxDestroyArray(in);
}

TEST_F(Quefwind, NegativeLengthUndoesTheLiftering) {
  const struct {
    double L;
    std::size_t rows, frames;
  } cases[] = {{22, 12, 40}, {22, 30, 3}, {7, 12, 9}};
  for (const auto &c : cases) {
    std::vector<double> data(c.rows * c.frames);
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = std::cos(1.3 * k) * 10 - 2;
    mxArray *in = matrix({c.rows, c.frames}, data);
    mxArray *liftered = quefwind(in, c.L);
    mxArray *back = quefwind(liftered, -c.L);
    std::vector<double> got = values(back);
    for (std::size_t k = 0; k < data.size(); ++k) {
      ASSERT_NEAR(got[k], data[k], 1e-12 * std::fabs(data[k]) + 1e-300)
          << "L = " << c.L << ", element " << k;
    }
    mxDestroyArray(back);
    mxDestroyArray(liftered);
    mxDestroyArray(in);
  }
}

TEST_F(Quefwind, ZeroOrFractionalLengthPassesTheInputThrough) {
  const double lengths[] = {0, -0.0, 2.5, -3.5, kNaN, 1e-300};
  const std::vector<double> data = {1.25, -0.0, kNaN, 3e300, -7, kInf};
  for (double L : lengths) {
    mxArray *in = matrix({3, 2}, data);
    mxArray *out = quefwind(in, L);
    EXPECT_EQ(out->rawData(), in->rawData()) << "L = " << L << ": the storage is shared";
    ASSERT_EQ(mxGetM(out), 3u);
    ASSERT_EQ(mxGetN(out), 2u);
    EXPECT_EQ(std::memcmp(out->rawData(), in->rawData(), data.size() * sizeof(double)), 0)
        << "L = " << L << ": bit for bit";
    mxDestroyArray(out);
    EXPECT_EQ(values(in)[0], 1.25) << "the input survives its result";
    mxDestroyArray(in);
  }
}

TEST_F(Quefwind, ZeroWeightOfAShortLifter) {
  const std::vector<double> data = {4, 5, 6, -1, 2, 0};  // 3 rows, 2 frames
  const struct {
    double L;
    std::vector<double> expected;  // by columns
  } cases[] = {
      {2, {8, 5, 0, -2, 2, 0}},           // weights 2, 1, 0
      {-2, {2, 5, kInf, -0.5, 2, kNaN}},  // row 3 divided by zero
  };
  for (const auto &c : cases) {
    mxArray *in = matrix({3, 2}, data);
    mxArray *out = quefwind(in, c.L);
    std::vector<double> got = values(out);
    for (std::size_t k = 0; k < data.size(); ++k) {
      if (std::isnan(c.expected[k])) {
        EXPECT_TRUE(std::isnan(got[k])) << "L = " << c.L << ", element " << k;
      } else if (std::isinf(c.expected[k])) {
        EXPECT_EQ(got[k], c.expected[k]) << "L = " << c.L << ", element " << k;
      } else {
        EXPECT_NEAR(got[k], c.expected[k], 1e-15 * 8) << "L = " << c.L << ", element " << k;
      }
    }
    mxDestroyArray(out);
    mxDestroyArray(in);
  }
}

TEST_F(Quefwind, Shapes) {
  const struct {
    const char *name;
    std::size_t rows, frames;
    double L;
  } cases[] = {
      {"a single frame", 12, 1, 22}, {"a single coefficient", 1, 6, 22},
      {"empty 0 x 0", 0, 0, 22},     {"empty 0 x 0, negative L", 0, 0, -4},
      {"no frames", 12, 0, 22},      {"no coefficients", 0, 7, 22},
  };
  for (const auto &c : cases) {
    std::vector<double> data(c.rows * c.frames, 2.0);
    mxArray *in = matrix({c.rows, c.frames}, data);
    mxArray *out = quefwind(in, c.L);
    ASSERT_EQ(mxGetM(out), c.rows) << c.name;
    ASSERT_EQ(mxGetN(out), c.frames) << c.name;
    std::vector<double> got = values(out);
    for (std::size_t k = 0; k < got.size(); ++k) {
      EXPECT_NEAR(got[k], 2.0 * weight(c.L, k % c.rows + 1), 1e-13) << c.name << ", element " << k;
    }
    mxDestroyArray(out);
    mxDestroyArray(in);
  }
}

TEST_F(Quefwind, MissingInputsAreNamed) {
  const struct {
    const char *name;
    bool cepsin, lifterl;
    const char *message;
  } cases[] = {
      {"no inputs", false, false, "Input argument \"cepsin\" is undefined."},
      {"lifterl only", false, true, "Input argument \"cepsin\" is undefined."},
      {"cepsin only", true, false, "Input argument \"lifterl\" is undefined."},
  };
  for (const auto &c : cases) {
    mxArray *x = c.cepsin ? matrix({2, 2}, {1, 2, 3, 4}) : nullptr;
    mxArray *l = c.lifterl ? mxCreateDoubleScalar(22) : nullptr;
    try {
      mlfQuefwind(x, l);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
    mxDestroyArray(l);
    mxDestroyArray(x);
  }
}

TEST_F(Quefwind, UninitialisedInputPassesThroughItself) {
  // The pass-through warns but hands over the marker itself, never an empty stand-in.
  testing::internal::CaptureStderr();
  mxArray *out = nullptr;
  mxArray *zero = mxCreateDoubleScalar(0);
  mlfAssign(&out, mlfQuefwind(mclGetUninitializedArray(), zero));
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(mxGetClassID(out), mxUNKNOWN_CLASS);
  EXPECT_NE(warnings.find("Variable \"cepsin\" may be used before it is defined."),
            std::string::npos)
      << warnings;
  EXPECT_NE(warnings.find("Output argument \"cepsout\" was not assigned during the call to "
                          "\"quefwind\"."),
            std::string::npos)
      << warnings;
  mxDestroyArray(zero);
  mxDestroyArray(out);
}

// A complex cepstrum is weighted part by part, and passed through whole for L = 0.
TEST_F(Quefwind, ComplexCepstraAreWeightedPartByPart) {
  const std::size_t rows = 3, frames = 2;
  mxArray *z = mxCreateDoubleMatrix(rows, frames, mxCOMPLEX);
  for (std::size_t k = 0; k < rows * frames; ++k) {
    mxGetPr(z)[k] = 1.0 + static_cast<double>(k);
    mxGetPi(z)[k] = -2.0 * static_cast<double>(k);
  }
  mxArray *w = quefwind(z, 22);
  ASSERT_TRUE(mxIsComplex(w));
  for (std::size_t k = 0; k < rows * frames; ++k) {
    double weightOfRow = weight(22, static_cast<int>(k % rows) + 1);
    EXPECT_NEAR(mxGetPr(w)[k], weightOfRow * (1.0 + static_cast<double>(k)), 1e-12) << k;
    EXPECT_NEAR(mxGetPi(w)[k], weightOfRow * -2.0 * static_cast<double>(k), 1e-12) << k;
  }
  mxArray *back = quefwind(w, -22);
  for (std::size_t k = 0; k < rows * frames; ++k) {
    EXPECT_NEAR(mxGetPi(back)[k], -2.0 * static_cast<double>(k), 1e-12) << "undone at " << k;
  }
  mxArray *same = quefwind(z, 0);
  EXPECT_EQ(mxGetPi(same)[5], -10) << "passed through with its imaginary part";
  for (mxArray *a : {same, back, w, z}) mxDestroyArray(a);
}

TEST_F(Quefwind, OddArgumentsGiveAResultOrAClearError) {
  const size_t dims3[] = {3, 2, 2};
  const struct {
    const char *name;
    mxArray *cepsin, *lifterl;
    bool fails;
  } cases[] = {
      {"3-d coefficients", mxCreateNumericArray(3, dims3, mxDOUBLE_CLASS, mxREAL),
       mxCreateDoubleScalar(22), true},
      {"3-d coefficients passed through", mxCreateNumericArray(3, dims3, mxDOUBLE_CLASS, mxREAL),
       mxCreateDoubleScalar(0.5), false},
      {"char coefficients", mxCreateString("abc"), mxCreateDoubleScalar(22), false},
      {"logical L", matrix({2, 2}, {1, 2, 3, 4}), mxCreateLogicalScalar(true), false},
      {"char L", matrix({2, 2}, {1, 2, 3, 4}), mxCreateString("x"), false},
      {"infinite L", matrix({2, 2}, {1, 2, 3, 4}), mxCreateDoubleScalar(kInf), false},
      {"vector L", matrix({2, 2}, {1, 2, 3, 4}), matrix({1, 2}, {22, 22}), true},
      {"empty L", matrix({2, 2}, {1, 2, 3, 4}), matrix({0, 0}, {}), true},
  };
  for (const auto &c : cases) {
    try {
      mxArray *out = nullptr;
      mlfAssign(&out, mlfQuefwind(c.cepsin, c.lifterl));
      EXPECT_FALSE(c.fails) << c.name << ": no error";
      mxDestroyArray(out);
    } catch (const mexrt::Error &e) {
      EXPECT_TRUE(c.fails) << c.name << ": " << e.what();
      EXPECT_GT(std::strlen(e.what()), 10u) << c.name;
    }
    mxDestroyArray(c.lifterl);
    mxDestroyArray(c.cepsin);
  }
}

}  // namespace
