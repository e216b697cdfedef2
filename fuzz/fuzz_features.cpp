// libFuzzer target: random options, samples and chunkings through the front end. Every
// input gives features or melceps::Error; a stream fed in random chunks must give the frames
// of the offline call exactly.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "melceps/features.h"

namespace {

double anyNumber(FuzzedDataProvider &in, double low, double high) {
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return -std::numeric_limits<double>::infinity();
    case 2:
      return -in.ConsumeFloatingPointInRange(0.0, 1e6);
    default:
      return in.ConsumeFloatingPointInRange(low, high);
  }
}

melceps::Options optionsFrom(FuzzedDataProvider &in) {
  melceps::Options o;
  if (in.ConsumeBool()) o.sample_frequency = anyNumber(in, 100.0, 48000.0);
  if (in.ConsumeBool()) o.frame_length = anyNumber(in, 0.1, 100.0);
  if (in.ConsumeBool()) o.frame_shift = anyNumber(in, 0.1, 50.0);
  if (in.ConsumeBool()) o.dither = anyNumber(in, 0.0, 10.0);
  o.dither_seed = in.ConsumeIntegral<int64_t>();
  o.remove_dc_offset = in.ConsumeBool();
  if (in.ConsumeBool()) o.preemphasis_coefficient = anyNumber(in, 0.0, 1.0);
  static const char *windows[] = {"povey",    "hamming", "hanning", "rectangular",
                                  "blackman", "sine",    "kaiser"};
  o.window_type = windows[in.ConsumeIntegralInRange(0, 6)];
  if (in.ConsumeBool()) o.blackman_coeff = anyNumber(in, 0.0, 1.0);
  o.snip_edges = in.ConsumeBool();
  o.round_to_power_of_two = in.ConsumeBool();
  if (in.ConsumeBool()) o.num_mel_bins = in.ConsumeIntegralInRange<int64_t>(-2, 200);
  if (in.ConsumeBool()) o.low_freq = anyNumber(in, 0.0, 24000.0);
  if (in.ConsumeBool()) o.high_freq = anyNumber(in, -24000.0, 24000.0);
  o.use_energy = in.ConsumeBool();
  o.raw_energy = in.ConsumeBool();
  if (in.ConsumeBool()) o.energy_floor = anyNumber(in, 0.0, 10.0);
  if (in.ConsumeBool()) o.num_ceps = in.ConsumeIntegralInRange<int64_t>(-2, 200);
  if (in.ConsumeBool()) o.cepstral_lifter = std::round(anyNumber(in, -50.0, 50.0));
  o.use_power = in.ConsumeBool();
  o.use_log_fbank = in.ConsumeBool();
  o.htk_compat = in.ConsumeBool();
  o.subtract_mean = in.ConsumeBool();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const melceps::Kind kind = static_cast<melceps::Kind>(in.ConsumeIntegralInRange(0, 2));
  const melceps::Options o = optionsFrom(in);
  std::optional<melceps::DeltaOptions> deltas;
  std::optional<melceps::CmvnOptions> cmvn;
  if (in.ConsumeBool()) {
    deltas.emplace();
    deltas->order = in.ConsumeIntegralInRange<int64_t>(-1, 4);
    deltas->window = in.ConsumeIntegralInRange<int64_t>(0, 5);
  }
  if (in.ConsumeBool()) {
    cmvn.emplace();
    cmvn->cmn_window = in.ConsumeIntegralInRange<int64_t>(0, 50);
    cmvn->min_cmn_window = in.ConsumeIntegralInRange<int64_t>(-1, 50);
    cmvn->center = in.ConsumeBool();
    cmvn->norm_vars = in.ConsumeBool();
  }
  std::vector<size_t> chunks;
  for (int k = in.ConsumeIntegralInRange(0, 8); k > 0; --k)
    chunks.push_back(in.ConsumeIntegralInRange<size_t>(1, 600));
  std::vector<double> y;
  while (in.remaining_bytes() >= 2) y.push_back(in.ConsumeIntegral<int16_t>());
  if (!y.empty() && y.size() % 97 == 5) y[y.size() / 2] = std::nan("");
  try {
    // Keep each case small: frames of at most 2^14 samples.
    if (o.sample_frequency * 0.001 * o.frame_length > 16384 ||
        o.sample_frequency * 0.001 * o.frame_shift > 16384)
      return 0;
    melceps::OnlineFeatures stream(kind, o, cmvn ? &*cmvn : nullptr, deltas ? &*deltas : nullptr);
    const int64_t dim = stream.dim();
    std::vector<double> offline(melceps::frameCount(o, static_cast<int64_t>(y.size())) * dim);
    bool bad_samples = false;
    try {
      melceps::compute(kind, o, y, offline.data(), cmvn ? &*cmvn : nullptr,
                       deltas ? &*deltas : nullptr);
    } catch (const melceps::Error &) {
      bad_samples = true;  // a NaN sample: the stream must refuse it too
    }
    size_t at = 0, c = 0;
    try {
      while (at < y.size()) {
        size_t step =
            chunks.empty() ? y.size() : std::min(chunks[c++ % chunks.size()], y.size() - at);
        stream.acceptWaveform(std::span<const double>(y.data() + at, step));
        at += step;
      }
      stream.inputFinished();
    } catch (const melceps::Error &) {
      if (!bad_samples) std::abort();  // the stream refused what the offline call took
      return 0;
    }
    if (bad_samples) std::abort();
    std::vector<double> streamed(stream.numFramesReady() * dim);
    stream.getFrames(0, stream.numFramesReady(), streamed.data());
    if (streamed.size() != offline.size()) std::abort();
    for (size_t k = 0; k < streamed.size(); ++k) {
      const bool both_nan = std::isnan(streamed[k]) && std::isnan(offline[k]);
      if (!both_nan && streamed[k] != offline[k]) std::abort();
    }
  } catch (const melceps::Error &) {
  }
  return 0;
}
