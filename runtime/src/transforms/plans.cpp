// The plan cache of the Fourier transforms and the workspaces its plans run in: one FFTW
// plan per kind and length, made on the first call that needs it and destroyed when the
// process ends.
#include "transforms/plans.h"

#include <climits>
#include <string>

#include "core/array.h"

namespace mexrt::detail {

namespace {

double *allocate(std::size_t count) {
  auto *p = static_cast<double *>(fftw_malloc(sizeof(double) * (count ? count : 1)));
  if (!p) raise("fft: out of memory for a work buffer of " + std::to_string(count) + " points.");
  return p;
}

bool realInput(PlanKind kind) { return kind == PlanKind::RealToComplex; }
bool realOutput(PlanKind kind) { return kind == PlanKind::ComplexToReal; }

}  // namespace

Workspace::Workspace(PlanKind kind, std::size_t n)
    : kind_(kind),
      inCount_(kind == PlanKind::ComplexToReal ? n / 2 + 1 : n),
      outCount_(kind == PlanKind::RealToComplex ? n / 2 + 1 : n),
      complexIn_(!realInput(kind)),
      complexOut_(!realOutput(kind)),
      in_(allocate(complexIn_ ? 2 * inCount_ : inCount_)),
      out_(allocate(complexOut_ ? 2 * outCount_ : outCount_)) {}

// The backward transform is the forward one with the real and imaginary parts swapped on
// both sides; its plan is made on the swapped parts, so that the distance between them is
// the one it runs with.
void Workspace::execute(fftw_plan plan) const {
  switch (kind_) {
    case PlanKind::RealToComplex:
      return fftw_execute_split_dft_r2c(plan, inReal(), outReal(), outImag());
    case PlanKind::ComplexForward:
      return fftw_execute_split_dft(plan, inReal(), inImag(), outReal(), outImag());
    case PlanKind::ComplexBackward:
      return fftw_execute_split_dft(plan, inImag(), inReal(), outImag(), outReal());
    case PlanKind::ComplexToReal:
      return fftw_execute_split_dft_c2r(plan, inReal(), inImag(), outReal());
  }
}

PlanCache &PlanCache::instance() {
  static PlanCache cache;
  return cache;
}

PlanCache::~PlanCache() {
  for (auto &entry : plans_) fftw_destroy_plan(entry.second);
  fftw_cleanup();
}

std::size_t PlanCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plans_.size();
}

fftw_plan PlanCache::plan(PlanKind kind, std::size_t n) {
  if (n == 0 || n > INT_MAX) raise("fft: a transform of " + std::to_string(n) + " points.");
  std::lock_guard<std::mutex> lock(mutex_);  // FFTW's planner is not reentrant
  auto key = std::make_pair(kind, n);
  auto it = plans_.find(key);
  if (it != plans_.end()) return it->second;
  // Planned on a workspace of the layout every call uses; FFTW_ESTIMATE leaves it untouched.
  Workspace w(kind, n);
  fftw_iodim dim{static_cast<int>(n), 1, 1};
  const unsigned flags = FFTW_ESTIMATE;
  fftw_plan p = nullptr;
  switch (kind) {
    case PlanKind::RealToComplex:
      p = fftw_plan_guru_split_dft_r2c(1, &dim, 0, nullptr, w.inReal(), w.outReal(), w.outImag(),
                                       flags);
      break;
    case PlanKind::ComplexForward:
      p = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, w.inReal(), w.inImag(), w.outReal(),
                                   w.outImag(), flags);
      break;
    case PlanKind::ComplexBackward:
      p = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, w.inImag(), w.inReal(), w.outImag(),
                                   w.outReal(), flags);
      break;
    case PlanKind::ComplexToReal:
      p = fftw_plan_guru_split_dft_c2r(1, &dim, 0, nullptr, w.inReal(), w.inImag(), w.outReal(),
                                       flags);
      break;
  }
  if (!p) raise("fft: no plan for a transform of " + std::to_string(n) + " points.");
  plans_.emplace(key, p);
  return p;
}

}  // namespace mexrt::detail
