// Variables, copies on write, contexts, errors and warnings, and counted library start-up.
#include <cstdint>
#include <vector>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

TEST(CopyOnWrite, ACopyNeverSeesALaterWriteAndTheReverse) {
  Var a(row({1, 2, 3}));
  mxArray *b = a.get();
  mclCopyArray(&b);  // b: an owned copy sharing a's storage
  mclIntArrayAssign2(&b, mlfScalar(99), 1, 2);
  EXPECT_EQ(valuesOf(a.get()), (std::vector<double>{1, 2, 3}))
      << "the original after writing the copy";
  EXPECT_EQ(valuesOf(b), (std::vector<double>{1, 99, 3}));
  mxArray *c = nullptr;
  mlfAssign(&c, a.get());    // c shares a's storage
  mxGetPr(a.get())[0] = -1;  // writing the original through the host API unshares it
  EXPECT_EQ(valuesOf(c), (std::vector<double>{1, 2, 3})) << "the copy after writing the original";
  mxDestroyArray(b);
  mxDestroyArray(c);
  mxArray *absent = nullptr;
  mclCopyArray(&absent);
  EXPECT_EQ(absent, nullptr) << "absent stays absent";
}

TEST(Variables, AssignTakesTemporariesOverAndReleasesTheOldValue) {
  size_t live = mexrtLiveArrayCount();
  mxArray *v = nullptr;
  mlfAssign(&v, mlfScalar(1));
  mlfAssign(&v, mlfScalar(2));  // the 1 is released
  EXPECT_EQ(mexrtLiveArrayCount(), live + 1);
  mlfAssign(&v, v);  // v = v keeps the value
  EXPECT_EQ(valuesOf(v), std::vector<double>{2});
  Var constant(mclInitializeDouble(7));
  mlfAssign(&v, constant.get());  // a constant is shared, never consumed
  mxDestroyArray(v);
  EXPECT_EQ(valuesOf(constant.get()), std::vector<double>{7});
  EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << "only the constant is left";
  mxArray *ans = nullptr;
  mclAssignAns(&ans, nullptr);  // a call without a result leaves ans alone
  EXPECT_EQ(ans, nullptr);
}

TEST(Variables, NarginCountsThePresentInputs) {
  Var x(mlfScalar(1));
  EXPECT_EQ(mclNargin(2, x.get(), x.get(), nullptr), 2);
  EXPECT_EQ(mclNargin(2, x.get(), nullptr, nullptr), 1);
  EXPECT_EQ(mclNargin(2, nullptr, nullptr, nullptr), 0);
}

TEST(Contexts, RestoreReclaimsTemporaryInputsAndAMarkReclaimsTheRest) {
  size_t live = mexrtLiveArrayCount();
  Var kept(mlfScalar(3));
  mxArray *passed = mlfScalar(4);
  mlfEnterNewContext(0, 2, kept.get(), passed);
  mlfRestorePreviousContext(0, 2, kept.get(), passed);
  EXPECT_EQ(mexrtLiveArrayCount(), live + 1)
      << "the temporary input is reclaimed, the variable kept";
  uint64_t mark = mclTempMark();
  mlfScalar(1);
  mclPlus(mlfScalar(1), mlfScalar(2));
  mclReleaseTempsSince(mark);
  EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << "temporaries left by an interrupted call";
}

TEST(Errors, MessagesAndWarnings) {
  Var message(mxCreateString("exactly this text"));
  EXPECT_EQ(errorOf([&] { mlfError(message.get()); }), "exactly this text");
  EXPECT_EQ(errorOf([] { mclValidateError(0, "x"); }), "Input argument \"x\" is undefined.");
  EXPECT_EQ(errorOf([] { mclValidateError(1, "mat0"); }), "Variable \"mat0\" is undefined.");
  testing::internal::CaptureStderr();
  EXPECT_NE(mclUninitWarning("v") & 0xff, 0) << "an empty array stands in for the value";
  mclValidateOutputWarning("y", "db");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: Variable \"v\" may be used before it is defined.\n"
            "Warning: Output argument \"y\" was not assigned during the call to \"db\".\n");
}

