// chan2qf called through its direct entry: worked values, shapes, frame independence, an
// independent cosine-transform check, and the errors of missing inputs.
#include "chan2qf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "mexrt/error.h"

namespace {

using mexrt::test::matrix;
using mexrt::test::ModuleTest;

constexpr double kSqrt2 = std::numbers::sqrt2;

// The result of chan2qf as a plain matrix; the arguments are destroyed.
struct Result {
  std::size_t rows = 0, cols = 0;
  std::vector<double> v;
  double at(std::size_t r, std::size_t c) const { return v[r + c * rows]; }
};
Result chan2qf(mxArray *logfbout, double numceps) {
  mxArray *n = mxCreateDoubleScalar(numceps);
  mxArray *out = nullptr;
  mlfAssign(&out, mlfChan2qf(logfbout, n));
  Result r{mxGetM(out), mxGetN(out), {}};
  r.v.assign(mxGetPr(out), mxGetPr(out) + mxGetNumberOfElements(out));
  mxDestroyArray(out);
  mxDestroyArray(n);
  mxDestroyArray(logfbout);
  return r;
}

class Chan2qf : public ModuleTest<InitializeModule_chan2qf, TerminateModule_chan2qf> {};

TEST_F(Chan2qf, KnownValues) {
  const struct {
    const char *name;
    std::size_t channels;
    std::vector<double> column;
    int numceps;
    std::vector<double> expected;
  } cases[] = {
      {"[1; 0], 2 coefficients", 2, {1, 0}, 2, {kSqrt2 / 2, 0}},
      {"4 equal channels, 7 coefficients", 4, {3, 3, 3, 3}, 7, {0, 0, 0, 0, 0, 0, 0}},
      {"5 equal channels, 9 coefficients", 5, {-2, -2, -2, -2, -2}, 9, std::vector<double>(9, 0)},
  };
  for (const auto &c : cases) {
    Result r = chan2qf(matrix({c.channels, 1}, c.column), c.numceps);
    ASSERT_EQ(r.rows, c.expected.size()) << c.name;
    ASSERT_EQ(r.cols, 1u) << c.name;
    for (std::size_t n = 0; n < r.rows; ++n) {
      EXPECT_NEAR(r.v[n], c.expected[n], 1e-14) << c.name << ", coefficient " << n + 1;
    }
  }
}

TEST_F(Chan2qf, OneChannelAlternatesSigns) {
  const std::vector<double> frames = {1.5, -2, 0, 7};
  Result r = chan2qf(matrix({1, frames.size()}, frames), 12);
  ASSERT_EQ(r.rows, 12u);
  ASSERT_EQ(r.cols, frames.size());
  for (std::size_t n = 1; n <= 12; ++n) {
    // cos(n * pi/2): 0, -1, 0, +1, ... times sqrt(2)
    const double factor = n % 2 ? 0.0 : (n % 4 == 2 ? -kSqrt2 : kSqrt2);
    for (std::size_t j = 0; j < frames.size(); ++j) {
      EXPECT_NEAR(r.at(n - 1, j), factor * frames[j], 1e-14 * std::fabs(frames[j]))
          << "row " << n << ", frame " << j + 1;
    }
  }
}

TEST_F(Chan2qf, EmptyShapes) {
  const struct {
    const char *name;
    std::size_t channels, frames;
    double numceps;
    std::size_t rows;
    bool allNaN;
  } cases[] = {
      {"0 coefficients", 6, 5, 0, 0, false},
      {"negative coefficient count", 6, 5, -3, 0, false},
      {"no channels", 0, 4, 3, 3, true},
      {"no frames", 6, 0, 3, 3, false},
  };
  for (const auto &c : cases) {
    Result r = chan2qf(
        matrix({c.channels, c.frames}, std::vector<double>(c.channels * c.frames, 1)), c.numceps);
    EXPECT_EQ(r.rows, c.rows) << c.name;
    EXPECT_EQ(r.cols, c.frames) << c.name;
    for (double v : r.v) EXPECT_EQ(std::isnan(v), c.allNaN) << c.name << ": " << v;
  }
}

TEST_F(Chan2qf, FramesAreTransformedIndependently) {
  const std::size_t channels = 9, frames = 6;
  std::vector<double> data(channels * frames);
  for (std::size_t k = 0; k < data.size(); ++k) data[k] = std::sin(0.7 * k) * (k % 5);
  Result all = chan2qf(matrix({channels, frames}, data), 8);
  ASSERT_EQ(all.cols, frames);
  for (std::size_t j = 0; j < frames; ++j) {
    std::vector<double> column(data.begin() + j * channels, data.begin() + (j + 1) * channels);
    Result one = chan2qf(matrix({channels, 1}, column), 8);
    // BLAS may take another kernel for one column than for six, so the sums may round
    // differently: equal to a few units in the last place of the frame's scale.
    double scale = 0;
    for (double v : column) scale += std::fabs(v);
    for (std::size_t n = 0; n < 8; ++n) {
      EXPECT_NEAR(all.at(n, j), one.v[n], 8 * std::numeric_limits<double>::epsilon() * scale)
          << "frame " << j + 1 << ", coefficient " << n + 1;
    }
  }
}

// Coefficient n of one frame from the cosine sum, in long double.
long double dctTerm(const std::vector<double> &data, std::size_t channels, std::size_t frame,
                    std::size_t n) {
  const long double pi = std::numbers::pi_v<long double>;
  long double sum = 0;
  for (std::size_t k = 0; k < channels; ++k) {
    sum += std::cos(n * pi * (k + 0.5L) / channels) * data[k + frame * channels];
  }
  return std::sqrt(2.0L / channels) * sum;
}

TEST_F(Chan2qf, AgreesWithTheOrthonormalCosineTransform) {
  std::mt19937_64 rng(20240617);
  std::normal_distribution<double> value(-3.0, 4.0);
  const struct {
    std::size_t channels, frames;
    int numceps;
  } cases[] = {{23, 1, 12}, {23, 17, 22},  {23, 1000, 13},
               {40, 1, 39}, {40, 250, 12}, {40, 1000, 20}};
  for (const auto &c : cases) {
    std::vector<double> data(c.channels * c.frames);
    for (double &d : data) d = value(rng);
    Result r = chan2qf(matrix({c.channels, c.frames}, data), c.numceps);
    ASSERT_EQ(r.rows, static_cast<std::size_t>(c.numceps));
    ASSERT_EQ(r.cols, c.frames);
    for (std::size_t j = 0; j < c.frames; ++j) {
      std::vector<long double> ref(c.numceps);
      long double scale = 0;
      for (int n = 1; n <= c.numceps; ++n) {
        ref[n - 1] = dctTerm(data, c.channels, j, n);
        scale = std::max(scale, std::fabs(ref[n - 1]));
      }
      for (int n = 1; n <= c.numceps; ++n) {
        const long double err = std::fabs(r.at(n - 1, j) - ref[n - 1]);
        ASSERT_LE(err, 1e-12L * scale)
            << c.channels << " x " << c.frames << ": frame " << j + 1 << ", coefficient " << n;
      }
    }
  }
}

TEST_F(Chan2qf, MissingInputsAreNamed) {
  const struct {
    const char *name;
    bool logfbout, numceps;
    const char *message;
  } cases[] = {
      {"no inputs", false, false, "Input argument \"logfbout\" is undefined."},
      {"numceps only", false, true, "Input argument \"logfbout\" is undefined."},
      {"logfbout only", true, false, "Input argument \"numceps\" is undefined."},
  };
  for (const auto &c : cases) {
    mxArray *x = c.logfbout ? matrix({3, 2}, {1, 2, 3, 4, 5, 6}) : nullptr;
    mxArray *n = c.numceps ? mxCreateDoubleScalar(2) : nullptr;
    try {
      mlfChan2qf(x, n);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
    mxDestroyArray(n);
    mxDestroyArray(x);
  }
}

TEST_F(Chan2qf, MissingNumcepsFailsAfterTheSize) {
  // An uninitialised logfbout warns when the size reads it; numceps fails afterwards.
  testing::internal::CaptureStderr();
  try {
    mlfChan2qf(mclGetUninitializedArray(), nullptr);
    ADD_FAILURE() << "no error";
  } catch (const mexrt::Error &e) {
    EXPECT_STREQ(e.what(), "Input argument \"numceps\" is undefined.");
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: Variable \"logfbout\" may be used before it is defined.\n");
}

// The transform is linear with a real matrix: a complex input's cepstra are the cepstra of
// its real part plus i times those of its imaginary part.
TEST_F(Chan2qf, ComplexOutputsTransformPartByPart) {
  const std::vector<double> re = {1, -2, 0.5, 3, 0, -1}, im = {0.25, 4, -3, 0, 2, 1};
  mxArray *z = mxCreateDoubleMatrix(3, 2, mxCOMPLEX);
  for (std::size_t k = 0; k < 6; ++k) {
    mxGetPr(z)[k] = re[k];
    mxGetPi(z)[k] = im[k];
  }
  mxArray *n = mxCreateDoubleScalar(4);
  mxArray *out = nullptr;
  mlfAssign(&out, mlfChan2qf(z, n));
  ASSERT_TRUE(mxIsComplex(out));
  ASSERT_EQ(mxGetM(out), 4u);
  ASSERT_EQ(mxGetN(out), 2u);
  Result realPart = chan2qf(matrix({3, 2}, re), 4), imagPart = chan2qf(matrix({3, 2}, im), 4);
  for (std::size_t k = 0; k < 8; ++k) {
    EXPECT_NEAR(mxGetPr(out)[k], realPart.v[k], 1e-14) << "real part of element " << k;
    EXPECT_NEAR(mxGetPi(out)[k], imagPart.v[k], 1e-14) << "imaginary part of element " << k;
  }
  for (mxArray *a : {out, n, z}) mxDestroyArray(a);
}

TEST_F(Chan2qf, OddArgumentsGiveAResultOrAClearError) {
  const size_t dims3[] = {4, 2, 3};
  const double kNaN = std::nan("");
  const struct {
    const char *name;
    mxArray *logfbout, *numceps;
    bool fails;
  } cases[] = {
      {"3-d outputs", mxCreateNumericArray(3, dims3, mxDOUBLE_CLASS, mxREAL),
       mxCreateDoubleScalar(3), true},
      {"char outputs", mxCreateString("abcd"), mxCreateDoubleScalar(3), false},
      {"logical count", matrix({3, 2}, {}), mxCreateLogicalScalar(true), false},
      {"fractional count", matrix({3, 2}, {}), mxCreateDoubleScalar(2.5), true},
      {"NaN count", matrix({3, 2}, {}), mxCreateDoubleScalar(kNaN), true},
      {"infinite count", matrix({3, 2}, {}), mxCreateDoubleScalar(INFINITY), true},
      {"vector count", matrix({3, 2}, {}), matrix({1, 2}, {2, 3}), true},
      {"empty count", matrix({3, 2}, {}), matrix({0, 0}, {}), false},
      {"NaN outputs", matrix({2, 1}, {kNaN, 1}), mxCreateDoubleScalar(2), false},
  };
  for (const auto &c : cases) {
    try {
      mxArray *out = nullptr;
      mlfAssign(&out, mlfChan2qf(c.logfbout, c.numceps));
      EXPECT_FALSE(c.fails) << c.name << ": no error";
      mxDestroyArray(out);
    } catch (const mexrt::Error &e) {
      EXPECT_TRUE(c.fails) << c.name << ": " << e.what();
      EXPECT_GT(std::string(e.what()).size(), 10u) << c.name;
    }
    mxDestroyArray(c.numceps);
    mxDestroyArray(c.logfbout);
  }
}

}  // namespace
