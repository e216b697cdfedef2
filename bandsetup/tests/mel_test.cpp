// mel: Hz to mels element by element, in the shape [rows, product of the other dimensions].
#include <cmath>
#include <limits>

#include "support.h"

namespace bandsetup_test {
namespace {

using Mel = Units;

Outcome melOf(mxArray *owned) {
  Var freq(owned);
  return run([&] { return mlfMel(freq.get()); });
}

TEST_F(Mel, ReferenceValues) {
  const struct {
    const char *name;
    double hz, mels;
  } cases[] = {
      {"0 Hz", 0, 0},
      {"700 Hz", 700, 1127 * std::log(2.0)},
      {"700 (e - 1) Hz", 700 * (std::exp(1.0) - 1), 1127},
      {"1000 Hz", 1000, 1127 * std::log(1 + 1000 / 700.0)},
      {"8000 Hz", 8000, 1127 * std::log(1 + 8000 / 700.0)},
  };
  for (const auto &c : cases) {
    Outcome o = melOf(mxCreateDoubleScalar(c.hz));
    ASSERT_EQ(o.values.size(), 1u) << c.name << ": " << o.error;
    EXPECT_NEAR(o.values[0], c.mels, 1e-9) << c.name;
  }
  Outcome minus700 = melOf(mxCreateDoubleScalar(-700));
  ASSERT_EQ(minus700.values.size(), 1u);
  EXPECT_EQ(minus700.values[0], -std::numeric_limits<double>::infinity());
}

// Below -700 Hz, 1 + f/700 is negative and its logarithm complex: 1127 (ln|1 + f/700| + pi i).
TEST_F(Mel, BelowMinus700HzIsComplex) {
  const double e = std::exp(1.0), turn = 1127 * M_PI;
  Outcome o = melOf(row({-1400, -700 * (e + 1), 0, -350}));
  ASSERT_EQ(o.error, "");
  ASSERT_EQ(o.imags.size(), 4u) << "the whole result is complex";
  const double re[] = {0, 1127, 0, 1127 * std::log(0.5)}, im[] = {turn, turn, 0, 0};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(o.values[k], re[k], 1e-9) << "element " << k;
    EXPECT_NEAR(o.imags[k], im[k], 1e-9) << "element " << k;
  }
  EXPECT_FALSE(o.leaked);
  Outcome above = melOf(row({-699, 0, 1000}));
  EXPECT_TRUE(above.imags.empty()) << "from -700 Hz up the result stays real";
}

TEST_F(Mel, GrowsWithShrinkingSteps) {
  std::vector<double> hz;
  for (double f = 0; f <= 24000; f += 250) hz.push_back(f);
  Outcome o = melOf(row(hz));
  ASSERT_EQ(o.values.size(), hz.size()) << o.error;
  for (size_t k = 2; k < hz.size(); ++k) {
    double step = o.values[k] - o.values[k - 1], before = o.values[k - 1] - o.values[k - 2];
    EXPECT_GT(step, 0) << "at " << hz[k] << " Hz";
    EXPECT_LT(step, before) << "at " << hz[k] << " Hz";
  }
}

TEST_F(Mel, KeepsRowsAndFoldsTrailingDimensions) {
  const struct {
    const char *name;
    std::vector<size_t> in, out;
  } cases[] = {
      {"scalar", {1, 1}, {1, 1}},    {"row", {1, 5}, {1, 5}},
      {"column", {4, 1}, {4, 1}},    {"matrix", {2, 3}, {2, 3}},
      {"empty 0x0", {0, 0}, {0, 0}}, {"empty 0x3", {0, 3}, {0, 3}},
      {"2x3x4", {2, 3, 4}, {2, 12}}, {"3x1x2x2", {3, 1, 2, 2}, {3, 4}},
  };
  for (const auto &c : cases) {
    size_t n = 1;
    for (size_t d : c.in) n *= d;
    std::vector<double> hz(n);
    for (size_t k = 0; k < n; ++k) hz[k] = 100.0 * static_cast<double>(k);
    Outcome o = melOf(matrix(c.in, hz));
    EXPECT_EQ(o.error, "") << c.name;
    EXPECT_EQ(o.dims, c.out) << c.name;
    ASSERT_EQ(o.values.size(), n) << c.name;
    for (size_t k = 0; k < n; ++k) {
      EXPECT_NEAR(o.values[k], 1127 * std::log1p(hz[k] / 700), 1e-9) << c.name << " element " << k;
    }
    EXPECT_FALSE(o.leaked) << c.name;
  }
}

TEST_F(Mel, MissingArgumentNamesFreq) {
  Outcome o = run([] { return mlfMel(nullptr); });
  EXPECT_EQ(o.error, "Input argument \"freq\" is undefined.");
  EXPECT_FALSE(o.leaked);
}

}  // namespace
}  // namespace bandsetup_test
