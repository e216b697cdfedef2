// assert: one displayed line when the condition is non-empty and all zero; never an error.
#include <cmath>

#include "support.h"

namespace bandsetup_test {
namespace {

using Assert = Units;

enum class Message { absent, empty, text };

TEST_F(Assert, DisplaysTheMessageOnlyForAFalseCondition) {
  const struct {
    const char *name;
    std::vector<size_t> dims;
    std::vector<double> condition;
    Message message;
    const char *shown;
  } cases[] = {
      {"0, no message", {1, 1}, {0}, Message::absent, "Assert Failure.\n"},
      {"0, empty message", {1, 1}, {0}, Message::empty, "Assert Failure.\n"},
      {"0, message", {1, 1}, {0}, Message::text, "channels too few\n"},
      {"[0 0], message", {1, 2}, {0, 0}, Message::text, "channels too few\n"},
      {"[0; 0], no message", {2, 1}, {0, 0}, Message::absent, "Assert Failure.\n"},
      {"1, no message", {1, 1}, {1}, Message::absent, ""},
      {"1, empty message", {1, 1}, {1}, Message::empty, ""},
      {"1, message", {1, 1}, {1}, Message::text, ""},
      {"[1 0], message", {1, 2}, {1, 0}, Message::text, ""},
      {"[1 0], no message", {1, 2}, {1, 0}, Message::absent, ""},
      {"[], message", {0, 0}, {}, Message::text, ""},
      {"[], no message", {0, 0}, {}, Message::absent, ""},
  };
  for (const auto &c : cases) {
    Var condition(matrix(c.dims, c.condition));
    Var message(c.message == Message::text    ? mxCreateString("channels too few")
                : c.message == Message::empty ? mxCreateString("")
                                              : nullptr);
    Outcome o = run([&] {
      mlfAssert(condition.get(), message.get());
      return nullptr;
    });
    EXPECT_EQ(o.error, "") << c.name;
    EXPECT_EQ(o.out, c.shown) << c.name;
    EXPECT_FALSE(o.leaked) << c.name;
  }
}

TEST_F(Assert, LogicalFalseDisplaysToo) {
  Var zero(mxCreateLogicalScalar(false)), one(mxCreateLogicalScalar(true));
  EXPECT_EQ(run([&] { return mlfAssert(zero.get(), nullptr), nullptr; }).out, "Assert Failure.\n");
  EXPECT_EQ(run([&] { return mlfAssert(one.get(), nullptr), nullptr; }).out, "");
}

// A NaN is not zero, so the condition is not all false: nothing is displayed, nothing raised.
TEST_F(Assert, NaNConditionHoldsAndNeverRaises) {
  Var condition(mxCreateDoubleScalar(std::nan("")));
  Outcome o = run([&] { return mlfAssert(condition.get(), nullptr), nullptr; });
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.out, "");
  EXPECT_FALSE(o.leaked);
}

TEST_F(Assert, WithoutArgumentsTheMessageIsUndefined) {
  Outcome o = run([] { return mlfAssert(nullptr, nullptr), nullptr; });
  EXPECT_EQ(o.error, "Input argument \"message\" is undefined.");
  EXPECT_EQ(o.out, "");
  EXPECT_FALSE(o.leaked);
}

}  // namespace
}  // namespace bandsetup_test
