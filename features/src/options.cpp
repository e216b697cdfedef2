// The tables of the option records, reading options from text, and the checks of values.
#include "melceps/options.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "melceps/features.h"

namespace melceps {
namespace {

#define MELCEPS_FEATURE_FIELD(type, name, value, help) {#name, help, &Options::name},
#define MELCEPS_DELTA_FIELD(type, name, value, help) {#name, help, &DeltaOptions::name},
#define MELCEPS_CMVN_FIELD(type, name, value, help) {#name, help, &CmvnOptions::name},

const OptionField<Options> kFeatureFields[] = {MELCEPS_FEATURE_OPTIONS(MELCEPS_FEATURE_FIELD)};
const OptionField<DeltaOptions> kDeltaFields[] = {MELCEPS_DELTA_OPTIONS(MELCEPS_DELTA_FIELD)};
const OptionField<CmvnOptions> kCmvnFields[] = {MELCEPS_CMVN_OPTIONS(MELCEPS_CMVN_FIELD)};

std::string show(double v) {
  std::ostringstream out;
  out.precision(17);
  out << v;
  return out.str();
}

[[noreturn]] void badValue(std::string_view name, std::string_view text, const char *expected) {
  throw Error("The option " + std::string(name) + " takes " + expected + ", not '" +
              std::string(text) + "'.");
}

template <class Record>
void setFromText(Record &record, std::string_view name, std::string_view text) {
  const OptionField<Record> *field = findOption<Record>(name);
  if (!field) throw Error("Unknown option '" + std::string(name) + "'.");
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<T, bool>) {
          if (text == "true" || text == "1") {
            record.*member = true;
          } else if (text == "false" || text == "0") {
            record.*member = false;
          } else {
            badValue(name, text, "true or false");
          }
        } else if constexpr (std::is_same_v<T, int64_t>) {
          int64_t v = 0;
          auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
          if (ec != std::errc() || end != text.data() + text.size() || text.empty())
            badValue(name, text, "a whole number");
          record.*member = v;
        } else if constexpr (std::is_same_v<T, double>) {
          std::string s(text);
          char *end = nullptr;
          double v = s.empty() ? 0.0 : std::strtod(s.c_str(), &end);
          if (s.empty() || *end != '\0') badValue(name, text, "a number");
          record.*member = v;
        } else {
          record.*member = std::string(text);
        }
      },
      field->member);
}

void check(bool ok, const std::string &message) {
  if (!ok) throw Error(message);
}

bool finite(double v) { return std::isfinite(v); }

}  // namespace

std::span<const OptionField<Options>> optionFields(const Options *) { return kFeatureFields; }
std::span<const OptionField<DeltaOptions>> optionFields(const DeltaOptions *) {
  return kDeltaFields;
}
std::span<const OptionField<CmvnOptions>> optionFields(const CmvnOptions *) { return kCmvnFields; }

std::string_view kindName(Kind kind) {
  switch (kind) {
    case Kind::mfcc:
      return "mfcc";
    case Kind::fbank:
      return "fbank";
    case Kind::spectrogram:
      return "spectrogram";
  }
  return "?";
}

Kind parseKind(std::string_view name) {
  for (Kind k : {Kind::mfcc, Kind::fbank, Kind::spectrogram}) {
    if (name == kindName(k)) return k;
  }
  throw Error("Unknown kind of features '" + std::string(name) +
              "'; the kinds are mfcc, fbank and spectrogram.");
}

void setOption(Options &record, std::string_view name, std::string_view text) {
  setFromText(record, name, text);
}
void setOption(DeltaOptions &record, std::string_view name, std::string_view text) {
  setFromText(record, name, text);
}
void setOption(CmvnOptions &record, std::string_view name, std::string_view text) {
  setFromText(record, name, text);
}

namespace {
template <class Record>
std::string textOf(const Record &record, const OptionField<Record> &field) {
  return std::visit(
      [&](auto member) -> std::string {
        using T = std::remove_cvref_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<T, bool>)
          return record.*member ? "true" : "false";
        else if constexpr (std::is_same_v<T, int64_t>)
          return std::to_string(record.*member);
        else if constexpr (std::is_same_v<T, double>)
          return show(record.*member);
        else
          return record.*member;
      },
      field.member);
}
}  // namespace

std::string optionText(const Options &r, const OptionField<Options> &f) { return textOf(r, f); }
std::string optionText(const DeltaOptions &r, const OptionField<DeltaOptions> &f) {
  return textOf(r, f);
}
std::string optionText(const CmvnOptions &r, const OptionField<CmvnOptions> &f) {
  return textOf(r, f);
}

