// melceps/options.h: the front end's options, each named, typed, defaulted and explained once.
// Every caller (C and C++ programs, Python keywords, the host's name-value pairs, the corpus
// extractor's flags) reads its options from these lists. Names, meanings and defaults are
// those of Kaldi's compute-mfcc-feats, compute-fbank-feats and compute-spectrogram-feats, with
// the defaults of torchaudio.compliance.kaldi (no dither, energy floor 1).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

// X(type, name, default, help): one option; the help is its one-line comment.
#define MELCEPS_FEATURE_OPTIONS(X)                                                                 \
  X(double, sample_frequency, 16000.0, "sampling frequency of the samples, Hz (16000)")            \
  X(double, frame_length, 25.0, "frame length, ms (25)")                                           \
  X(double, frame_shift, 10.0, "frame shift, ms (10)")                                             \
  X(double, dither, 0.0, "standard deviation of Gaussian noise added to each sample (0: none)")    \
  X(int64_t, dither_seed, 0,                                                                       \
    "seed of the dither noise: a seed gives the same noise every run (0)")                         \
  X(bool, remove_dc_offset, true, "subtract each frame's mean before anything else (true)")        \
  X(double, preemphasis_coefficient, 0.97, "x[i] - p x[i-1] within the frame, 0 for none (0.97)")  \
  X(std::string, window_type, "povey",                                                             \
    "povey, hamming, hanning, rectangular, blackman or sine (povey)")                              \
  X(double, blackman_coeff, 0.42, "the constant of the generalised Blackman window (0.42)")        \
  X(bool, snip_edges, true,                                                                        \
    "only frames that fit in the signal; false: frames centred every shift, edges reflected "      \
    "(true)")                                                                                      \
  X(bool, round_to_power_of_two, true, "zero-pad each frame to a power of two for the FFT (true)") \
  X(int64_t, num_mel_bins, 23, "number of triangular mel filters (23)")                            \
  X(double, low_freq, 20.0, "low cut-off of the mel filters, Hz (20)")                             \
  X(double, high_freq, 0.0,                                                                        \
    "high cut-off of the mel filters, Hz; 0 or less: offset from Nyquist (0)")                     \
  X(bool, use_energy, false,                                                                       \
    "log energy in place of c0 (mfcc), or as an extra column (fbank) (false)")                     \
  X(bool, raw_energy, true, "energy before pre-emphasis and window; false: after them (true)")     \
  X(double, energy_floor, 1.0, "floor of the energy before its log, 0 for none (1)")               \
  X(int64_t, num_ceps, 13, "number of cepstral coefficients, c0 included (13)")                    \
  X(double, cepstral_lifter, 22.0,                                                                 \
    "length L of the lifter 1 + L/2 sin(pi n / L), 0 for none (22)")                               \
  X(bool, use_power, true, "filter the power spectrum; false: the magnitude spectrum (true)")      \
  X(bool, use_log_fbank, true, "log of the filterbank energies (fbank); false: linear (true)")     \
  X(bool, htk_compat, false, "HTK's order: energy or c0 last, c0 without its sqrt(2) (false)")     \
  X(bool, subtract_mean, false, "subtract each column's mean over the utterance (false)")

#define MELCEPS_DELTA_OPTIONS(X)                                                      \
  X(int64_t, order, 2, "deltas up to this order: 1 deltas, 2 also accelerations (2)") \
  X(int64_t, window, 2, "frames on each side of the regression window (2)")

#define MELCEPS_CMVN_OPTIONS(X)                                                             \
  X(int64_t, cmn_window, 600, "frames in the sliding window of the mean (600)")             \
  X(int64_t, min_cmn_window, 100,                                                           \
    "least frames of the window at the start, when not centred (100)")                      \
  X(bool, center, false, "window centred on the frame; false: the frames up to it (false)") \
  X(bool, norm_vars, false, "also scale each dimension to unit variance (false)")

namespace melceps {

#define MELCEPS_MEMBER(type, name, value, help) type name = value;

// The options of framing, spectra, filterbanks and cepstra.
struct Options {
  MELCEPS_FEATURE_OPTIONS(MELCEPS_MEMBER)
};

// Deltas and accelerations as Kaldi's add-deltas computes them.
struct DeltaOptions {
  MELCEPS_DELTA_OPTIONS(MELCEPS_MEMBER)
};

// Mean (and variance) normalisation over a sliding window, as Kaldi's apply-cmvn-sliding.
struct CmvnOptions {
  MELCEPS_CMVN_OPTIONS(MELCEPS_MEMBER)
};

#undef MELCEPS_MEMBER

// The kinds of features: cepstra, log (or linear) mel filterbank energies, log power spectra.
enum class Kind { mfcc, fbank, spectrogram };

// "mfcc", "fbank", "spectrogram"; parseKind throws melceps::Error for any other name.
std::string_view kindName(Kind kind);
Kind parseKind(std::string_view name);

// One option as callers see it: its name, type, help, and where it lives in its record.
template <class Record>
struct OptionField {
  using Member =
      std::variant<bool Record::*, int64_t Record::*, double Record::*, std::string Record::*>;
  const char *name;
  const char *help;
  Member member;
};

std::span<const OptionField<Options>> optionFields(const Options *);
std::span<const OptionField<DeltaOptions>> optionFields(const DeltaOptions *);
std::span<const OptionField<CmvnOptions>> optionFields(const CmvnOptions *);

// The field of a record by name, or nullptr.
template <class Record>
const OptionField<Record> *findOption(std::string_view name) {
  for (const auto &f : optionFields(static_cast<const Record *>(nullptr))) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

// Sets an option of a record from text ("true"/"false"/"1"/"0", a number, a name), as a
// command line gives it. Throws melceps::Error naming the option for an unknown name or a
// value that does not parse.
void setOption(Options &record, std::string_view name, std::string_view text);
void setOption(DeltaOptions &record, std::string_view name, std::string_view text);
void setOption(CmvnOptions &record, std::string_view name, std::string_view text);

// The value of an option as text, in the form setOption reads.
std::string optionText(const Options &record, const OptionField<Options> &field);
std::string optionText(const DeltaOptions &record, const OptionField<DeltaOptions> &field);
std::string optionText(const CmvnOptions &record, const OptionField<CmvnOptions> &field);

// The high cut-off in Hz that high_freq means: itself when positive, else an offset from
// the Nyquist frequency.
double highCutoff(const Options &options);

// Throws melceps::Error with a message naming the first option whose value the kind cannot
// use (a window that does not exist, cut-offs outside 0 .. Nyquist, more mel bins than the
// spectrum has bins for, ...).
void validate(const Options &options, Kind kind);
void validate(const DeltaOptions &options);
void validate(const CmvnOptions &options);

}  // namespace melceps
