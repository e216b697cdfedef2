// The streaming computer, and the offline call, which is the same computer fed once with a
// sink that writes straight into the caller's matrix.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "computer.h"
#include "melceps/features.h"
#include "stages.h"
#include "vector.h"

namespace melceps {

int64_t windowSize(const Options &o) { return FrameGeometry(o).size; }
int64_t windowShift(const Options &o) { return FrameGeometry(o).shift; }
int64_t paddedWindowSize(const Options &o) { return FrameGeometry(o).padded; }

int64_t frameCount(const Options &o, int64_t num_samples) {
  validate(o, Kind::spectrogram);
  return FrameGeometry(o).count(num_samples, true);
}

int64_t featureDim(Kind kind, const Options &o) {
  validate(o, kind);
  switch (kind) {
    case Kind::mfcc:
      return o.num_ceps;
    case Kind::fbank:
      return o.num_mel_bins + (o.use_energy ? 1 : 0);
    case Kind::spectrogram:
      return FrameGeometry(o).padded / 2 + 1;
  }
  return 0;
}

int64_t deltaDim(int64_t dim, const DeltaOptions &d) { return dim * (d.order + 1); }

namespace {

// Rows kept for the reader of a stream, until dropped.
class StoreSink : public Stage {
 public:
  explicit StoreSink(int64_t dim) : rows(dim) {}
  void push(const double *row) override { rows.push(row); }
  void finish() override {}
  RowBuffer rows;
};

constexpr int64_t kCheckBlock = 8192;  // samples checked for NaN and Inf ahead of their frames

// Whether every sample is finite: x * 0 is NaN for a NaN or an infinity and 0 otherwise, so
// one sum without branches tells, and vectorises.
template <class T>
MELCEPS_VECTOR bool allFinite(const T *p, int64_t n) {
  T sum = 0;
#pragma omp simd reduction(+ : sum)
  for (int64_t i = 0; i < n; ++i) sum += p[i] * T(0);
  return sum == 0;
}

}  // namespace

// The state of a stream: the samples still needed, the frames computed, the stages.
class Stream {
 public:
  Stream(Kind kind, const Options &options, const CmvnOptions *cmvn, const DeltaOptions *deltas,
         Stage *sink)
      : computer(kind, options), geometry(computer.geometry()) {
    if (cmvn) validate(*cmvn);
    if (deltas) validate(*deltas);
    base_dim = computer.dim();
    dim = deltas ? deltaDim(base_dim, *deltas) : base_dim;
    if (!sink) {
      store.emplace(dim);
      sink = &*store;
    }
    // Built from the last stage back: frames -> mean -> sliding normalisation -> deltas.
    Stage *next = sink;
    auto add = [&](std::unique_ptr<Stage> stage) {
      next = stage.get();
      stages.push_back(std::move(stage));
    };
    if (deltas) add(std::make_unique<DeltaStage>(base_dim, *deltas, *next));
    if (cmvn) add(std::make_unique<SlidingCmvnStage>(base_dim, *cmvn, *next));
    if (options.subtract_mean) add(std::make_unique<MeanStage>(base_dim, *next));
    first = next;
    frame_samples.resize(geometry.size);
    row.resize(base_dim);
  }

  // The samples of frame f into frame_samples, from the held samples and the new chunk,
  // reflected at the edges (Kaldi's end effects) as the geometry needs.
  const double *samplesOf(int64_t f, const double *chunk, int64_t chunk_start, int64_t total) {
    const int64_t start = geometry.firstSample(f), size = geometry.size;
    if (start >= chunk_start && start + size <= total) return chunk + (start - chunk_start);
    if (start >= held_start && start + size <= total) {
      // Held samples, then the chunk's: two copies, no reflection.
      const int64_t from_held = std::min(chunk_start - start, size);
      std::copy_n(held.data() + skip + (start - held_start), from_held, frame_samples.data());
      if (from_held < size) {
        std::copy_n(chunk, size - from_held, frame_samples.data() + from_held);
      }
      return frame_samples.data();
    }
    for (int64_t i = 0; i < size; ++i) {
      int64_t s = start + i;
      while (s < 0 || s >= total) s = s < 0 ? -s - 1 : 2 * total - 1 - s;
      frame_samples[i] = s >= chunk_start ? chunk[s - chunk_start] : held[skip + (s - held_start)];
    }
    return frame_samples.data();
  }