std::vector<int> g_calls;
void build1() { g_calls.push_back(1); }
void build2() { g_calls.push_back(2); }
void term1() { g_calls.push_back(-1); }
void term2() { g_calls.push_back(-2); }
void failingBuild() { throw Error("cannot build"); }

TEST(LibraryInit, CountedInitialiseAndTerminate) {
  InitTermEntry rows[] = {{build1, term1}, {build2, term2}};
  ModuleInfo info{1, 0, nullptr, 0, 0, 0, 0, 2, rows};
  int32_t count = 0;
  g_calls.clear();
  mclLibTerm(&count, &info);  // terminate without initialise: nothing
  mclLibInit(&count, &info);
  mclLibInit(&count, &info);  // nested: counts only
  mclLibTerm(&count, &info);
  EXPECT_EQ(g_calls, (std::vector<int>{1, 2})) << "builders in table order, nothing destroyed yet";
  mclLibTerm(&count, &info);
  EXPECT_EQ(g_calls, (std::vector<int>{1, 2, -2, -1})) << "destroyers in reverse order";
  EXPECT_EQ(count, 0);

  InitTermEntry failing[] = {{build1, term1}, {failingBuild, term2}};
  ModuleInfo bad{1, 0, nullptr, 0, 0, 0, 0, 2, failing};
  g_calls.clear();
  EXPECT_EQ(errorOf([&] { mclLibInit(&count, &bad); }), "cannot build");
  EXPECT_EQ(g_calls, (std::vector<int>{1, -1})) << "a failed start undoes what it built";
  EXPECT_EQ(count, 0);
  ModuleInfo wrongVersion{2, 0, nullptr, 0, 0, 0, 0, 0, nullptr};
  EXPECT_NE(errorOf([&] { mclLibInit(&count, &wrongVersion); }), "");
}

}  // namespace
}  // namespace mexrt::test

namespace mexrt::test {
namespace {

TEST(HostApi, SizesWhoseElementCountOverflowsAreRefused) {
  const std::vector<std::vector<size_t>> cases = {
      {size_t{1} << 33, size_t{1} << 33},  // 2^66 elements: the count wraps to 0
      {size_t{1} << 62, 4},                // 2^64 elements
      {size_t{1} << 61, 1},                // fits as a count, not as bytes
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &dims : cases) {
    std::string message = errorOf([&] {
      mxDestroyArray(mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxREAL));
    });
    EXPECT_NE(message.find("is too large"), std::string::npos)
        << dims[0] << "x" << dims[1] << ": " << message;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
  size_t empty[] = {size_t{1} << 62, 0, size_t{1} << 62};
  Var e(mxCreateNumericArray(3, empty, mxDOUBLE_CLASS, mxREAL));
  EXPECT_EQ(mxGetNumberOfElements(e.get()), 0u) << "an empty dimension makes any size empty";
}

// The largest array: one whose byte size fits in 64 bits is asked of the system, and when the
// system cannot give it that is the error naming the bytes; one byte size beyond is refused
// before any allocation. Each leaves nothing behind.
TEST(HostApi, TheLargestArraysFailWithClearErrors) {
  const struct {
    const char *what;
    size_t rows, cols;
    std::string message;
  } cases[] = {
      {"the largest byte size", (SIZE_MAX >> 3), 1,
       "Out of memory: cannot allocate " + std::to_string((SIZE_MAX >> 3) * 8) + " bytes."},
      {"half the address range", size_t{1} << 60, 1,
       "Out of memory: cannot allocate 9223372036854775808 bytes."},
      {"one element beyond", (SIZE_MAX >> 3) + 1, 1,
       "Out of memory: an array of size 2305843009213693952x1 is too large."},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    EXPECT_EQ(errorOf([&] { mxDestroyArray(mxCreateDoubleMatrix(c.rows, c.cols, mxREAL)); }),
              c.message)
        << c.what;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

}  // namespace
}  // namespace mexrt::test
