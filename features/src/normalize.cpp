// Deltas and normalisation of whole matrices, through the same stages a stream runs, and
// the statistics of Kaldi's apply-cmvn.
#include <cmath>
#include <string>
#include <vector>

#include "melceps/features.h"
#include "stages.h"

namespace melceps {
namespace {

void checkShape(int64_t frames, int64_t dim) {
  if (frames < 0 || dim < 0) throw Error("A matrix of features cannot have a negative size.");
}

}  // namespace

void addDeltas(const double *in, int64_t frames, int64_t dim, const DeltaOptions &options,
               double *out) {
  checkShape(frames, dim);
  validate(options);
  MatrixSink<double> sink(out, deltaDim(dim, options));
  DeltaStage stage(dim, options, sink);
  for (int64_t t = 0; t < frames; ++t) stage.push(in + t * dim);
  stage.finish();
}

void slidingCmvn(const double *in, int64_t frames, int64_t dim, const CmvnOptions &options,
                 double *out) {
  checkShape(frames, dim);
  validate(options);
  // The stage holds the rows of its window itself, so out may be in.
  MatrixSink<double> sink(out, dim);
  SlidingCmvnStage stage(dim, options, sink);
  for (int64_t t = 0; t < frames; ++t) stage.push(in + t * dim);
  stage.finish();
}

void accumulateCmvnStats(const double *feats, int64_t frames, int64_t dim, double *stats) {
  checkShape(frames, dim);
  double *sums = stats, *squares = stats + dim + 1;
  for (int64_t t = 0; t < frames; ++t) {
    const double *x = feats + t * dim;
    for (int64_t d = 0; d < dim; ++d) {
      sums[d] += x[d];
      squares[d] += x[d] * x[d];
    }
  }
  sums[dim] += static_cast<double>(frames);
}

void applyCmvn(double *feats, int64_t frames, int64_t dim, const double *stats, bool norm_vars) {
  checkShape(frames, dim);
  const double count = stats[dim];
  if (!(count >= 1.0)) {
    throw Error("Statistics of " + std::to_string(count) +
                " frames cannot normalise features: they need at least one frame.");
  }
  const double *sums = stats, *squares = stats + dim + 1;
  std::vector<double> offset(dim), scale(dim, 1.0);
  for (int64_t d = 0; d < dim; ++d) {
    const double mean = sums[d] / count;
    if (norm_vars) {
      const double variance = std::max(squares[d] / count - mean * mean, 1.0e-20);
      scale[d] = 1.0 / std::sqrt(variance);
    }
    offset[d] = -mean * scale[d];
  }
  for (int64_t t = 0; t < frames; ++t) {
    double *x = feats + t * dim;
    for (int64_t d = 0; d < dim; ++d) x[d] = x[d] * scale[d] + offset[d];
  }
}

}  // namespace melceps