// Kaldi's windows; "hanning" is the symmetric Hann window.
bool knownWindow(std::string_view w) {
  return w == "povey" || w == "hamming" || w == "hanning" || w == "rectangular" ||
         w == "blackman" || w == "sine";
}

double highCutoff(const Options &o) {
  const double nyquist = 0.5 * o.sample_frequency;
  return o.high_freq > 0 ? o.high_freq : nyquist + o.high_freq;
}

void validate(const Options &o, Kind kind) {
  check(finite(o.sample_frequency) && o.sample_frequency > 0,
        "sample_frequency must be a positive number of Hz, not " + show(o.sample_frequency) + ".");
  check(finite(o.frame_length) && o.frame_length > 0,
        "frame_length must be a positive number of ms, not " + show(o.frame_length) + ".");
  check(finite(o.frame_shift) && o.frame_shift > 0,
        "frame_shift must be a positive number of ms, not " + show(o.frame_shift) + ".");
  constexpr double kMostSamples = 1 << 24;
  double size = o.sample_frequency * 0.001 * o.frame_length;
  double shift = o.sample_frequency * 0.001 * o.frame_shift;
  check(size >= 1, "frame_length of " + show(o.frame_length) + " ms is less than one sample at " +
                       show(o.sample_frequency) + " Hz.");
  check(shift >= 1, "frame_shift of " + show(o.frame_shift) + " ms is less than one sample at " +
                        show(o.sample_frequency) + " Hz.");
  check(size <= kMostSamples && shift <= kMostSamples,
        "frame_length and frame_shift may span at most 16777216 samples.");
  check(finite(o.dither) && o.dither >= 0,
        "dither must be 0 or a positive standard deviation, not " + show(o.dither) + ".");
  check(finite(o.preemphasis_coefficient) && o.preemphasis_coefficient >= 0 &&
            o.preemphasis_coefficient <= 1,
        "preemphasis_coefficient must lie in 0 .. 1, not " + show(o.preemphasis_coefficient) + ".");
  check(knownWindow(o.window_type),
        "Unknown window_type '" + o.window_type +
            "'; the windows are povey, hamming, hanning, rectangular, blackman and sine.");
  check(finite(o.blackman_coeff), "blackman_coeff must be a finite number.");
  check(finite(o.energy_floor) && o.energy_floor >= 0,
        "energy_floor must be 0 or positive, not " + show(o.energy_floor) + ".");
  if (kind == Kind::spectrogram) return;

  double nyquist = 0.5 * o.sample_frequency;
  check(o.num_mel_bins >= 1,
        "num_mel_bins must be at least 1, not " + std::to_string(o.num_mel_bins) + ".");
  check(finite(o.low_freq) && o.low_freq >= 0 && o.low_freq < nyquist,
        "low_freq must lie in 0 .. " + show(nyquist) + " Hz (below Nyquist), not " +
            show(o.low_freq) + ".");
  const double high = highCutoff(o);
  check(finite(o.high_freq) && high > 0 && high <= nyquist,
        "high_freq must lie in 0 .. " + show(nyquist) +
            " Hz (or be an offset from it of 0 or less), not " + show(o.high_freq) + ".");
  check(high > o.low_freq,
        "high_freq (" + show(high) + " Hz) must lie above low_freq (" + show(o.low_freq) + " Hz).");
  if (kind != Kind::mfcc) return;
  check(o.num_ceps >= 1 && o.num_ceps <= o.num_mel_bins,
        "num_ceps must lie in 1 .. num_mel_bins (" + std::to_string(o.num_mel_bins) + "), not " +
            std::to_string(o.num_ceps) + ".");
  check(finite(o.cepstral_lifter) && o.cepstral_lifter == std::round(o.cepstral_lifter),
        "cepstral_lifter must be a whole number of coefficients (0 for none), not " +
            show(o.cepstral_lifter) + ".");
}

void validate(const DeltaOptions &o) {
  check(o.order >= 0 && o.order <= 16,
        "order of deltas must lie in 0 .. 16, not " + std::to_string(o.order) + ".");
  check(o.window >= 1 && o.window <= 1000,
        "window of deltas must lie in 1 .. 1000 frames, not " + std::to_string(o.window) + ".");
}

void validate(const CmvnOptions &o) {
  check(
      o.cmn_window >= 1 && o.cmn_window <= 100000000,
      "cmn_window must be a positive number of frames, not " + std::to_string(o.cmn_window) + ".");
  check(o.min_cmn_window >= 0 && o.min_cmn_window <= 100000000,
        "min_cmn_window must be 0 or a positive number of frames, not " +
            std::to_string(o.min_cmn_window) + ".");
}

}  // namespace melceps
