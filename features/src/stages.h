// What comes after the frames, as stages that take frames in order and pass frames on in
// order, each as soon as the frames it needs have arrived: the utterance's mean removed,
// sliding-window normalisation, deltas. The offline call and the online computer run the
// same stages, so their frames are equal.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "melceps/options.h"

namespace melceps {

class Stage {
 public:
  virtual ~Stage() = default;
  virtual void push(const double *row) = 0;
  // No more rows: every row held comes out, then the next stage finishes.
  virtual void finish() = 0;
};

// Rows by their index in the stream, from the first one still held. Each row takes `stride`
// values (dim and then zeros), so that loops over a row can run in whole vectors.
class RowBuffer {
 public:
  explicit RowBuffer(int64_t dim, int64_t stride = 0) : dim_(dim), stride_(std::max(dim, stride)) {}
  int64_t dim() const { return dim_; }
  int64_t stride() const { return stride_; }
  int64_t begin() const { return begin_; }
  int64_t end() const {
    return begin_ + static_cast<int64_t>(data_.size() - start_) / std::max<int64_t>(stride_, 1);
  }
  const double *row(int64_t index) const {
    return data_.data() + start_ + (index - begin_) * stride_;
  }
  void push(const double *row);
  // Drops the rows below `index`; memory is given back in bulk, not row by row.
  void dropBelow(int64_t index);

 private:
  int64_t dim_, stride_;
  int64_t begin_ = 0;
  size_t start_ = 0;  // offset of row begin_ in data_
  std::vector<double> data_;
};

// Rows into a matrix of the caller, one after another, converted to its element type.
template <class T>
class MatrixSink : public Stage {
 public:
  MatrixSink(T *out, int64_t dim) : out_(out), dim_(dim) {}
  void push(const double *row) override {
    T *to = out_ + rows_ * dim_;
    for (int64_t d = 0; d < dim_; ++d) to[d] = static_cast<T>(row[d]);
    ++rows_;
  }
  void finish() override {}

 private:
  T *out_;
  int64_t dim_;
  int64_t rows_ = 0;
};

// Subtracts each column's mean over the whole stream: holds every row until the end.
class MeanStage : public Stage {
 public:
  MeanStage(int64_t dim, Stage &next) : rows_(dim), next_(next) {}
  void push(const double *row) override { rows_.push(row); }
  void finish() override;

 private:
  RowBuffer rows_;
  Stage &next_;
};

// Kaldi's apply-cmvn-sliding: each frame less the mean (and over the standard deviation) of
// the frames of its window.
class SlidingCmvnStage : public Stage {
 public:
  SlidingCmvnStage(int64_t dim, const CmvnOptions &options, Stage &next);
  void push(const double *row) override;
  void finish() override;

 private:
  // The window [start, end) of frame t when the stream has `frames` frames (-1: not known).
  void window(int64_t t, int64_t frames, int64_t &start, int64_t &end) const;
  void emitReady(int64_t frames);

  CmvnOptions options_;
  RowBuffer rows_;
  Stage &next_;
  int64_t next_frame_ = 0;
  int64_t last_start_ = -1, last_end_ = -1;
  std::vector<double> sum_, sumsq_, out_;
};

// Kaldi's add-deltas: the frame, then its deltas of each order.
class DeltaStage : public Stage {
 public:
  DeltaStage(int64_t dim, const DeltaOptions &options, Stage &next);
  void push(const double *row) override;
  void finish() override;

 private:
  void emit(int64_t t, int64_t last);

  std::vector<std::vector<double>> scales_;  // per order, the window's weights
  int64_t reach_ = 0;                        // frames on each side the highest order needs
  RowBuffer rows_;
  Stage &next_;
  int64_t next_frame_ = 0;
  std::vector<double> sums_;  // each order's sums, a stride apart
  std::vector<double> out_;
};

}  // namespace melceps
