// The choice of the log kernel, made once.
#include "logs.h"

#include <cmath>

namespace melceps {

void flooredLogsAvx2(double *x, int64_t n, double floor);
void flooredLogsAvx512(double *x, int64_t n, double floor);

namespace {
void flooredLogsPlain(double *x, int64_t n, double floor) {
  for (int64_t i = 0; i < n; ++i) x[i] = std::log(x[i] > floor ? x[i] : floor);
}

using Kernel = void (*)(double *, int64_t, double);
Kernel choose() {
#if defined(__x86_64__) && !defined(MELCEPS_PLAIN_LOGS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return flooredLogsAvx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return flooredLogsAvx2;
#endif
  return flooredLogsPlain;
}
const Kernel kernel = choose();
}  // namespace

void flooredLogs(double *x, int64_t n, double floor) { kernel(x, n, floor); }

}  // namespace melceps
