// quefwind: raised-sine liftering of cepstra (one row per coefficient, one column per frame).
// Row n is multiplied by liftvect(n) = 1 + (L/2) * sin((pi/L) * n) for a positive whole L,
// divided by the same weights for a negative whole L, and passed through for any other L.
#include "quefwind.h"

#include <memory>

#include "frame/frame.h"

namespace {

using quefwind = frame::Function<"quefwind", 2, 1>;  // inputs cepsin, lifterl; output cepsout

constexpr auto _array1_ = quefwind::outputsMessage;
constexpr auto _array3_ = quefwind::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // 1.0: first index, the 1 added to each weight, rows of the ones
mxArray *_mxarray5_;  // 2.0, divisor of lifterl
mxArray *_mxarray6_;  // pi, dividend of the angle step
mxArray *_mxarray7_;  // 0.0, what lifterl is compared with

// The equality result kept across the pass-through test; an error inside the test
// still frees it.
using Kept = std::unique_ptr<mxArray, decltype(&mxDestroyArray)>;

mxArray *Mquefwind(int nargout_, mxArray *cepsin, mxArray *lifterl) {
  mxArray *cepsout = nullptr;
  mxArray *numceps = nullptr;
  mxArray *frames = nullptr;
  mxArray *liftvect = nullptr;
  frame::Body<quefwind> body(_local_function_table_quefwind,
                             {&cepsout, &numceps, &frames, &liftvect}, {&cepsin, &lifterl});

  // [numceps, frames] = size(cepsin)
  mlfVarargoutList sizes = mlfVarargout(&numceps, &frames, nullptr);
  mlfSize(&sizes, mclVa(cepsin, "cepsin"), nullptr);

  // liftvect = 1 + (lifterl / 2) * sin((pi / lifterl) * (1:numceps)), on every call; each
  // quotient is formed once, the half length first.
  mxArray *half = mclMrdivide(mclVa(lifterl, "lifterl"), _mxarray5_);
  mxArray *angle = mclMrdivide(_mxarray6_, mclVa(lifterl, "lifterl"));
  mxArray *sines =
      mclVe(mlfSin(mclMtimes(angle, mlfColon(_mxarray4_, mclVv(numceps, "numceps"), nullptr))));
  mlfAssign(&liftvect, mclPlus(_mxarray4_, mclMtimes(half, sines)));

  // if lifterl == 0 || lifterl ~= round(lifterl): the second test only when the first fails
  Kept isZero(mclInitialize(mclEq(mclVa(lifterl, "lifterl"), _mxarray7_)), &mxDestroyArray);
  bool passThrough = mlfTobool(isZero.get());
  if (!passThrough) {
    mxArray *l = mclVa(lifterl, "lifterl");
    mxArray *notWhole = mclNe(l, mclVe(mlfRound(mclVa(lifterl, "lifterl"))));
    passThrough = mlfTobool(mclOr(isZero.get(), notWhole));
  }
  isZero.reset();

  if (passThrough) {
    // cepsout = cepsin: the same array, its data shared, never an empty stand-in
    mlfAssign(&cepsout, mclVsa(cepsin, "cepsin"));
    return body.ret(nargout_, "cepsout");
  }

  // W = liftvect' * ones(1, frames): every column the weights; then cepsin .* W or ./ W
  const bool positive = mclGtBool(mclVa(lifterl, "lifterl"), _mxarray7_);
  mxArray *x = mclVa(cepsin, "cepsin");
  mxArray *column = mlfCtranspose(mclVv(liftvect, "liftvect"));
  mxArray *W = mclMtimes(column, mclVe(mlfOnes(_mxarray4_, mclVv(frames, "frames"), nullptr)));
  if (positive) {
    mlfAssign(&cepsout, mclTimes(x, W));
  } else {
    mlfAssign(&cepsout, mclRdivide(x, W));
  }
  return body.ret(nargout_, "cepsout");
}

}  // namespace

LocalFunctionTable _local_function_table_quefwind = {0, nullptr};

void InitializeModule_quefwind(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(1.0);
  _mxarray5_ = mclInitializeDouble(2.0);
  _mxarray6_ = mclInitializeDouble(3.141592653589793);
  _mxarray7_ = mclInitializeDouble(0.0);
}

void TerminateModule_quefwind(void) {
  frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_, _mxarray5_, _mxarray6_, _mxarray7_});
}

void mlxQuefwind(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<quefwind, Mquefwind>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfQuefwind(mxArray *cepsin, mxArray *lifterl) {
  return frame::direct<quefwind, Mquefwind>(1, cepsin, lifterl);
}
