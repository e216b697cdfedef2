// The features family: the front end's library (MFCC, filterbank and spectrogram features,
// deltas, sliding normalisation) with its options as name-value pairs by Kaldi's names.
// Feature matrices hold one frame per column, as everywhere in the toolbox.
#include "melceps/features.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// The samples: a real double vector, or the first column of a matrix.
std::vector<double> samplesOf(const mxArray *y, const char *name) {
  if (!y || mxGetClassID(y) != mxDOUBLE_CLASS || mxIsComplex(y) || mxGetNumberOfDimensions(y) > 2) {
    raise(std::string(name) + ": the samples must be a real double vector.");
  }
  const size_t m = mxGetM(y), n = mxGetN(y);
  const double *p = mxGetPr(y);
  const size_t count = m == 1 ? n : m;  // a row, or the first column
  return std::vector<double>(p, p + (m * n == 0 ? 0 : count));
}

// Kept out of line: GCC otherwise warns about the text member a record without one might have.
[[gnu::noinline]] void assignText(std::string &to, const mxArray *v) { to = textOf(v); }

// One option's value from an array: a logical or 0/1 for a flag, a whole number, a number,
// or text, as the option's type in the record says.
template <class Record>
bool setFrom(Record &record, const std::string &key, const mxArray *v, const char *name) {
  const melceps::OptionField<Record> *field = melceps::findOption<Record>(key);
  if (!field) return false;
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          if (!isText(v)) raise(std::string(name) + ": the option '" + key + "' takes text.");
          assignText(record.*member, v);
        } else {
          const bool number = v && mxGetNumberOfElements(v) == 1 && !mxIsComplex(v) &&
                              (mxGetClassID(v) == mxDOUBLE_CLASS || mxIsLogical(v));
          if (!number) raise(std::string(name) + ": the option '" + key + "' takes a number.");
          const double x =
              mxIsLogical(v) ? static_cast<const bool *>(mxGetData(v))[0] : mxGetPr(v)[0];
          if constexpr (std::is_same_v<T, bool>) {
            if (x != 0 && x != 1)
              raise(std::string(name) + ": the option '" + key + "' takes true or false.");
            record.*member = x != 0;
          } else if constexpr (std::is_same_v<T, int64_t>) {
            if (x != std::floor(x) || std::abs(x) > 1e15)
              raise(std::string(name) + ": the option '" + key + "' takes a whole number.");
            record.*member = static_cast<int64_t>(x);
          } else {
            record.*member = x;
          }
        }
      },
      field->member);
  return true;
}

// The name-value pairs from `first` on: the front end's options, and those of deltas and
// of sliding normalisation, each turning its stage on.
struct Settings {
  melceps::Options features;
  std::optional<melceps::DeltaOptions> deltas;
  std::optional<melceps::CmvnOptions> cmvn;
};

Settings settingsFrom(const Args &a, size_t first, const char *name) {
  if ((a.size() - first) % 2 != 0) raise(std::string(name) + ": options come in name-value pairs.");
  Settings s;
  for (size_t k = first; k < a.size(); k += 2) {
    if (!isText(a[k])) raise(std::string(name) + ": an option's name must be text.");
    std::string key = textOf(a[k]);
    if (key == "sample_frequency") {
      raise(std::string(name) + ": the sampling frequency is the argument fs, not an option.");
    }
    melceps::DeltaOptions d = s.deltas.value_or(melceps::DeltaOptions{});
    melceps::CmvnOptions c = s.cmvn.value_or(melceps::CmvnOptions{});
    if (setFrom(s.features, key, a[k + 1], name)) continue;
    if (setFrom(d, key, a[k + 1], name)) {
      s.deltas = d;
      continue;
    }
    if (setFrom(c, key, a[k + 1], name)) {
      s.cmvn = c;
      continue;
    }
    raise(std::string(name) + ": unknown option '" + key + "'.");
  }
  return s;
}

// c = features(kind, y, fs, 'name', value, ...): one column per frame.
Results features(Evaluator &, const char *name, Args &a, int nargout) {
  if (a.size() < 3) raise("features: expects a kind, the samples and their sampling frequency.");
  outputs(name, nargout, 1);
  if (!isText(a[0])) raise("features: the kind must be 'mfcc', 'fbank' or 'spectrogram'.");
  const std::string kind_name = textOf(a[0]);
  std::vector<double> y = samplesOf(a[1], name);
  if (!a[2] || mxGetClassID(a[2]) != mxDOUBLE_CLASS || mxGetNumberOfElements(a[2]) != 1 ||
      mxIsComplex(a[2])) {
    raise("features: the sampling frequency must be a number of Hz.");
  }
  Settings s = settingsFrom(a, 3, name);
  s.features.sample_frequency = mxGetPr(a[2])[0];
  try {
    const melceps::Kind kind = melceps::parseKind(kind_name);
    int64_t dim = melceps::featureDim(kind, s.features);
    if (s.deltas) {
      melceps::validate(*s.deltas);
      dim = melceps::deltaDim(dim, *s.deltas);
    }
    const int64_t frames = melceps::frameCount(s.features, static_cast<int64_t>(y.size()));
    // Frames x dims by rows is dims x frames by columns.
    mxArray *c = mxCreateDoubleMatrix(dim, frames, mxREAL);
    try {
      melceps::compute(kind, s.features, y, mxGetPr(c), s.cmvn ? &*s.cmvn : nullptr,
                       s.deltas ? &*s.deltas : nullptr);
    } catch (...) {
      mxDestroyArray(c);
      throw;
    }
    for (mxArray *arg : a) discard(arg);
    return one(mlfReturnValue(c));
  } catch (const melceps::Error &e) {
    raise(std::string("features: ") + e.what());
  }
}

}  // namespace

std::span<const Builtin> featuresFamily() {
  static const Builtin kTable[] = {
      {"features", features,
       "features(kind, y, fs, 'name', value, ...): 'mfcc', 'fbank' or 'spectrogram' features "
       "of the samples y (on the 16-bit scale for Kaldi's values), one column per frame, with "
       "Kaldi's options by name ('num_ceps', 'num_mel_bins', 'use_energy', 'snip_edges', ...); "
       "'order'/'window' add deltas, 'cmn_window'/'center'/'norm_vars' sliding normalisation"},
  };
  return kTable;
}

}  // namespace shell::builtins
