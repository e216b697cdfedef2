// assert: displays message (or "Assert Failure.") when condition is non-empty and all zero;
// never raises and returns nothing, so the caller always goes on.
#include "assertion.h"
#include "frame/frame.h"

namespace {

using assert_ = frame::Function<"assert", 2, 0>;  // inputs condition, message

constexpr auto _array1_ = assert_::outputsMessage;
constexpr auto _array3_ = assert_::inputsMessage;
constexpr auto _array6_ = frame::codes(u"Assert Failure.");
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // the empty character array
mxArray *_mxarray5_;  // "Assert Failure."

void Massert(mxArray *condition, mxArray *message) {
  // Counting present handles gives the same before and after the copies, which keep
  // absent inputs absent.
  frame::Body<assert_> body(_local_function_table_assert, {}, {&condition, &message});
  int nargin_ = mclNargin(2, condition, message, nullptr);
  if (nargin_ == 1) mlfAssign(&message, _mxarray4_);
  if (mlfTobool(mclVe(mlfIsempty(mclVa(message, "message"))))) mlfAssign(&message, _mxarray5_);
  if (mclNotBool(mclVa(condition, "condition"))) mlfDisp(mclVa(message, "message"));
  body.ret();
}

}  // namespace

LocalFunctionTable _local_function_table_assert = {0, nullptr};

void InitializeModule_assert(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeCharVector(0, 0, nullptr);
  _mxarray5_ = frame::string(_array6_);
}

void TerminateModule_assert(void) {
  frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_, _mxarray5_});
}

void mlxAssert(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<assert_, Massert>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

void mlfAssert(mxArray *condition, mxArray *message) {
  frame::directVoid<assert_, Massert>(condition, message);
}
