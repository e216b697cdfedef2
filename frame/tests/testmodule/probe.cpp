// probe: y = nargout when x is true, so a caller sees the count the body was asked for;
// when x is false y is never assigned.
#include "frame/frame.h"
#include "units.h"

namespace {

using probe = frame::Function<"probe", 1, 1>;  // input x, output y

constexpr auto _array1_ = probe::outputsMessage;
constexpr auto _array3_ = probe::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message

mxArray *Mprobe(int nargout_, mxArray *x) {
  mxArray *y = nullptr;
  frame::Body<probe> body(_local_function_table_probe, {&y}, {&x});
  if (mlfTobool(mclVa(x, "x"))) mlfAssign(&y, mlfScalar(nargout_));
  return body.ret(nargout_, "y");
}

}  // namespace

LocalFunctionTable _local_function_table_probe = {0, nullptr};

void InitializeModule_probe(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
}

void TerminateModule_probe(void) { frame::destroyInReverse({_mxarray0_, _mxarray2_}); }

void mlxProbe(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<probe, Mprobe>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfProbe(mxArray *x) { return frame::direct<probe, Mprobe>(1, x); }
