// The stages after the frames: mean removal, sliding normalisation and deltas.
#include "stages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vector.h"

namespace melceps {

void RowBuffer::push(const double *row) {
  const size_t at = data_.size();
  data_.resize(at + stride_);  // the padding stays zero
  std::memcpy(data_.data() + at, row, sizeof(double) * dim_);
}

void RowBuffer::dropBelow(int64_t index) {
  index = std::min(index, end());
  if (index <= begin_) return;
  start_ += (index - begin_) * stride_;
  begin_ = index;
  if (start_ * 2 >= data_.size()) {
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
}

void MeanStage::finish() {
  const int64_t dim = rows_.dim(), frames = rows_.end();
  std::vector<double> mean(dim, 0.0), row(dim);
  for (int64_t t = 0; t < frames; ++t) {
    for (int64_t d = 0; d < dim; ++d) mean[d] += rows_.row(t)[d];
  }
  for (double &m : mean) m /= static_cast<double>(frames);
  for (int64_t t = 0; t < frames; ++t) {
    for (int64_t d = 0; d < dim; ++d) row[d] = rows_.row(t)[d] - mean[d];
    next_.push(row.data());
  }
  rows_.dropBelow(frames);
  next_.finish();
}

SlidingCmvnStage::SlidingCmvnStage(int64_t dim, const CmvnOptions &options, Stage &next)
    : options_(options), rows_(dim), next_(next), sum_(dim, 0.0), sumsq_(dim, 0.0), out_(dim) {}

void SlidingCmvnStage::window(int64_t t, int64_t frames, int64_t &start, int64_t &end) const {
  if (options_.center) {
    start = t - options_.cmn_window / 2;
    end = start + options_.cmn_window;
  } else {
    start = t - options_.cmn_window;
    end = t + 1;
  }
  if (start < 0) {  // shift the window right
    end -= start;
    start = 0;
  }
  if (!options_.center && end > t) end = std::max(t + 1, options_.min_cmn_window);
  if (frames >= 0 && end > frames) {
    start -= end - frames;
    end = frames;
    if (start < 0) start = 0;
  }
}

void SlidingCmvnStage::push(const double *row) {
  rows_.push(row);
  emitReady(-1);
}

void SlidingCmvnStage::finish() {
  emitReady(rows_.end());
  next_.finish();
}

void SlidingCmvnStage::emitReady(int64_t frames) {
  const int64_t dim = rows_.dim();
  const bool norm_vars = options_.norm_vars;
  while (next_frame_ < rows_.end()) {
    const int64_t t = next_frame_;
    int64_t start, end;
    window(t, frames, start, end);
    if (frames < 0 && end > rows_.end()) return;  // its window has not arrived yet
    // The window moves by at most one frame at either end from one frame to the next.
    if (last_start_ < 0) {
      for (int64_t s = start; s < end; ++s) {
        const double *x = rows_.row(s);
        for (int64_t d = 0; d < dim; ++d) {
          sum_[d] += x[d];
          if (norm_vars) sumsq_[d] += x[d] * x[d];
        }
      }
    } else {
      if (start > last_start_) {
        const double *x = rows_.row(last_start_);
        for (int64_t d = 0; d < dim; ++d) {
          sum_[d] -= x[d];
          if (norm_vars) sumsq_[d] -= x[d] * x[d];
        }
      }
      if (end > last_end_) {
        const double *x = rows_.row(last_end_);
        for (int64_t d = 0; d < dim; ++d) {
          sum_[d] += x[d];
          if (norm_vars) sumsq_[d] += x[d] * x[d];
        }
      }
    }
    last_start_ = start;
    last_end_ = end;
    const double frames_in = static_cast<double>(end - start);
    const double *x = rows_.row(t);
    for (int64_t d = 0; d < dim; ++d) out_[d] = x[d] - sum_[d] / frames_in;
    if (norm_vars) {
      for (int64_t d = 0; d < dim; ++d) {
        if (end - start == 1) {
          out_[d] = 0.0;
          continue;
        }
        double variance = sumsq_[d] / frames_in - sum_[d] * sum_[d] / (frames_in * frames_in);
        out_[d] *= 1.0 / std::sqrt(std::max(variance, 1.0e-10));
      }
    }
    next_.push(out_.data());
    ++next_frame_;
    rows_.dropBelow(start);
  }
}

DeltaStage::DeltaStage(int64_t dim, const DeltaOptions &options, Stage &next)
    : rows_(dim, (dim + 7) / 8 * 8),
      next_(next),
      sums_(rows_.stride() * (options.order + 1)),
      out_(dim * (options.order + 1)) {
  // scales[0] = [1]; scales[i] = scales[i-1] convolved with j / sum(j^2), j = -w .. w.
  const int64_t w = options.window;
  double normalizer = 0.0;
  for (int64_t j = -w; j <= w; ++j) normalizer += static_cast<double>(j * j);
  scales_.push_back({1.0});
  for (int64_t i = 1; i <= options.order; ++i) {
    const std::vector<double> &prev = scales_.back();
    const int64_t prev_offset = static_cast<int64_t>(prev.size() - 1) / 2;
    const int64_t cur_offset = prev_offset + w;
    std::vector<double> cur(prev.size() + 2 * w, 0.0);
    for (int64_t j = -w; j <= w; ++j) {
      for (int64_t k = -prev_offset; k <= prev_offset; ++k) {
        cur[j + k + cur_offset] += static_cast<double>(j) * prev[k + prev_offset];
      }
    }
    for (double &c : cur) c /= normalizer;
    scales_.push_back(std::move(cur));
  }
  reach_ = static_cast<int64_t>(scales_.back().size() - 1) / 2;
}

MELCEPS_VECTOR void DeltaStage::emit(int64_t t, int64_t last) {
  const int64_t dim = rows_.dim(), stride = rows_.stride();
  for (size_t i = 0; i < scales_.size(); ++i) {
    const std::vector<double> &scales = scales_[i];
    const int64_t offset = static_cast<int64_t>(scales.size() - 1) / 2;
    double *sum = sums_.data() + i * stride;
    std::fill(sum, sum + stride, 0.0);
    for (int64_t j = -offset; j <= offset; ++j) {
      const double scale = scales[j + offset];
      if (scale == 0.0) continue;
      const double *x = rows_.row(std::clamp<int64_t>(t + j, 0, last));  // edges replicated
      for (int64_t d = 0; d < stride; ++d) sum[d] += scale * x[d];
    }
    std::copy(sum, sum + dim, out_.data() + i * dim);
  }
  next_.push(out_.data());
}

void DeltaStage::push(const double *row) {
  rows_.push(row);
  const int64_t last = rows_.end() - 1;
  while (next_frame_ + reach_ <= last) {
    emit(next_frame_, last);
    ++next_frame_;
    rows_.dropBelow(std::max<int64_t>(0, next_frame_ - reach_));
  }
}

void DeltaStage::finish() {
  const int64_t last = rows_.end() - 1;
  while (next_frame_ <= last) {
    emit(next_frame_, last);
    ++next_frame_;
  }
  rows_.dropBelow(next_frame_);
  next_.finish();
}

}  // namespace melceps
