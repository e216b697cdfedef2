// twice: y = 2 .* x element by element; y has the shape of x.
#include "frame/frame.h"
#include "units.h"

namespace {

using twice = frame::Function<"twice", 1, 1>;  // input x, output y

constexpr auto _array1_ = twice::outputsMessage;
constexpr auto _array3_ = twice::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // 2

mxArray *Mtwice(int nargout_, mxArray *x) {
  mxArray *y = nullptr;
  frame::Body<twice> body(_local_function_table_twice, {&y}, {&x});
  mlfAssign(&y, mclTimes(_mxarray4_, mclVa(x, "x")));
  return body.ret(nargout_, "y");
}

}  // namespace

LocalFunctionTable _local_function_table_twice = {0, nullptr};

void InitializeModule_twice(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(2.0);
}

void TerminateModule_twice(void) { frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_}); }

void mlxTwice(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<twice, Mtwice>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfTwice(mxArray *x) { return frame::direct<twice, Mtwice>(1, x); }
