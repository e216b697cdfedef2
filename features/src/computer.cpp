// MFCC, filterbank and spectrogram features of one frame: the FFT of the processed frame,
// its power (or magnitude) spectrum, the mel filters, logs and the cosine transform.
#include "computer.h"

#include <fftw3.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <mutex>

#include "logs.h"
#include "melceps/features.h"
#include "toolbox.h"
#include "vector.h"

namespace melceps {

// A real-to-complex FFT of one size with its aligned buffers. Plans are made once per size
// and process and executed on each computer's own buffers.
class Spectrum {
 public:
  explicit Spectrum(int64_t n) : n_(n) {
    in_ = fftw_alloc_real(n);
    out_ = fftw_alloc_complex(n / 2 + 1);
    power_ = fftw_alloc_real(n / 2 + 1);
    if (!in_ || !out_ || !power_) {
      release();
      throw Error("Out of memory for an FFT of " + std::to_string(n) + " points.");
    }
    plan_ = planFor(n);
  }
  ~Spectrum() { release(); }
  double *input() { return in_; }
  // The power spectrum, n / 2 + 1 bins, of the input.
  const double *power() {
    fftw_execute_dft_r2c(plan_, in_, out_);
    const int64_t bins = n_ / 2 + 1;
    const double *c = reinterpret_cast<const double *>(out_);
#pragma omp simd
    for (int64_t k = 0; k < bins; ++k)
      power_[k] = c[2 * k] * c[2 * k] + c[2 * k + 1] * c[2 * k + 1];
    return power_;
  }
  int64_t size() const { return n_; }

 private:
  static fftw_plan planFor(int64_t n) {
    static std::mutex lock;
    // Kept, and reachable, for the life of the process.
    static auto *plans = new std::vector<std::pair<int64_t, fftw_plan>>();
    std::lock_guard guard(lock);
    // The runtime's fft plans too, from its own threads: FFTW's planner takes its own lock.
    static std::once_flag safe;
    std::call_once(safe, fftw_make_planner_thread_safe);
    for (auto &[size, plan] : *plans) {
      if (size == n) return plan;
    }
    double *in = fftw_alloc_real(n);
    fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
    // Measured plans up to 8192 points; a larger size is planned by estimate, which takes
    // no time to plan.
    unsigned flags = n <= 8192 ? FFTW_MEASURE : FFTW_ESTIMATE;
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, flags);
    fftw_free(in);
    fftw_free(out);
    if (!plan) throw Error("No FFT plan for " + std::to_string(n) + " points.");
    plans->emplace_back(n, plan);
    return plan;
  }
  void release() {
    fftw_free(in_);
    fftw_free(out_);
    fftw_free(power_);
  }

  int64_t n_;
  double *in_ = nullptr;
  fftw_complex *out_ = nullptr;
  double *power_ = nullptr;
  fftw_plan plan_ = nullptr;
};

namespace {
constexpr double kEpsilon = FLT_EPSILON;  // Kaldi's floor before every log
}

namespace {
// Spectrograms always carry the log energy; the others with use_energy.
bool needsEnergy(Kind kind, const Options &o) { return kind == Kind::spectrogram || o.use_energy; }
}  // namespace