  // Computes the frames whose samples have all arrived (all frames, when flushing).
  void computeFrames(const double *chunk, int64_t chunk_start, int64_t total, bool flush) {
    const int64_t ready = geometry.count(total, flush);
    for (; next_frame < ready; ++next_frame) {
      computer.compute(next_frame, samplesOf(next_frame, chunk, chunk_start, total), row.data());
      first->push(row.data());
    }
  }

  // Keeps the samples the coming frames (and the reflection at the end) may still read:
  // held covers [held_start, chunk_start) before and [from, total) after, in its own storage
  // (from its element `skip` on).
  void keepTail(const double *chunk, int64_t chunk_start, int64_t total) {
    const int64_t from = stillNeeded(total);
    if (from >= chunk_start) {
      held.assign(chunk + (from - chunk_start), chunk + (total - chunk_start));
      skip = 0;
      held_start = from;
    } else {
      forgetBelow(from);
      held.insert(held.end(), chunk, chunk + (total - chunk_start));
    }
  }

  // The first sample the coming frames may read, of the total received.
  int64_t stillNeeded(int64_t total) const {
    int64_t from = geometry.firstSample(next_frame);
    if (!geometry.snip_edges) from -= geometry.size;
    return std::clamp<int64_t>(std::max(from, held_start), 0, total);
  }

  // Held samples below `from` are skipped, and given back in bulk once they are half of it.
  void forgetBelow(int64_t from) {
    skip += static_cast<size_t>(from - held_start);
    if (skip * 2 >= held.size()) {
      held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(skip));
      skip = 0;
    }
    held_start = from;
  }

  // A chunk no longer than a frame joins the held samples and the frames read them there:
  // one copy of the chunk, where a frame spanning the held samples and the chunk would be
  // copied whole.
  void acceptShort(const double *chunk, int64_t n) {
    const int64_t bad = firstBad(chunk, n), good = bad < 0 ? n : bad;
    held.insert(held.end(), chunk, chunk + good);
    received += good;
    computeFrames(held.data() + skip, held_start, received, false);
    forgetBelow(stillNeeded(received));
    if (bad >= 0) refuse(received, chunk[bad]);
  }

  // The index of the first NaN or infinite sample of p[0 .. n), or -1.
  template <class T>
  static int64_t firstBad(const T *p, int64_t n) {
    if (allFinite(p, n)) return -1;
    for (int64_t i = 0; i < n; ++i) {
      if (!std::isfinite(p[i])) return i;
    }
    return -1;
  }

  [[noreturn]] static void refuse(int64_t index, double value) {
    throw Error("Sample " + std::to_string(index) + " is " +
                (std::isnan(value) ? "NaN" : "infinite") + "; features need finite samples.");
  }

  // Samples are checked a block at a time, just ahead of the frames that read them (the
  // block is still in the cache when they do); the samples before a bad one are taken.
  void accept(std::span<const double> samples) {
    if (finished) throw Error("Samples were given after the end of input.");
    if (static_cast<int64_t>(samples.size()) <= geometry.size) {
      acceptShort(samples.data(), static_cast<int64_t>(samples.size()));
      return;
    }
    const double *chunk = samples.data();
    const int64_t n = static_cast<int64_t>(samples.size()), chunk_start = received;
    for (int64_t block = 0; block < n; block += kCheckBlock) {
      const int64_t len = std::min(kCheckBlock, n - block);
      const int64_t bad = firstBad(chunk + block, len);
      const int64_t checked = block + (bad < 0 ? len : bad);
      computeFrames(chunk, chunk_start, chunk_start + checked, false);
      if (bad >= 0) {
        received = chunk_start + checked;
        keepTail(chunk, chunk_start, received);
        refuse(received, chunk[checked]);
      }
    }
    received = chunk_start + n;
    keepTail(chunk, chunk_start, received);
  }

  // Floats are converted a block at a time, so no copy of the whole input is made.
  void accept(std::span<const float> samples) {
    if (finished) throw Error("Samples were given after the end of input.");
    std::vector<double> block_samples;
    const int64_t n = static_cast<int64_t>(samples.size());
    for (int64_t block = 0; block < n; block += kCheckBlock) {
      const int64_t len = std::min(kCheckBlock, n - block);
      const float *p = samples.data() + block;
      const int64_t bad = firstBad(p, len);
      const int64_t good = bad < 0 ? len : bad;
      block_samples.assign(p, p + good);
      const int64_t chunk_start = received;
      received += good;
      computeFrames(block_samples.data(), chunk_start, received, false);
      keepTail(block_samples.data(), chunk_start, received);
      if (bad >= 0) refuse(received, p[bad]);
    }
  }

