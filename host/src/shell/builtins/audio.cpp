// The audio family: sound files to and from arrays, one column per channel.
#include "mexrt/audio.h"

#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// The frames [first last] of audioread's range argument.
std::pair<std::size_t, std::size_t> frameRange(mxArray *r) {
  if (!r || mxGetClassID(r) != mxDOUBLE_CLASS || mxIsComplex(r) || mxGetNumberOfElements(r) != 2) {
    raise("audioread: the range must be [first last], two whole numbers.");
  }
  const double *v = mxGetPr(r);
  if (!(v[0] >= 1) || !(v[1] >= v[0] - 1) || v[0] != std::floor(v[0]) || v[1] != std::floor(v[1]) ||
      std::isinf(v[1])) {
    raise("audioread: the range must be [first last] with 1 <= first and first <= last + 1.");
  }
  auto first = static_cast<std::size_t>(v[0]), last = static_cast<std::size_t>(v[1]);
  if (last == 0) raise("audioread: the range [first last] reads no frames before frame 1.");
  discard(r);
  return {first, last};
}

// [y, fs] = audioread(file), audioread(file, [first last]), and either with a last argument
// 'double' (the default: samples in [-1, 1]) or 'native' (the file's own samples and class).
Results audioread(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 2);
  if (!isText(a[0])) raise("audioread: the file name must be text.");
  bool native = false;
  std::size_t ranged = a.size();
  if (a.size() >= 2 && isText(a.back())) {
    std::string type = takeText(a.back(), name);
    if (type != "native" && type != "double") {
      raise("audioread: the data type must be 'double' or 'native', not '" + type + "'.");
    }
    native = type == "native";
    --ranged;
  }
  if (ranged > 2) raise("audioread: the arguments are (file, [first last], 'native').");
  std::size_t first = 1, last = 0;
  if (ranged == 2) std::tie(first, last) = frameRange(a[1]);
  std::string file = takeText(a[0], name);
  mxArray *y = nullptr;
  double rate = 0;
  if (native) {
    mexrt::audio::NativeSound s = mexrt::audio::readNative(file, first, last);
    y = mxCreateNumericMatrix(s.frames, s.channels, s.cls, mxREAL);
    if (!s.bytes.empty()) std::memcpy(mxGetData(y), s.bytes.data(), s.bytes.size());
    rate = s.rate;
  } else {
    mexrt::audio::Sound s = mexrt::audio::read(file, first, last);
    y = mxCreateDoubleMatrix(s.frames, s.channels, mxREAL);
    if (!s.samples.empty())
      std::memcpy(mxGetPr(y), s.samples.data(), s.samples.size() * sizeof(double));
    rate = s.rate;
  }
  Results r{mlfReturnValue(y)};
  if (nargout >= 2) r.push_back(mlfReturnValue(mxCreateDoubleScalar(rate)));
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
       "[-1, 1], one column per channel, and the rate in Hz; a last argument 'native' gives the "
       "file's own samples (int16 for 16-bit PCM, uint8, int32, single)"},
      {"audiowrite", audiowrite,
       "audiowrite(file, y, fs): y (one column per channel) as 16-bit PCM WAV (or FLAC, Ogg, "
       "AIFF by extension)"},
  };
  return kTable;
}

}  // namespace shell::builtins
