// The signals family: the discrete Fourier transform and its inverse, filtering, windows, and
// the stopwatch tic/toc.
#include <chrono>
#include <cstdio>
#include <optional>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

Results fft(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 1);
  return one(mlfFft(a[0], a.size() >= 2 ? a[1] : nullptr, a.size() == 3 ? a[2] : nullptr));
}

// ifft(x), ifft(x, n), ifft(x, n, dim), each with 'symmetric' or 'nonsymmetric' after them.
Results ifft(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 4);
  outputs(name, nargout, 1);
  std::size_t count = a.size();
  mxArray *option = nullptr;
  if (count >= 2 && isText(a[count - 1])) option = a[--count];
  if (count > 3) raise("Too many input arguments for 'ifft'.");
  return one(mlfIfft(a[0], count >= 2 ? a[1] : nullptr, count == 3 ? a[2] : nullptr, option));
}

Results filter(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 3, 3);
  outputs(name, nargout, 1);
  return one(mlfFilter(a[0], a[1], a[2]));
}

using Clock = std::chrono::steady_clock;
std::optional<Clock::time_point> g_tic;

// tic starts the stopwatch; t = tic also gives the start as a number of microseconds.
Results tic(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 1);
  g_tic = Clock::now();
  if (nargout == 0) return {};
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(g_tic->time_since_epoch());
  return one(mlfScalar(static_cast<double>(us.count())));
}

// toc shows the seconds since tic; t = toc gives them; toc(t) measures from t = tic.
Results toc(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 1);
  Clock::time_point now = Clock::now(), start;
  if (a.size() == 1) {
    double us = takeNumber(a[0], name);
    start = Clock::time_point(std::chrono::microseconds(static_cast<long long>(us)));
  } else {
    if (!g_tic) raise("toc: call tic first.");
    start = *g_tic;
  }
  double seconds = std::chrono::duration<double>(now - start).count();
  if (nargout == 0) {
    std::printf("Elapsed time is %.6f seconds.\n", seconds);
    std::fflush(stdout);
    return {};
  }
  return one(mlfScalar(seconds));
}

}  // namespace

std::span<const Builtin> signalsFamily() {
  static const Builtin kTable[] = {
      {"fft", fft,
       "fft(x), fft(x, n), fft(x, n, dim): the discrete Fourier transform along the first "
       "non-singleton dimension or dim, zero-padded or truncated to n points"},
      {"ifft", ifft,
       "ifft(X, n, dim, 'symmetric'): the inverse transform; 'symmetric' takes X as the "
       "spectrum of real data and gives a real result"},
      {"filter", filter,
       "filter(b, a, x): x through b(z) / a(z) (direct form II transposed) along its first "
       "non-singleton dimension"},
      {"hamming", secondOptional<mlfHamming>,
       "hamming(n), hamming(n, 'periodic'): the n-point Hamming window, 0.54 - 0.46 cos, as a "
       "column"},
      {"hann", secondOptional<mlfHann>,
       "hann(n), hann(n, 'periodic'): the n-point Hann window, 0.5 - 0.5 cos, as a column"},
      {"tic", tic, "tic, t = tic: starts the stopwatch"},
      {"toc", toc, "toc, toc(t), s = toc: the seconds since tic"},
  };
  return kTable;
}

}  // namespace shell::builtins
