// The plan cache of the Fourier transforms: one plan per kind and length, made once.
#include <gtest/gtest.h>

#include "mexrt/mathlib.h"
#include "transforms/plans.h"

namespace mexrt::detail {
namespace {

TEST(FftPlans, AreMadeOncePerKindAndLength) {
  PlanCache &cache = PlanCache::instance();
  mxArray *frame = mxCreateDoubleMatrix(400, 3, mxREAL);
  mxArray *n = mxCreateDoubleScalar(1024);
  auto transform = [&] { mxDestroyArray(mlfFft(frame, n, nullptr)); };
  transform();
  const std::size_t plans = cache.size();
  for (int k = 0; k < 5; ++k) transform();
  EXPECT_EQ(cache.size(), plans) << "the same length reuses its plan";
  EXPECT_EQ(cache.plan(PlanKind::RealToComplex, 1024), cache.plan(PlanKind::RealToComplex, 1024));
  mxDestroyArray(mlfFft(frame, nullptr, nullptr));
  EXPECT_EQ(cache.size(), plans + 1) << "a new length makes one plan more";
  mxDestroyArray(mlfIfft(frame, nullptr, nullptr, nullptr));
  EXPECT_EQ(cache.size(), plans + 1) << "the inverse of real data uses the same plan";
  mxDestroyArray(n);
  mxDestroyArray(frame);
}

}  // namespace
}  // namespace mexrt::detail
