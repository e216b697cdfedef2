// disp and fprintf through the C API: the streams they write, their result, their errors.
#include "array_test_support.h"

namespace mexrt::test {
namespace {

TEST(Printing, FprintfWritesTheFormattedTextAndCountsIt) {
  Var format(mxCreateString("%d of %s\\n"));
  Var name(mxCreateString("two"));
  testing::internal::CaptureStdout();
  Var count(mlfNFprintf(1, mlfScalar(1), format.get(), mlfScalar(2), name.get(), nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "2 of two\n");
  EXPECT_EQ(valuesOf(count.get()), std::vector<double>{9});
  testing::internal::CaptureStderr();
  EXPECT_EQ(mlfNFprintf(0, mlfScalar(2), format.get(), mlfScalar(1), name.get(), nullptr), nullptr)
      << "no result is made when none is asked for";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "1 of two\n");
}

TEST(Printing, BadFileIdentifiersAndFormatsAreClearErrors) {
  size_t live = mexrtLiveArrayCount();
  Var format(mxCreateString("%d\\n"));
  const char *badFid =
      "fprintf: invalid file identifier; only 1 (standard output) and 2 (standard error) can be "
      "written.";
  EXPECT_EQ(errorOf([&] { mlfNFprintf(0, mlfScalar(3), format.get(), mlfScalar(1), nullptr); }), badFid);
  EXPECT_EQ(errorOf([&] { mlfNFprintf(0, tmp(row({1, 2})), format.get(), nullptr); }), badFid);
  EXPECT_EQ(errorOf([&] { mlfNFprintf(0, mlfScalar(1), mlfScalar(5), nullptr); }),
            "fprintf: the format must be text.");
  EXPECT_EQ(errorOf([&] { mlfNFprintf(0, mlfScalar(1), nullptr, nullptr); }),
            "fprintf: an operand is missing (an absent array).");
  EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << "the arguments' temporaries are reclaimed";
}

TEST(Printing, DispShowsTextAndNumbers) {
  Var text(mxCreateString("Assert Failure."));
  testing::internal::CaptureStdout();
  mlfDisp(text.get());
  mlfDisp(mlfScalar(5));
  mlfDisp(tmp(matrix({0, 0}, {})));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Assert Failure.\n     5\n");
}

}  // namespace
}  // namespace mexrt::test
