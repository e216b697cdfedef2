// bandsetup: a bank of numchans triangular filters spaced evenly in mels from 0 to
// mel(fsamp/2). fbank is numchans x fftN/2 (fftN: framelen padded up to a power of two);
// row k is channel k, column j is FFT bin j-1 at (j-1)*fsamp/fftN Hz.
#include "bandsetup.h"

#include "assertion.h"
#include "frame/frame.h"
#include "mel.h"

namespace {

using bandsetup = frame::Function<"bandsetup", 3, 1>;  // framelen, numchans, fsamp -> fbank

constexpr auto _array1_ = bandsetup::outputsMessage;
constexpr auto _array3_ = bandsetup::inputsMessage;
// The line ends stay backslash and n; the print turns them into line breaks.
constexpr auto _array7_ = frame::codes(u"Designing a mel-spaced filterbank with %d channels.\\n");
constexpr auto _array9_ = frame::codes(u"Frame length will be %d (zero padded up from %d).\\n");
static_assert(_array7_.size() == 53 && _array9_.size() == 51);
mxArray *_mxarray0_;   // the outputs message
mxArray *_mxarray2_;   // the inputs message
mxArray *_mxarray4_;   // 1
mxArray *_mxarray5_;   // 2
mxArray *_mxarray6_;   // first report format
mxArray *_mxarray8_;   // second report format
mxArray *_mxarray10_;  // 0
mxArray *_mxarray11_;  // [] (0 x 0 double)

mxArray *Mbandsetup(int nargout_, mxArray *framelen, mxArray *numchans, mxArray *fsamp) {
  mxArray *fbank = nullptr;
  mxArray *fftN = nullptr;
  mxArray *ans = nullptr;
  mxArray *fftfreqs = nullptr;
  mxArray *melfft = nullptr;
  mxArray *mello = nullptr;
  mxArray *melhi = nullptr;
  mxArray *melsep = nullptr;
  mxArray *melcent = nullptr;
  mxArray *v = nullptr;
  mxArray *leftchan = nullptr;
  frame::Body<bandsetup> body(
      _local_function_table_bandsetup,
      {&fbank, &fftN, &ans, &fftfreqs, &melfft, &mello, &melhi, &melsep, &melcent, &v, &leftchan},
      {&framelen, &numchans, &fsamp});

  // assert(numchans > 1 & framelen > 1): both sides evaluated, numchans first.
  mxArray *enoughChannels = mclGt(mclVa(numchans, "numchans"), _mxarray4_);
  mlfAssert(mclAnd(enoughChannels, mclGt(mclVa(framelen, "framelen"), _mxarray4_)), nullptr);

  // fftN = 2 ^ ceil(log(framelen) / log(2))
  mxArray *logFramelen = mlfLog(mclVa(framelen, "framelen"));
  mlfAssign(&fftN, mclMpower(_mxarray5_, mlfCeil(mclMrdivide(logFramelen, mlfLog(_mxarray5_)))));

  mclAssignAns(&ans, mlfNFprintf(0, _mxarray4_, _mxarray6_, mclVa(numchans, "numchans"), nullptr));
  mxArray *fftNRead = mclVv(fftN, "fftN");
  mclAssignAns(
      &ans, mlfNFprintf(0, _mxarray4_, _mxarray8_, fftNRead, mclVa(framelen, "framelen"), nullptr));

  // fftfreqs = (0 : fftN/2 - 1) / fftN * fsamp, divided before multiplied
  mxArray *bins = mlfColon(
      _mxarray10_, mclMinus(mclMrdivide(mclVv(fftN, "fftN"), _mxarray5_), _mxarray4_), nullptr);
  mxArray *binFractions = mclMrdivide(bins, mclVv(fftN, "fftN"));
  mlfAssign(&fftfreqs, mclMtimes(binFractions, mclVa(fsamp, "fsamp")));

  mlfAssign(&melfft, mlfMel(mclVv(fftfreqs, "fftfreqs")));
  mlfAssign(&mello, _mxarray10_);
  mlfAssign(&melhi, mlfMel(mclMrdivide(mclVa(fsamp, "fsamp"), _mxarray5_)));
  mxArray *melhiRead = mclVv(melhi, "melhi");
  mlfAssign(&melsep, mclMinus(melhiRead, mclVv(mello, "mello")));

  // melcent = (1 : numchans) / (numchans + 1) * melsep + mello
  mxArray *chans = mlfColon(_mxarray4_, mclVa(numchans, "numchans"), nullptr);
  mxArray *fractions = mclMrdivide(chans, mclPlus(mclVa(numchans, "numchans"), _mxarray4_));
  mxArray *spread = mclMtimes(fractions, mclVv(melsep, "melsep"));
  mlfAssign(&melcent, mclPlus(spread, mclVv(mello, "mello")));

  mxArray *rows = mclVa(numchans, "numchans");
  mlfAssign(&fbank, mlfZeros(rows, mclMrdivide(mclVv(fftN, "fftN"), _mxarray5_), nullptr));

  // for v = 2 : fftN/2; column 1 (0 Hz) is never written.
  {
    int v_ = mclForIntStart(2);
    int e_ = mclForIntEnd(mclMrdivide(mclVv(fftN, "fftN"), _mxarray5_));
    if (v_ > e_) {
      mlfAssign(&v, _mxarray11_);
    } else {
      for (;;) {
        // leftchan = max([0 find(melfft(v) > melcent)]): the centres strictly below the bin
        mxArray *binMel = mclIntArrayRef1(mclVsv(melfft, "melfft"), v_);
        mlfAssign(&leftchan,
                  mlfMax(nullptr,
                         mlfHorzcat(_mxarray10_,
                                    mclVe(mlfFind(nullptr, nullptr,
                                                  mclGt(binMel, mclVv(melcent, "melcent")))),
                                    nullptr),
                         nullptr, nullptr));
        if (mclEqBool(mclVv(leftchan, "leftchan"), _mxarray10_)) {
          // rising edge of channel 1, from mello
          mxArray *rise =
              mclMinus(mclVe(mclIntArrayRef1(mclVsv(melfft, "melfft"), v_)), mclVv(mello, "mello"));
          mxArray *width = mclMinus(mclVe(mclIntArrayRef1(mclVsv(melcent, "melcent"), 1)),
                                    mclVv(mello, "mello"));
          mclIntArrayAssign2(&fbank, mclMrdivide(rise, width), 1, v_);
        } else if (mclEqBool(mclVv(leftchan, "leftchan"), mclVa(numchans, "numchans"))) {
          // falling edge of the last channel, to melhi
          mxArray *fall =
              mclMinus(mclVv(melhi, "melhi"), mclVe(mclIntArrayRef1(mclVsv(melfft, "melfft"), v_)));
          mxArray *width = mclMinus(
              mclVv(melhi, "melhi"),
              mclVe(mclArrayRef1(mclVsv(melcent, "melcent"), mclVsv(leftchan, "leftchan"))));
          mxArray *weight = mclMrdivide(fall, width);
          mclArrayAssign2(&fbank, weight, mclVsa(numchans, "numchans"), mlfScalar(v_));
        } else {
          // falling edge of channel leftchan; channel leftchan+1 rises by the complement
          mxArray *upper = mclArrayRef1(mclVsv(melcent, "melcent"),
                                        mclPlus(mclVv(leftchan, "leftchan"), _mxarray4_));
          mxArray *fall = mclMinus(upper, mclVe(mclIntArrayRef1(mclVsv(melfft, "melfft"), v_)));
          mxArray *upperAgain = mclArrayRef1(mclVsv(melcent, "melcent"),
                                             mclPlus(mclVv(leftchan, "leftchan"), _mxarray4_));
          mxArray *width = mclMinus(upperAgain, mclVe(mclArrayRef1(mclVsv(melcent, "melcent"),
                                                                   mclVsv(leftchan, "leftchan"))));
          mxArray *weight = mclMrdivide(fall, width);
          mclArrayAssign2(&fbank, weight, mclVsv(leftchan, "leftchan"), mlfScalar(v_));
          mxArray *stored =
              mclArrayRef2(mclVsv(fbank, "fbank"), mclVsv(leftchan, "leftchan"), mlfScalar(v_));
          mxArray *complement = mclMinus(_mxarray4_, mclVe(stored));
          mclArrayAssign2(&fbank, complement, mclPlus(mclVv(leftchan, "leftchan"), _mxarray4_),
                          mlfScalar(v_));
        }
        if (v_ == e_) break;
        ++v_;
      }
      mlfAssign(&v, mlfScalar(v_));
    }
  }
  return body.ret(nargout_, "fbank");
}

}  // namespace

LocalFunctionTable _local_function_table_bandsetup = {0, nullptr};

void InitializeModule_bandsetup(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(1.0);
  _mxarray5_ = mclInitializeDouble(2.0);
  _mxarray6_ = frame::string(_array7_);
  _mxarray8_ = frame::string(_array9_);
  _mxarray10_ = mclInitializeDouble(0.0);
  _mxarray11_ = mclInitializeDoubleVector(0, 0, nullptr);
}

void TerminateModule_bandsetup(void) {
  frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_, _mxarray5_, _mxarray6_, _mxarray8_,
                           _mxarray10_, _mxarray11_});
}

void mlxBandsetup(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<bandsetup, Mbandsetup>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfBandsetup(mxArray *framelen, mxArray *numchans, mxArray *fsamp) {
  return frame::direct<bandsetup, Mbandsetup>(1, framelen, numchans, fsamp);
}
