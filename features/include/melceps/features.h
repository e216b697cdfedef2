// melceps/features.h: MFCC, filterbank and spectrogram features of a signal, offline and
// streaming, with deltas and mean and variance normalisation. Matrices are frames x dims,
// row by row (one frame a row), of doubles or floats. Samples are used as given: Kaldi's
// values come from samples on the 16-bit integer scale (-32768 .. 32767).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "melceps/options.h"

namespace melceps {

// Every failure of the front end: a bad option, a bad sample, a frame not ready.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Samples in one frame and between frames, as Kaldi rounds them: fs * 0.001 * ms, truncated.
int64_t windowSize(const Options &options);
int64_t windowShift(const Options &options);
// The FFT size: the window, zero-padded to a power of two when round_to_power_of_two is set.
int64_t paddedWindowSize(const Options &options);
// Frames of a whole signal of num_samples samples (Kaldi's count for either snip_edges).
int64_t frameCount(const Options &options, int64_t num_samples);
// Values in one frame: num_ceps, num_mel_bins (+1 with use_energy) or FFT size / 2 + 1.
int64_t featureDim(Kind kind, const Options &options);
// The width after deltas of `order`: dim * (order + 1).
int64_t deltaDim(int64_t dim, const DeltaOptions &deltas);

// A streaming computer: samples in chunks of any size, then the end of input; frames come
// out, in order, as soon as every sample and every neighbour frame they need has arrived.
// The frames equal those of the offline call for every option and any chunking. Frames
// read can be dropped, so that memory stays bounded on an endless stream. With subtract_mean
// every frame waits for the end of input (the mean is the whole utterance's).
class OnlineFeatures {
 public:
  // Features of `kind`, then (when given) sliding normalisation, then deltas.
  OnlineFeatures(Kind kind, const Options &options, const CmvnOptions *sliding_cmvn = nullptr,
                 const DeltaOptions *deltas = nullptr);
  ~OnlineFeatures();
  OnlineFeatures(OnlineFeatures &&) noexcept;
  OnlineFeatures &operator=(OnlineFeatures &&) noexcept;

  int64_t dim() const;
  // Throws Error for a NaN or infinite sample (naming it by its index in the stream, from 0)
  // or when the input has been finished; the samples before it are taken.
  void acceptWaveform(std::span<const double> samples);
  void acceptWaveform(std::span<const float> samples);
  // No more samples: the last frames (reflected ones with snip_edges false) come out.
  void inputFinished();
  bool isFinished() const;
  // Frames ready, counted from the first frame of the stream (dropped ones included).
  int64_t numFramesReady() const;
  // Frames dropped so far: the first frame still held.
  int64_t numFramesDiscarded() const;
  // Copies frames start .. start + count - 1, each dim() values, row after row. Throws
  // Error when one is not ready yet or has been dropped.
  void getFrames(int64_t start, int64_t count, double *out) const;
  void getFrames(int64_t start, int64_t count, float *out) const;
  // Drops the frames below `upto` (at most the frames ready).
  void discardFrames(int64_t upto);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The features of a whole signal into `out`, frameCount(options, samples.size()) rows of
// dim values (deltaDim of featureDim when deltas are given). Frames are written straight
// into `out`: apart from it, the call holds a few frames, whatever the signal's length.
void compute(Kind kind, const Options &options, std::span<const double> samples, double *out,
             const CmvnOptions *sliding_cmvn = nullptr, const DeltaOptions *deltas = nullptr);
void compute(Kind kind, const Options &options, std::span<const double> samples, float *out,
             const CmvnOptions *sliding_cmvn = nullptr, const DeltaOptions *deltas = nullptr);

// Deltas: `in` is frames x dim; `out` (frames x deltaDim) gets the features, then their
// deltas of each order, Kaldi's regression window convolved once per order, the edge frames
// replicated.
void addDeltas(const double *in, int64_t frames, int64_t dim, const DeltaOptions &options,
               double *out);
// Sliding-window normalisation of frames x dim into out (which may be `in`).
void slidingCmvn(const double *in, int64_t frames, int64_t dim, const CmvnOptions &options,
                 double *out);
// Statistics in Kaldi's layout: a 2 x (dim + 1) matrix, row by row: the sums of each
// dimension and the count of frames, then the sums of squares and 0. Adds to `stats`.
void accumulateCmvnStats(const double *feats, int64_t frames, int64_t dim, double *stats);
// Subtracts the mean of the statistics (and scales to unit variance with norm_vars), in
// place. Throws Error when the statistics count fewer than one frame.
void applyCmvn(double *feats, int64_t frames, int64_t dim, const double *stats, bool norm_vars);

}  // namespace melceps
