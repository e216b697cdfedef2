// Triangular filters spaced evenly on the mel scale, kept as the run of FFT bins each one
// covers: bandsetup's own bank when it spans 0 Hz to Nyquist over a power-of-two FFT, else
// the same design between the cut-offs (Kaldi's mel banks).
#pragma once

#include <cstdint>
#include <vector>

#include "melceps/options.h"

namespace melceps {

class MelBanks {
 public:
  // Throws Error when a filter covers no bin (more bins than the spectrum can hold).
  MelBanks(const Options &options, int64_t frame_size, int64_t padded);
  int64_t numBins() const { return static_cast<int64_t>(first_.size()); }
  // energies[c] = sum of the weights of filter c times the spectrum's bins (padded / 2 + 1
  // values; the Nyquist bin has no weight).
  void apply(const double *spectrum, double *energies) const;
  // The bank as a dense matrix, numBins() x padded / 2, row by row.
  std::vector<double> dense() const;
  bool fromBandsetup() const { return from_bandsetup_; }

 private:
  int64_t columns_ = 0;
  std::vector<int64_t> first_;   // first bin of each filter
  std::vector<int64_t> offset_;  // where its weights start in weights_
  std::vector<int64_t> length_;  // bins it covers
  std::vector<double> weights_;
  bool from_bandsetup_ = false;
};

}  // namespace melceps
