// The audio family: sound files to and from arrays, one column per channel.
#include "mexrt/audio.h"

#include <cmath>
#include <cstring>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// [y, fs] = audioread(file), audioread(file, [first last]).
Results audioread(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  outputs(name, nargout, 2);
  if (!isText(a[0])) raise("audioread: the file name must be text.");
  std::size_t first = 1, last = 0;
  if (a.size() == 2) {
    mxArray *r = a[1];
    if (!r || mxGetClassID(r) != mxDOUBLE_CLASS || mxIsComplex(r) ||
        mxGetNumberOfElements(r) != 2) {
      raise("audioread: the range must be [first last], two whole numbers.");
    }
    const double *v = mxGetPr(r);
    if (!(v[0] >= 1) || !(v[1] >= v[0] - 1) || v[0] != std::floor(v[0]) ||
        v[1] != std::floor(v[1]) || std::isinf(v[1])) {
      raise("audioread: the range must be [first last] with 1 <= first and first <= last + 1.");
    }
    first = static_cast<std::size_t>(v[0]);
    last = static_cast<std::size_t>(v[1]);
    if (last == 0) raise("audioread: the range [first last] reads no frames before frame 1.");
    discard(r);
  }
  std::string file = takeText(a[0], name);
  mexrt::audio::Sound s = mexrt::audio::read(file, first, last);
  mxArray *y = mxCreateDoubleMatrix(s.frames, s.channels, mxREAL);
  if (!s.samples.empty())
    std::memcpy(mxGetPr(y), s.samples.data(), s.samples.size() * sizeof(double));
  Results r{mlfReturnValue(y)};
  if (nargout >= 2) r.push_back(mlfReturnValue(mxCreateDoubleScalar(s.rate)));
  return r;
}

// audiowrite(file, y, fs): y has one column per channel (a row vector is one channel).
Results audiowrite(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 3, 3);
  outputs(name, nargout, 0);
  if (!isText(a[0])) raise("audiowrite: the file name must be text.");
  mxArray *y = a[1];
  if (!y || mxGetClassID(y) != mxDOUBLE_CLASS || mxIsComplex(y) || mxGetNumberOfDimensions(y) > 2) {
    raise("audiowrite: the samples must be a real double matrix, one column per channel.");
  }
  if (!a[2] || mxGetClassID(a[2]) != mxDOUBLE_CLASS || mxGetNumberOfElements(a[2]) != 1 ||
      mxIsComplex(a[2])) {
    raise("audiowrite: the sample rate must be a positive number.");
  }
  double fs = takeNumber(a[2], name);
  std::string file = textOf(a[0]);
  std::size_t frames = mxGetM(y), channels = mxGetN(y);
  if (frames == 1 && channels > 1) std::swap(frames, channels);
  if (frames * channels == 0) raise("audiowrite: the samples are empty.");
  mexrt::audio::write(file, mxGetPr(y), frames, channels, fs);
  discard(a[0]);
  discard(y);
  return {};
}

}  // namespace

std::span<const Builtin> audioFamily() {
  static const Builtin kTable[] = {
      {"audioread", audioread,
       "audioread(file), audioread(file, [first last]), [y, fs] = audioread(...): samples in "
       "[-1, 1], one column per channel, and the rate in Hz"},
      {"audiowrite", audiowrite,
       "audiowrite(file, y, fs): y (one column per channel) as 16-bit PCM WAV (or FLAC, Ogg, "
       "AIFF by extension)"},
  };
  return kTable;
}

}  // namespace shell::builtins
