// mel: Hz to mels, mels = 1127 * ln(1 + freq / 700) element by element; mels has the rows
// of freq and the product of its trailing dimensions as columns.
#include "mel.h"

#include "frame/frame.h"

namespace {

using mel = frame::Function<"mel", 1, 1>;  // input freq, output mels

constexpr auto _array1_ = mel::outputsMessage;
constexpr auto _array3_ = mel::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // 1127
mxArray *_mxarray5_;  // 1
mxArray *_mxarray6_;  // 700

mxArray *Mmel(int nargout_, mxArray *freq) {
  mxArray *mels = nullptr;
  mxArray *r = nullptr;
  mxArray *c = nullptr;
  frame::Body<mel> body(_local_function_table_mel, {&mels, &r, &c}, {&freq});
  // [r, c] = size(freq): c takes the product of the trailing dimensions.
  mlfVarargoutList rc = mlfVarargout(&r, &c, nullptr);
  mlfSize(&rc, mclVa(freq, "freq"), nullptr);
  mlfAssign(&freq, mclArrayRef1(mclVsa(freq, "freq"), mlfCreateColonIndex()));
  mlfAssign(
      &mels,
      mclMtimes(_mxarray4_,
                mclVe(mlfLog(mclPlus(_mxarray5_, mclMrdivide(mclVa(freq, "freq"), _mxarray6_))))));
  mxArray *melsRead = mclVv(mels, "mels");
  mxArray *rRead = mclVv(r, "r");
  mlfAssign(&mels, mlfReshape(melsRead, rRead, mclVv(c, "c"), nullptr));
  return body.ret(nargout_, "mels");
}

}  // namespace

LocalFunctionTable _local_function_table_mel = {0, nullptr};

void InitializeModule_mel(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(1127.0);
  _mxarray5_ = mclInitializeDouble(1.0);
  _mxarray6_ = mclInitializeDouble(700.0);
}

void TerminateModule_mel(void) {
  frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_, _mxarray5_, _mxarray6_});
}

void mlxMel(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<mel, Mmel>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfMel(mxArray *freq) { return frame::direct<mel, Mmel>(1, freq); }
