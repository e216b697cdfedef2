// The decibel library as an application program uses it: initialise, db, terminate.
#include "zeta.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "mexrt/error.h"

namespace {

using mexrt::test::errorOf;
using mexrt::test::matrix;

class Zeta : public mexrt::test::ModuleTest<zetaInitialize, zetaTerminate> {};

double dbOf(double x) {
  mxArray *in = mxCreateDoubleScalar(x);
  mxArray *y = nullptr;
  mlfAssign(&y, mlfDb(in));
  double v = mxGetPr(y)[0];
  mxDestroyArray(y);
  mxDestroyArray(in);
  return v;
}

TEST_F(Zeta, ReferenceValues) {
  const struct { double x, expected; } cases[] = {{1, 0}, {10, 20}, {100, 40}, {1e-3, -60}};
  for (const auto &c : cases) EXPECT_NEAR(dbOf(c.x), c.expected, 1e-12) << "x = " << c.x;
  EXPECT_DOUBLE_EQ(dbOf(0.5), -dbOf(2));
  EXPECT_EQ(dbOf(0), -INFINITY);
}

// 20 log10(-x) = 20 log10(x) + (20 pi / ln 10) i: a negative magnitude has a complex level,
// as the host's log10 of a negative number is complex.
TEST_F(Zeta, NegativeValuesHaveComplexLevels) {
  mxArray *x = matrix({1, 3}, {-1, -10, 100});
  mxArray *y = nullptr;
  mlfAssign(&y, mlfDb(x));
  ASSERT_TRUE(mxIsComplex(y));
  const double turn = 20 * M_PI / M_LN10;  // 27.2875...
  const double re[] = {0, 20, 40}, im[] = {turn, turn, 0};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(mxGetPr(y)[k], re[k], 1e-12) << "element " << k;
    EXPECT_NEAR(mxGetPi(y)[k], im[k], 1e-12) << "element " << k;
  }
  mxDestroyArray(y);
  mxDestroyArray(x);
}

TEST_F(Zeta, KeepsTheShapeAndConvertsEachElement) {
  mxArray *x = matrix({2, 3}, {1, 10, 100, 1e3, 1e4, 1e5});
  mxArray *y = nullptr;
  mlfAssign(&y, mlfDb(x));
  ASSERT_EQ(mxGetM(y), 2u);
  ASSERT_EQ(mxGetN(y), 3u);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(mxGetPr(y)[k], 20.0 * k, 1e-12) << "element " << k;
  EXPECT_EQ(mxGetPr(x)[1], 10.0) << "the input is untouched";
  mxDestroyArray(y);
  mxDestroyArray(x);
}

TEST_F(Zeta, GatewayChecksCountsBeforeComputing) {
  mxArray *x = mxCreateDoubleScalar(10);
  mxArray *plhs[2] = {nullptr, nullptr};
  mxArray *prhs[2] = {x, x};
  size_t live = mexrtLiveArrayCount();
  try {
    mlxDb(2, plhs, 2, prhs);
    FAIL() << "two outputs accepted";
  } catch (const mexrt::Error &e) {
    EXPECT_STREQ(e.what(),
                 "Run-time Error: File: db Line: 1 Column: 1 The function \"db\" was called with "
                 "more than the declared number of outputs (1).");
  }
  EXPECT_EQ(plhs[0], nullptr);
  EXPECT_EQ(mexrtLiveArrayCount(), live);
  mlxDb(0, plhs, 1, prhs);  // no requested output still fills the first slot
  ASSERT_NE(plhs[0], nullptr);
  EXPECT_NEAR(mxGetPr(plhs[0])[0], 20.0, 1e-12);
  mxDestroyArray(plhs[0]);
  mxDestroyArray(x);
}

TEST_F(Zeta, AbsentArgumentNamesX) {
  size_t live = mexrtLiveArrayCount();
  EXPECT_EQ(errorOf([] { mlfDb(nullptr); }), "Input argument \"x\" is undefined.");
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "nothing leaks on the error path";
}

std::vector<std::string> destroyed;
void recordDestroyed(const mxArray *a) {
  if (char *s = mxArrayToString(a)) {
    destroyed.emplace_back(s);
    mxFree(s);
  } else {
    destroyed.push_back(std::to_string(mxGetPr(a)[0]));
  }
}

// db through its gateway with its n-th allocation made to fail, for n from 1 until the call
// succeeds, on a real and on a complex-valued input: every failure is the "Out of memory"
// error, leaks nothing, and the next call succeeds.
TEST_F(Zeta, EveryFailedAllocationIsOutOfMemory) {
  for (double first : {10.0, -10.0}) {
    mxArray *x = matrix({1, 3}, {first, 0.5, 0});
    auto call = [&](size_t failAt) {
      size_t live = mexrtLiveArrayCount();
      mxArray *plhs[1] = {nullptr};
      std::string raised;
      mexrtFailAllocation(failAt);
      try {
        mlxDb(1, plhs, 1, &x);
      } catch (const mexrt::Error &e) {
        raised = e.what();
      }
      mexrtFailAllocation(0);
      mxDestroyArray(plhs[0]);
      EXPECT_EQ(mexrtLiveArrayCount(), live) << "failing at allocation " << failAt;
      return raised;
    };
    size_t failAt = 1;
    for (std::string raised; !(raised = call(failAt)).empty(); ++failAt) {
      EXPECT_NE(raised.find("Out of memory"), std::string::npos)
          << "failing at allocation " << failAt << ": " << raised;
      EXPECT_EQ(call(0), "") << "after a failure at allocation " << failAt;
      ASSERT_LT(failAt, 1000u);
    }
    std::cout << "db of " << first << ", 0.5, 0: " << failAt - 1 << " failure points\n";
    mxDestroyArray(x);
  }
}

TEST(ZetaLifecycle, TerminateDestroysTheConstantsOnceLastBuiltFirst) {
  size_t before = mexrtLiveArrayCount();
  zetaInitialize();
  EXPECT_EQ(mexrtLiveArrayCount(), before + 3);
  destroyed.clear();
  mexrtSetDestroyObserver(recordDestroyed);
  zetaTerminate();
  zetaTerminate();
  mexrtSetDestroyObserver(nullptr);
  const std::vector<std::string> expected = {
      std::to_string(20.0),
      "Run-time Error: File: db Line: 1 Column: 1 The function \"db\" was called with more than "
      "the declared number of inputs (1).",
      "Run-time Error: File: db Line: 1 Column: 1 The function \"db\" was called with more than "
      "the declared number of outputs (1).",
  };
  EXPECT_EQ(destroyed, expected) << "_mxarray4_, _mxarray2_, then _mxarray0_";
  EXPECT_EQ(mexrtLiveArrayCount(), before);
}

TEST(ZetaLifecycle, NestedInitialiseKeepsConstantsUntilTheLastTerminate) {
  size_t before = mexrtLiveArrayCount();
  zetaInitialize();
  EXPECT_EQ(mexrtLiveArrayCount(), before + 3) << "three constants built";
  zetaInitialize();
  EXPECT_EQ(mexrtLiveArrayCount(), before + 3) << "a nested initialise only counts";
  zetaTerminate();
  EXPECT_NEAR(dbOf(100), 40, 1e-12) << "constants survive the inner terminate";
  zetaTerminate();
  EXPECT_EQ(mexrtLiveArrayCount(), before) << "the last terminate destroys them";
  zetaTerminate();  // a terminate without an initialise does nothing
  EXPECT_EQ(mexrtLiveArrayCount(), before);
}

}  // namespace
