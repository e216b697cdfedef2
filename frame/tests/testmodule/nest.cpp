// nest: y = twice(x), then note(y, b); a body that calls other units' direct entries.
#include "frame/frame.h"
#include "units.h"

namespace {

using nest = frame::Function<"nest", 2, 1>;  // inputs x, b; output y

constexpr auto _array1_ = nest::outputsMessage;
constexpr auto _array3_ = nest::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message

mxArray *Mnest(int nargout_, mxArray *x, mxArray *b) {
  mxArray *y = nullptr;
  frame::Body<nest> body(_local_function_table_nest, {&y}, {&x, &b});
  mlfAssign(&y, mlfTwice(mclVa(x, "x")));
  mlfNote(mclVv(y, "y"), mclVa(b, "b"));
  return body.ret(nargout_, "y");
}

}  // namespace

LocalFunctionTable _local_function_table_nest = {0, nullptr};

void InitializeModule_nest(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
}

void TerminateModule_nest(void) { frame::destroyInReverse({_mxarray0_, _mxarray2_}); }

void mlxNest(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<nest, Mnest>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfNest(mxArray *x, mxArray *b) { return frame::direct<nest, Mnest>(1, x, b); }