Computer::Computer(Kind kind, const Options &options)
    : kind_(kind),
      options_((validate(options, kind), options)),
      processor_(options, needsEnergy(kind, options)),
      dim_(featureDim(kind, options)),
      needs_energy_(needsEnergy(kind, options)) {
  const FrameGeometry &g = processor_.geometry();
  spectrum_ = std::make_unique<Spectrum>(g.padded);
  scratch_.resize(g.size);
  log_energy_floor_ = options.energy_floor > 0 ? std::log(options.energy_floor)
                                               : -std::numeric_limits<double>::infinity();
  switch (kind) {
    case Kind::spectrogram:
      break;
    case Kind::fbank:
      banks_ = std::make_unique<MelBanks>(options, g.size, g.padded);
      break;
    case Kind::mfcc: {
      banks_ = std::make_unique<MelBanks>(options, g.size, g.padded);
      const int64_t n = options.num_mel_bins, ceps = options.num_ceps;
      // c0 is the orthonormal transform's zeroth term, sqrt(1 / n) times the sum; c1 on are
      // chan2qf's rows; each row carries its lifter weight (1 for c0).
      std::vector<double> rows(ceps * n, std::sqrt(1.0 / static_cast<double>(n)));
      if (ceps > 1) {
        std::vector<double> transform = toolbox::cosineTransform(n, ceps - 1);
        std::copy(transform.begin(), transform.end(), rows.begin() + n);
        if (options.cepstral_lifter != 0) {
          std::vector<double> lift =
              toolbox::lifterWeights(ceps - 1, std::abs(options.cepstral_lifter));
          for (int64_t r = 1; r < ceps; ++r) {
            for (int64_t k = 0; k < n; ++k) rows[r * n + k] *= lift[r - 1];
          }
        }
      }
      // Kept by columns, each padded to a whole number of vectors.
      const int64_t width = (ceps + 7) / 8 * 8;
      cepstra_.assign(width, 0.0);
      dct_.assign(n * width, 0.0);
      for (int64_t r = 0; r < ceps; ++r) {
        for (int64_t k = 0; k < n; ++k) dct_[k * width + r] = rows[r * n + k];
      }
      break;
    }
  }
  if (banks_) mel_.resize(banks_->numBins());
}

Computer::~Computer() = default;

void Computer::compute(int64_t frame, const double *x, double *out) {
  double energy = processor_.process(frame, x, scratch_.data(), spectrum_->input());
  double log_energy = 0.0;
  if (needs_energy_) {
    log_energy = std::max(std::log(std::max(energy, kEpsilon)), log_energy_floor_);
  }
  switch (kind_) {
    case Kind::mfcc:
      return mfcc(log_energy, out);
    case Kind::fbank:
      return fbank(log_energy, out);
    case Kind::spectrogram:
      return spectrogram(log_energy, out);
  }
}

MELCEPS_VECTOR void Computer::spectrogram(double log_energy, double *out) {
  const double *power = spectrum_->power();
  std::copy(power, power + dim_, out);
  flooredLogs(out, dim_, kEpsilon);
  out[0] = log_energy;
}

MELCEPS_VECTOR void Computer::fbank(double log_energy, double *out) {
  const double *power = spectrum_->power();
  const bool energy_first = options_.use_energy && !options_.htk_compat;
  double *mel = out + (energy_first ? 1 : 0);
  if (options_.use_power) {
    banks_->apply(power, mel);
  } else {
    // The magnitude spectrum, in place of the power.
    double *magnitude = const_cast<double *>(power);
    const int64_t bins = spectrum_->size() / 2 + 1;
#pragma omp simd
    for (int64_t k = 0; k < bins; ++k) magnitude[k] = std::sqrt(magnitude[k]);
    banks_->apply(magnitude, mel);
  }
  const int64_t n = banks_->numBins();
  if (options_.use_log_fbank) {
    flooredLogs(mel, n, kEpsilon);
  }
  if (options_.use_energy) out[energy_first ? 0 : n] = log_energy;
}

MELCEPS_VECTOR void Computer::mfcc(double log_energy, double *out) {
  banks_->apply(spectrum_->power(), mel_.data());
  const int64_t n = banks_->numBins(), ceps = options_.num_ceps;
  flooredLogs(mel_.data(), n, kEpsilon);
  // The transform by columns: every coefficient at once, channel after channel.
  double *acc = cepstra_.data();
  const int64_t width = static_cast<int64_t>(cepstra_.size());
  std::fill(acc, acc + width, 0.0);
  for (int64_t k = 0; k < n; ++k) {
    const double *column = dct_.data() + k * width;
    const double m = mel_[k];
#pragma omp simd
    for (int64_t r = 0; r < width; ++r) acc[r] += column[r] * m;
  }
  std::copy(acc, acc + ceps, out);
  if (options_.use_energy) out[0] = log_energy;
  if (options_.htk_compat) {
    // HTK's order: c1 .. c(n-1), then c0 (or the energy); c0 without the sqrt(2) of the
    // orthonormal transform's zeroth term.
    double first = out[0];
    for (int64_t r = 0; r + 1 < ceps; ++r) out[r] = out[r + 1];
    out[ceps - 1] = options_.use_energy ? first : first * std::sqrt(2.0);
  }
}

}  // namespace melceps
