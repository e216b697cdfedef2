// The signals family: the discrete Fourier transform and its inverse.
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

}  // namespace

std::span<const Builtin> signalsFamily() {
  static const Builtin kTable[] = {
      {"fft", fft,
       "fft(x), fft(x, n), fft(x, n, dim): the discrete Fourier transform along the first "
       "non-singleton dimension or dim, zero-padded or truncated to n points"},
      {"ifft", ifft,
       "ifft(X, n, dim, 'symmetric'): the inverse transform; 'symmetric' takes X as the "
       "spectrum of real data and gives a real result"},
  };
  return kTable;
}

}  // namespace shell::builtins
