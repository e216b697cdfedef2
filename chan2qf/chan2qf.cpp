// chan2qf: cepstra from log filterbank outputs (one row per channel, one column per frame),
// cepsout(n, j) = sqrt(2/N) * sum_k cos(n * (pi/N) * (k - 0.5)) * logfbout(k, j) for
// n = 1 .. numceps: the orthonormal type-II cosine transform of each column, without term 0.
#include "chan2qf.h"

#include "frame/frame.h"

namespace {

using chan2qf = frame::Function<"chan2qf", 2, 1>;  // inputs logfbout, numceps; output cepsout

constexpr auto _array1_ = chan2qf::outputsMessage;
constexpr auto _array3_ = chan2qf::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // 2.0, dividend of the scale factor
mxArray *_mxarray5_;  // pi, dividend of the angle step
mxArray *_mxarray6_;  // 1.0, first channel index
mxArray *_mxarray7_;  // 0.5, half-channel shift
mxArray *_mxarray8_;  // [], the loop counter when the loop makes no pass

mxArray *Mchan2qf(int nargout_, mxArray *logfbout, mxArray *numceps) {
  mxArray *cepsout = nullptr;
  mxArray *numchans = nullptr;
  mxArray *scalef = nullptr;
  mxArray *kk = nullptr;
  mxArray *cepsmat = nullptr;
  mxArray *n = nullptr;       // the loop counter
  mxArray *frames = nullptr;  // the second size result, never read
  frame::Body<chan2qf> body(_local_function_table_chan2qf,
                            {&cepsout, &numchans, &scalef, &kk, &cepsmat, &n, &frames},
                            {&logfbout, &numceps});

  // [numchans, frames] = size(logfbout)
  mlfVarargoutList sizes = mlfVarargout(&numchans, &frames, nullptr);
  mlfSize(&sizes, mclVa(logfbout, "logfbout"), nullptr);

  // scalef = sqrt(2 / numchans)
  mlfAssign(&scalef, mlfSqrt(mclMrdivide(_mxarray4_, mclVv(numchans, "numchans"))));

  // cepsmat = zeros(numceps, numchans)
  mxArray *rows = mclVa(numceps, "numceps");
  mlfAssign(&cepsmat, mlfZeros(rows, mclVv(numchans, "numchans"), nullptr));

  // kk = (pi / numchans) * ((1:numchans) - 0.5): the quotient is formed once
  mxArray *step = mclMrdivide(_mxarray5_, mclVv(numchans, "numchans"));
  mlfAssign(&kk,
            mclMtimes(step, mclMinus(mlfColon(_mxarray6_, mclVv(numchans, "numchans"), nullptr),
                                     _mxarray7_)));

  // for n = 1:numceps, cepsmat(n, :) = cos(n * kk); the end is fetched once
  {
    int v = mclForIntStart(1);
    const int e = mclForIntEnd(mclVa(numceps, "numceps"));
    if (v > e) {
      mlfAssign(&n, _mxarray8_);
    } else {
      for (;;) {
        mclArrayAssign2(&cepsmat, mlfCos(mclMtimes(mlfScalar(v), mclVv(kk, "kk"))), mlfScalar(v),
                        mlfCreateColonIndex());
        if (v == e) break;
        ++v;
      }
      mlfAssign(&n, mlfScalar(v));
    }
  }

  // cepsout = scalef * (cepsmat * logfbout)
  mxArray *transform = mclVv(cepsmat, "cepsmat");
  mxArray *product = mclMtimes(transform, mclVa(logfbout, "logfbout"));
  mlfAssign(&cepsout, mclMtimes(mclVv(scalef, "scalef"), product));
  return body.ret(nargout_, "cepsout");
}

}  // namespace

LocalFunctionTable _local_function_table_chan2qf = {0, nullptr};

void InitializeModule_chan2qf(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(2.0);
  _mxarray5_ = mclInitializeDouble(3.141592653589793);
  _mxarray6_ = mclInitializeDouble(1.0);
  _mxarray7_ = mclInitializeDouble(0.5);
  _mxarray8_ = mclInitializeDoubleVector(0, 0, nullptr);
}

void TerminateModule_chan2qf(void) {
  frame::destroyInReverse(
      {_mxarray0_, _mxarray2_, _mxarray4_, _mxarray5_, _mxarray6_, _mxarray7_, _mxarray8_});
}

void mlxChan2qf(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<chan2qf, Mchan2qf>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfChan2qf(mxArray *logfbout, mxArray *numceps) {
  return frame::direct<chan2qf, Mchan2qf>(1, logfbout, numceps);
}
