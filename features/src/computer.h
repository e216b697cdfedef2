// One computer per kind of features, with one contract: its dimension, and the features of
// one frame from its samples. A computer holds its own buffers: one per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frames.h"
#include "mel_banks.h"
#include "melceps/options.h"

namespace melceps {

class Spectrum;

class Computer {
 public:
  Computer(Kind kind, const Options &options);
  ~Computer();
  int64_t dim() const { return dim_; }
  const FrameGeometry &geometry() const { return processor_.geometry(); }
  const MelBanks *melBanks() const { return banks_.get(); }
  // The features of frame `frame`, whose geometry().size samples are x, into out.
  void compute(int64_t frame, const double *x, double *out);

 private:
  void mfcc(double log_energy, double *out);
  void fbank(double log_energy, double *out);
  void spectrogram(double log_energy, double *out);

  Kind kind_;
  Options options_;
  FrameProcessor processor_;
  int64_t dim_;
  bool needs_energy_;
  std::unique_ptr<Spectrum> spectrum_;
  std::unique_ptr<MelBanks> banks_;
  double log_energy_floor_;      // -infinity without a floor
  std::vector<double> dct_;      // by columns: num_mel_bins x padded num_ceps, lifter folded in
  std::vector<double> cepstra_;  // the padded coefficients of a frame
  std::vector<double> scratch_;  // dithered samples
  std::vector<double> mel_;      // filterbank energies
};

}  // namespace melceps
