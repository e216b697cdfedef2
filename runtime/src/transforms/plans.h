// The plans of the Fourier transforms, in one cache that owns them: a plan is made once per
// kind and length (FFTW_ESTIMATE, so that making it costs about one transform, never a
// measurement) and kept for the life of the process.
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace mexrt::detail {

// What a plan transforms: one vector of n points.
enum class PlanKind {
  RealToComplex,    // n reals to the n/2 + 1 first terms of their spectrum
  ComplexForward,   // n complex values to their transform
  ComplexBackward,  // n complex values to their inverse transform, without the factor 1/n
  ComplexToReal,    // the n/2 + 1 first terms of a conjugate-symmetric spectrum to n reals
};

// The buffers one plan transforms, from fftw_malloc: the input and the output, a complex one
// with its imaginary part right after its real part. FFTW executes a plan on new buffers only
// when their alignment and the distance between the parts are those it was planned with, so
// every transform of a kind and length works in a Workspace of this one layout.
class Workspace {
 public:
  Workspace(PlanKind kind, std::size_t n);
  // The real part (or the real values) of the input, its imaginary part (nullptr for real
  // input), and the same of the output.
  double *inReal() const { return in_.get(); }
  double *inImag() const { return complexIn_ ? in_.get() + inCount_ : nullptr; }
  double *outReal() const { return out_.get(); }
  double *outImag() const { return complexOut_ ? out_.get() + outCount_ : nullptr; }
  std::size_t inCount() const { return inCount_; }    // points of the input (of each part)
  std::size_t outCount() const { return outCount_; }  // points of the output (of each part)
  // Runs plan (of this workspace's kind and length) from the input to the output.
  void execute(fftw_plan plan) const;

 private:
  struct Free {
    void operator()(double *p) const { fftw_free(p); }
  };
  PlanKind kind_;
  std::size_t inCount_, outCount_;
  bool complexIn_, complexOut_;
  std::unique_ptr<double, Free> in_, out_;
};

class PlanCache {
 public:
  static PlanCache &instance();
  // The plan of this kind and length, made on first use. Safe to call from any thread; the
  // plan is run with Workspace::execute, which may run concurrently.
  fftw_plan plan(PlanKind kind, std::size_t n);
  std::size_t size() const;  // the number of plans kept

  PlanCache(const PlanCache &) = delete;
  PlanCache &operator=(const PlanCache &) = delete;

 private:
  PlanCache() = default;
  ~PlanCache();

  mutable std::mutex mutex_;
  std::map<std::pair<PlanKind, std::size_t>, fftw_plan> plans_;
};

}  // namespace mexrt::detail
