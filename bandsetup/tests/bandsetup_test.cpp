// bandsetup: the report lines, the transform size, the triangle weights and the failures.
#include <cmath>
#include <limits>
#include <optional>

#include "support.h"

namespace bandsetup_test {
namespace {

using Bandsetup = Units;

struct Args {
  std::optional<double> framelen, numchans, fsamp;
};

Outcome design(const Args &a) {
  auto make = [](std::optional<double> v) { return Var(v ? mxCreateDoubleScalar(*v) : nullptr); };
  Var framelen = make(a.framelen), numchans = make(a.numchans), fsamp = make(a.fsamp);
  return run([&] { return mlfBandsetup(framelen.get(), numchans.get(), fsamp.get()); });
}

std::string reportLines(int numchans, int fftN, int framelen) {
  return "Designing a mel-spaced filterbank with " + std::to_string(numchans) +
         " channels.\nFrame length will be " + std::to_string(fftN) + " (zero padded up from " +
         std::to_string(framelen) + ").\n";
}

// fbank(row, col), 1-based.
double at(const Outcome &o, size_t row, size_t col) {
  return o.values[(col - 1) * o.dims[0] + (row - 1)];
}

// The weight of channel k at bin b evaluated straight from the triangle: linear in mels
// between the neighbouring centres, the bank's edges 0 and mel(fsamp/2) beyond the ends.
double triangle(int framelen, int numchans, double fsamp, int k, int b) {
  double fftN = std::exp2(std::ceil(std::log2(framelen)));
  auto mel = [](double hz) { return 1127 * std::log1p(hz / 700); };
  double hi = mel(fsamp / 2);
  auto centre = [&](int j) { return j * hi / (numchans + 1); };  // centre 0 and n+1: the edges
  double m = mel(b * fsamp / fftN);
  if (b == 0) return 0;
  if (m > centre(k - 1) && m <= centre(k)) return (m - centre(k - 1)) / (centre(k) - centre(k - 1));
  if (m > centre(k) && m <= centre(k + 1)) return (centre(k + 1) - m) / (centre(k + 1) - centre(k));
  return 0;
}

TEST_F(Bandsetup, WorkedExample) {
  Outcome o = design({8, 2, 800});
  EXPECT_EQ(o.out, reportLines(2, 8, 8));
  ASSERT_EQ(o.dims, (std::vector<size_t>{2, 4})) << o.error;
  const double q = std::log(11.0 / 7);
  const double expected[2][4] = {
      {0, 3 * std::log(8.0 / 7) / q, 2 - 3 * std::log(9.0 / 7) / q, 0},
      {0, 0, 3 * std::log(9.0 / 7) / q - 1, 3 - 3 * std::log(10.0 / 7) / q},
  };
  for (size_t r = 1; r <= 2; ++r) {
    for (size_t c = 1; c <= 4; ++c) {
      EXPECT_NEAR(at(o, r, c), expected[r - 1][c - 1], 1e-12) << "fbank(" << r << "," << c << ")";
    }
  }
  EXPECT_FALSE(o.leaked);
}

TEST_F(Bandsetup, TransformSizeIsTheNextPowerOfTwo) {
  const struct {
    int framelen, fftN;
  } cases[] = {{6, 8}, {8, 8}, {200, 256}, {255, 256}, {256, 256}, {257, 512}, {1000, 1024}};
  for (const auto &c : cases) {
    Outcome o = design({c.framelen, 4, 8000});
    EXPECT_EQ(o.out, reportLines(4, c.fftN, c.framelen)) << "framelen " << c.framelen;
    EXPECT_EQ(o.dims, (std::vector<size_t>{4, size_t(c.fftN / 2)})) << "framelen " << c.framelen;
  }
  Outcome two = design({2, 3, 8000});
  EXPECT_EQ(two.out, reportLines(3, 2, 2));
  EXPECT_EQ(two.dims, (std::vector<size_t>{3, 1}));
  EXPECT_EQ(two.values, (std::vector<double>{0, 0, 0})) << "no pass of the loop";
  EXPECT_FALSE(two.leaked);
}

TEST_F(Bandsetup, EveryColumnIsAtMostTwoAdjacentWeights) {
  const Args cases[] = {{8, 2, 800},      {64, 3, 8000},     {256, 12, 8000}, {400, 23, 16000},
                        {512, 40, 16000}, {1024, 40, 44100}, {128, 60, 8000}};
  for (const Args &a : cases) {
    std::string name = std::to_string(int(*a.framelen)) + "/" + std::to_string(int(*a.numchans)) +
                       "/" + std::to_string(int(*a.fsamp));
    Outcome o = design(a);
    ASSERT_EQ(o.dims.size(), 2u) << name << ": " << o.error;
    const size_t rows = o.dims[0], cols = o.dims[1];
    for (size_t r = 1; r <= rows; ++r) EXPECT_EQ(at(o, r, 1), 0) << name << " column 1";
    for (size_t c = 2; c <= cols; ++c) {
      std::vector<size_t> nonzero;
      double sum = 0;
      for (size_t r = 1; r <= rows; ++r) {
        double w = at(o, r, c);
        EXPECT_TRUE(w >= 0 && w <= 1) << name << " fbank(" << r << "," << c << ") = " << w;
        if (w != 0) nonzero.push_back(r);
        sum += w;
      }
      ASSERT_LE(nonzero.size(), 2u) << name << " column " << c;
      if (nonzero.size() == 2) {
        EXPECT_EQ(nonzero[1], nonzero[0] + 1) << name << " column " << c;
        EXPECT_NEAR(sum, 1, 1e-12) << name << " column " << c;
      }
    }
    EXPECT_FALSE(o.leaked) << name;
  }
}

TEST_F(Bandsetup, MatchesTheTriangleFormulaElementByElement) {
  const struct {
    int framelen, numchans;
    double fsamp;
  } cases[] = {{400, 23, 16000}, {1024, 40, 44100}, {256, 20, 8000}, {160, 2, 8000}};
  for (const auto &c : cases) {
    Outcome o = design({c.framelen, c.numchans, c.fsamp});
    ASSERT_EQ(o.dims.size(), 2u) << c.framelen << ": " << o.error;
    ASSERT_EQ(o.dims[0], size_t(c.numchans));
    for (size_t col = 1; col <= o.dims[1]; ++col) {
      for (int k = 1; k <= c.numchans; ++k) {
        EXPECT_NEAR(at(o, k, col), triangle(c.framelen, c.numchans, c.fsamp, k, int(col) - 1),
                    1e-12)
            << c.framelen << "/" << c.numchans << " fbank(" << k << "," << col << ")";
      }
    }
  }
}

// fsamp 11200 and fftN 8 put bin 1 at 1400 Hz, whose mel value 1127 ln 3 is exactly half of
// mel(5600) = 1127 ln 9: the centre of channel 1 of one channel, of channel 2 of three.
// log(x) as the runtime computes it, which is what the designer's mel values rest on.
double runtimeLog(double x) {
  Var in(mxCreateDoubleScalar(x));
  mxArray *y = mlfLog(in.get());
  double v = mxGetPr(y)[0];
  mxDestroyArray(y);
  return v;
}

TEST_F(Bandsetup, BinOnACentreWeighsOneThereAndZeroBelow) {
  // With fsamp = 1400 (x^2 - 1) and fftN = 2 (x + 1), bin 1 lies at 700 (x - 1) Hz, whose mel
  // 1127 log(x) is the centre of channel 2 of 3, half of 1127 log(x^2), exactly when the
  // runtime's log(x^2) is 2 log(x). The first x (x + 1 a power of two) for which that holds.
  double x = 0;
  for (double candidate : {3.0, 7.0, 15.0, 31.0}) {
    if (runtimeLog(candidate * candidate) == 2 * runtimeLog(candidate)) {
      x = candidate;
      break;
    }
  }
  ASSERT_NE(x, 0) << "the premise of the exact centre holds for none of the candidates";
  const double framelen = 2 * (x + 1), fsamp = 1400 * (x * x - 1);
  Outcome three = design({framelen, 3, fsamp});
  ASSERT_EQ(three.dims, (std::vector<size_t>{3, static_cast<size_t>(x + 1)})) << three.error;
  EXPECT_EQ(at(three, 2, 2), 1) << "on the centre of channel 2 (x = " << x << ")";
  EXPECT_EQ(at(three, 1, 2), 0) << "the channel below (x = " << x << ")";
  EXPECT_EQ(at(three, 3, 2), 0) << "the channel above (x = " << x << ")";
}

TEST_F(Bandsetup, OneChannelIsReportedAndStillOneTriangle) {
  Outcome o = design({8, 1, 11200});
  EXPECT_EQ(o.out, "Assert Failure.\n" + reportLines(1, 8, 8));
  ASSERT_EQ(o.dims, (std::vector<size_t>{1, 4})) << o.error;
  const double hi = 1127 * std::log(9.0);
  const double expected[] = {0, 1, (hi - 1127 * std::log1p(2800 / 700.0)) / (hi / 2),
                             (hi - 1127 * std::log1p(4200 / 700.0)) / (hi / 2)};
  for (size_t c = 1; c <= 4; ++c)
    EXPECT_NEAR(at(o, 1, c), expected[c - 1], 1e-12) << "column " << c;
  EXPECT_EQ(at(o, 1, 2), 1) << "the peak sits on bin 1";
}

TEST_F(Bandsetup, FailuresComeAtTheFirstUseOfAnArgument) {
  const struct {
    const char *name;
    Args args;
    std::string out, error;
  } cases[] = {
      {"nothing", {}, "", "Input argument \"numchans\" is undefined."},
      {"framelen alone", {8, {}, {}}, "", "Input argument \"numchans\" is undefined."},
      {"numchans alone", {{}, 2, {}}, "", "Input argument \"framelen\" is undefined."},
      {"no fsamp", {8, 2, {}}, reportLines(2, 8, 8), "Input argument \"fsamp\" is undefined."},
  };
  for (const auto &c : cases) {
    Outcome o = design(c.args);
    EXPECT_EQ(o.out, c.out) << c.name;
    EXPECT_EQ(o.error, c.error) << c.name;
    EXPECT_FALSE(o.leaked) << c.name;
  }
}

TEST_F(Bandsetup, NoChannelsEndsInAnIndexError) {
  for (double numchans : {0.0, -3.0}) {
    Outcome o = design({8, numchans, 800});
    EXPECT_EQ(o.out.rfind("Assert Failure.\nDesigning a mel-spaced filterbank with ", 0), 0u)
        << numchans << ": " << o.out;
    EXPECT_NE(o.error.find("Index exceeds matrix dimensions"), std::string::npos)
        << numchans << ": " << o.error;
    EXPECT_TRUE(o.values.empty()) << numchans;
    EXPECT_FALSE(o.leaked) << numchans;
  }
}

// Arguments outside the design's domain give a result or a clear error, never a crash or a leak.
TEST_F(Bandsetup, OddArgumentsEndCleanly) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const Args cases[] = {{nan, 2, 800}, {inf, 2, 800}, {1e300, 2, 800}, {1, 2, 800},   {0, 2, 800},
                        {-8, 2, 800},  {8, nan, 800}, {8, inf, 800},   {8, 2.5, 800}, {8, 2, 0},
                        {8, 2, -800},  {8, 2, nan},   {8.5, 2, 800}};
  for (const Args &a : cases) {
    std::string name = std::to_string(*a.framelen) + "/" + std::to_string(*a.numchans) + "/" +
                       std::to_string(*a.fsamp);
    Outcome o = design(a);
    EXPECT_TRUE(o.error.empty() != o.dims.empty()) << name << ": " << o.error;
    EXPECT_FALSE(o.leaked) << name;
  }
}

}  // namespace
}  // namespace bandsetup_test
