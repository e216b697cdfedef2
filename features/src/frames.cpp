// Framing, windows and the processing of a frame before its FFT.
#include "frames.h"

#include <cfloat>
#include <cmath>
#include <numbers>

#include "vector.h"

namespace melceps {

int64_t nextPowerOfTwo(int64_t n) {
  int64_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

FrameGeometry::FrameGeometry(const Options &o)
    : size(static_cast<int64_t>(o.sample_frequency * 0.001 * o.frame_length)),
      shift(static_cast<int64_t>(o.sample_frequency * 0.001 * o.frame_shift)),
      snip_edges(o.snip_edges) {
  padded = o.round_to_power_of_two ? nextPowerOfTwo(size) : size;
}

int64_t FrameGeometry::firstSample(int64_t frame) const {
  if (snip_edges) return frame * shift;
  // Frames centred on multiples of the shift plus half a shift.
  return frame * shift + shift / 2 - size / 2;
}

int64_t FrameGeometry::count(int64_t n, bool flush) const {
  if (snip_edges) return n < size ? 0 : 1 + (n - size) / shift;
  int64_t frames = (n + shift / 2) / shift;
  if (flush) return frames;
  while (frames > 0 && firstSample(frames - 1) + size > n) --frames;
  return frames;
}

std::vector<double> analysisWindow(const Options &o, int64_t size) {
  std::vector<double> w(size, 1.0);
  if (size < 2) return w;  // one sample: every window is 1
  const double a = 2 * std::numbers::pi / static_cast<double>(size - 1);
  const std::string &type = o.window_type;
  for (int64_t i = 0; i < size; ++i) {
    double x = static_cast<double>(i);
    if (type == "hanning") {
      w[i] = 0.5 - 0.5 * std::cos(a * x);
    } else if (type == "sine") {
      w[i] = std::sin(0.5 * a * x);
    } else if (type == "hamming") {
      w[i] = 0.54 - 0.46 * std::cos(a * x);
    } else if (type == "povey") {
      w[i] = std::pow(0.5 - 0.5 * std::cos(a * x), 0.85);
    } else if (type == "blackman") {
      w[i] =
          o.blackman_coeff - 0.5 * std::cos(a * x) + (0.5 - o.blackman_coeff) * std::cos(2 * a * x);
    }
  }
  return w;
}

namespace {

// A counter-based generator: the noise of a sample depends only on the seed, the frame and
// the sample's place in it, so a stream gives the same frames however it is chunked.
uint64_t mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Standard normal deviates, two at a time (Box-Muller).
void gaussianPair(uint64_t key, double &a, double &b) {
  uint64_t r1 = mix(key), r2 = mix(key ^ 0xd1b54a32d192ed03ULL);
  double u1 = (static_cast<double>(r1 >> 11) + 1.0) * 0x1.0p-53;  // in (0, 1]
  double u2 = static_cast<double>(r2 >> 11) * 0x1.0p-53;
  double r = std::sqrt(-2.0 * std::log(u1));
  a = r * std::cos(2 * std::numbers::pi * u2);
  b = r * std::sin(2 * std::numbers::pi * u2);
}

}  // namespace

FrameProcessor::FrameProcessor(const Options &o, bool needs_energy)
    : geometry_(o),
      window_(analysisWindow(o, geometry_.size)),
      dither_(o.dither),
      seed_(mix(static_cast<uint64_t>(o.dither_seed))),
      remove_dc_(o.remove_dc_offset),
      raw_energy_(o.raw_energy),
      preemph_(o.preemphasis_coefficient),
      needs_energy_(needs_energy) {}

MELCEPS_VECTOR double FrameProcessor::process(int64_t frame, const double *x, double *scratch,
                                              double *out) const {
  const int64_t n = geometry_.size;
  if (dither_ != 0.0) {
    uint64_t base = mix(seed_ ^ mix(static_cast<uint64_t>(frame)));
    for (int64_t i = 0; i < n; i += 2) {
      double g1, g2;
      gaussianPair(base + static_cast<uint64_t>(i), g1, g2);
      scratch[i] = x[i] + dither_ * g1;
      if (i + 1 < n) scratch[i + 1] = x[i + 1] + dither_ * g2;
    }
    x = scratch;
  }
  double mean = 0.0;
  if (remove_dc_) {
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (int64_t i = 0; i < n; ++i) sum += x[i];
    mean = sum / static_cast<double>(n);
  }
  // One pass: the mean removed, the raw energy summed, pre-emphasis (x[i] - p x[i-1], the
  // first sample against itself) and the window.
  const double p = preemph_;
  const double *w = window_.data();
  double energy = 0.0;
  double first = x[0] - mean;
  out[0] = w[0] * (first - p * first);
  if (needs_energy_ && raw_energy_) {
    energy = first * first;
#pragma omp simd reduction(+ : energy)
    for (int64_t i = 1; i < n; ++i) {
      double y = x[i] - mean;
      energy += y * y;
      out[i] = w[i] * (y - p * (x[i - 1] - mean));
    }
  } else {
#pragma omp simd
    for (int64_t i = 1; i < n; ++i) out[i] = w[i] * ((x[i] - mean) - p * (x[i - 1] - mean));
  }
  for (int64_t i = n; i < geometry_.padded; ++i) out[i] = 0.0;
  if (needs_energy_ && !raw_energy_) {
    energy = 0.0;
#pragma omp simd reduction(+ : energy)
    for (int64_t i = 0; i < n; ++i) energy += out[i] * out[i];
  }
  return energy;
}

}  // namespace melceps
