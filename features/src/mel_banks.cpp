// The mel filterbank of the front end, taken from the toolbox's bandsetup and mel.
#include "mel_banks.h"

#include <string>

#include "frames.h"
#include "melceps/features.h"
#include "toolbox.h"
#include "vector.h"

namespace melceps {

MelBanks::MelBanks(const Options &o, int64_t frame_size, int64_t padded) : columns_(padded / 2) {
  const int64_t bins = o.num_mel_bins;
  const double nyquist = 0.5 * o.sample_frequency;
  const double high = highCutoff(o);
  std::vector<double> dense;
  if (o.low_freq == 0 && high == nyquist && padded == nextPowerOfTwo(frame_size)) {
    dense = toolbox::bandsetup(frame_size, bins, o.sample_frequency);
    from_bandsetup_ = true;
  } else {
    // Kaldi's design: bins + 2 edges equally spaced in mels from low_freq to high_freq; a
    // filter rises from its left edge to its centre and falls to its right edge, linear in
    // mels, peaking at 1.
    std::vector<double> hz(columns_ + 2);
    for (int64_t k = 0; k < columns_; ++k) {
      hz[k] = o.sample_frequency / static_cast<double>(padded) * static_cast<double>(k);
    }
    hz[columns_] = o.low_freq;
    hz[columns_ + 1] = high;
    std::vector<double> mels = toolbox::mel(hz);
    const double mel_low = mels[columns_], mel_high = mels[columns_ + 1];
    const double delta = (mel_high - mel_low) / static_cast<double>(bins + 1);
    dense.assign(bins * columns_, 0.0);
    for (int64_t b = 0; b < bins; ++b) {
      const double left = mel_low + static_cast<double>(b) * delta;
      const double centre = mel_low + static_cast<double>(b + 1) * delta;
      const double right = mel_low + static_cast<double>(b + 2) * delta;
      for (int64_t k = 0; k < columns_; ++k) {
        const double m = mels[k];
        if (m <= left || m >= right) continue;
        dense[b * columns_ + k] =
            m <= centre ? (m - left) / (centre - left) : (right - m) / (right - centre);
      }
    }
  }
  // Keep each row's run from its first to its last non-zero weight.
  for (int64_t b = 0; b < bins; ++b) {
    const double *row = dense.data() + b * columns_;
    int64_t first = 0, last = columns_ - 1;
    while (first < columns_ && row[first] == 0.0) ++first;
    while (last >= first && row[last] == 0.0) --last;
    if (first > last) {
      throw Error("num_mel_bins of " + std::to_string(bins) + " is too many for an FFT of " +
                  std::to_string(padded) + " points: mel filter " + std::to_string(b + 1) +
                  " holds no FFT bin. Use fewer bins, or a longer frame.");
    }
    first_.push_back(first);
    offset_.push_back(static_cast<int64_t>(weights_.size()));
    length_.push_back(last - first + 1);
    weights_.insert(weights_.end(), row + first, row + last + 1);
  }
}

MELCEPS_VECTOR void MelBanks::apply(const double *spectrum, double *energies) const {
  const int64_t bins = numBins();
  for (int64_t b = 0; b < bins; ++b) {
    const double *w = weights_.data() + offset_[b];
    const double *s = spectrum + first_[b];
    const int64_t n = length_[b];
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (int64_t k = 0; k < n; ++k) sum += w[k] * s[k];
    energies[b] = sum;
  }
}

std::vector<double> MelBanks::dense() const {
  std::vector<double> out(numBins() * columns_, 0.0);
  for (int64_t b = 0; b < numBins(); ++b) {
    for (int64_t k = 0; k < length_[b]; ++k) {
      out[b * columns_ + first_[b] + k] = weights_[offset_[b] + k];
    }
  }
  return out;
}

}  // namespace melceps
