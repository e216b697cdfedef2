// Frames of a signal: where each one starts, how many a signal holds, the analysis window,
// and the processing of one frame before its FFT (dither, mean, energy, pre-emphasis,
// window), as Kaldi's feature-window does it.
#pragma once

#include <cstdint>
#include <vector>

#include "melceps/options.h"

namespace melceps {

// The smallest power of two not below n (1 for n below 2).
int64_t nextPowerOfTwo(int64_t n);

struct FrameGeometry {
  int64_t size = 0;    // samples in a frame
  int64_t shift = 0;   // samples between frame starts
  int64_t padded = 0;  // FFT size
  bool snip_edges = true;

  explicit FrameGeometry(const Options &options);
  // The first sample of a frame; before the signal's start with snip_edges false.
  int64_t firstSample(int64_t frame) const;
  // Frames of num_samples samples: all of them when the input has ended (flush), else only
  // those whose every sample has arrived.
  int64_t count(int64_t num_samples, bool flush) const;
};

// The window's samples, Kaldi's definitions over a period of size - 1 samples.
std::vector<double> analysisWindow(const Options &options, int64_t size);

// Turns the samples of one frame into the FFT's input.
class FrameProcessor {
 public:
  // needs_energy: whether process must give the energy (else it gives 0 and saves the sum).
  FrameProcessor(const Options &options, bool needs_energy);
  // x holds the frame's geometry.size samples; out receives geometry.padded values (zero
  // beyond the frame), scratch (geometry.size values) holds the dithered samples. Returns the
  // energy (the sum of squares), raw or windowed as the options say;
  // `frame` seeds the frame's dither.
  double process(int64_t frame, const double *x, double *scratch, double *out) const;
  const FrameGeometry &geometry() const { return geometry_; }

 private:
  FrameGeometry geometry_;
  std::vector<double> window_;
  double dither_;
  uint64_t seed_;
  bool remove_dc_;
  bool raw_energy_;
  double preemph_;
  bool needs_energy_;
};

}  // namespace melceps