  void finish() {
    if (finished) return;
    finished = true;
    computeFrames(held.data() + skip, held_start, received, true);
    held.clear();
    held.shrink_to_fit();
    first->finish();
  }

  Computer computer;
  FrameGeometry geometry;
  int64_t base_dim = 0, dim = 0;
  std::vector<std::unique_ptr<Stage>> stages;
  Stage *first = nullptr;
  std::optional<StoreSink> store;
  std::vector<double> held;  // samples from held_start on, after the first `skip`
  size_t skip = 0;
  int64_t held_start = 0;
  int64_t received = 0;
  int64_t next_frame = 0;
  bool finished = false;
  std::vector<double> frame_samples, row;
};

struct OnlineFeatures::Impl : Stream {
  using Stream::Stream;
};

OnlineFeatures::OnlineFeatures(Kind kind, const Options &options, const CmvnOptions *sliding_cmvn,
                               const DeltaOptions *deltas)
    : impl_(std::make_unique<Impl>(kind, options, sliding_cmvn, deltas, nullptr)) {}
OnlineFeatures::~OnlineFeatures() = default;
OnlineFeatures::OnlineFeatures(OnlineFeatures &&) noexcept = default;
OnlineFeatures &OnlineFeatures::operator=(OnlineFeatures &&) noexcept = default;

int64_t OnlineFeatures::dim() const { return impl_->dim; }
void OnlineFeatures::acceptWaveform(std::span<const double> s) { impl_->accept(s); }
void OnlineFeatures::acceptWaveform(std::span<const float> s) { impl_->accept(s); }
void OnlineFeatures::inputFinished() { impl_->finish(); }
bool OnlineFeatures::isFinished() const { return impl_->finished; }
int64_t OnlineFeatures::numFramesReady() const { return impl_->store->rows.end(); }
int64_t OnlineFeatures::numFramesDiscarded() const { return impl_->store->rows.begin(); }

namespace {
template <class T>
void copyFrames(const RowBuffer &rows, int64_t start, int64_t count, T *out) {
  if (count < 0) throw Error("A negative count of frames was asked for.");
  if (start < rows.begin() || start + count > rows.end()) {
    throw Error("Frames " + std::to_string(start) + " .. " + std::to_string(start + count - 1) +
                " are not held: frames " + std::to_string(rows.begin()) + " .. " +
                std::to_string(rows.end() - 1) + " are ready and not dropped.");
  }
  const int64_t dim = rows.dim();
  for (int64_t t = 0; t < count; ++t) {
    const double *row = rows.row(start + t);
    for (int64_t d = 0; d < dim; ++d) out[t * dim + d] = static_cast<T>(row[d]);
  }
}
}  // namespace

void OnlineFeatures::getFrames(int64_t start, int64_t count, double *out) const {
  copyFrames(impl_->store->rows, start, count, out);
}
void OnlineFeatures::getFrames(int64_t start, int64_t count, float *out) const {
  copyFrames(impl_->store->rows, start, count, out);
}
void OnlineFeatures::discardFrames(int64_t upto) { impl_->store->rows.dropBelow(upto); }

namespace {
template <class T>
void computeInto(Kind kind, const Options &options, std::span<const double> samples, T *out,
                 const CmvnOptions *cmvn, const DeltaOptions *deltas) {
  validate(options, kind);
  const int64_t dim =
      deltas ? deltaDim(featureDim(kind, options), *deltas) : featureDim(kind, options);
  MatrixSink<T> sink(out, dim);
  Stream stream(kind, options, cmvn, deltas, &sink);
  stream.accept(samples);
  stream.finish();
}
}  // namespace

void compute(Kind kind, const Options &options, std::span<const double> samples, double *out,
             const CmvnOptions *sliding_cmvn, const DeltaOptions *deltas) {
  computeInto(kind, options, samples, out, sliding_cmvn, deltas);
}
void compute(Kind kind, const Options &options, std::span<const double> samples, float *out,
             const CmvnOptions *sliding_cmvn, const DeltaOptions *deltas) {
  computeInto(kind, options, samples, out, sliding_cmvn, deltas);
}

}  // namespace melceps
