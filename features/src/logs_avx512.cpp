// flooredLogs with SLEEF's AVX-512 kernel (this file alone is compiled for AVX-512F).
#include <immintrin.h>
#include <sleef.h>

#include <cmath>
#include <cstdint>

namespace melceps {
namespace {
// max(v, f) by a compare and a blend (GCC 12 warns about _mm512_max_pd's undefined source).
__m512d floored(__m512d v, __m512d f) {
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, f, _CMP_LT_OQ), v, f);
}
}  // namespace

void flooredLogsAvx512(double *x, int64_t n, double floor) {
  const __m512d f = _mm512_set1_pd(floor);
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m512d v = floored(_mm512_loadu_pd(x + i), f);
    _mm512_storeu_pd(x + i, Sleef_logd8_u10avx512f(v));
  }
  if (i < n) {  // the rest through a copy padded with the floor
    alignas(64) double rest[8];
    for (int64_t k = 0; k < 8; ++k) rest[k] = i + k < n ? x[i + k] : floor;
    __m512d v = floored(_mm512_load_pd(rest), f);
    _mm512_store_pd(rest, Sleef_logd8_u10avx512f(v));
    for (int64_t k = 0; i + k < n; ++k) x[i + k] = rest[k];
  }
}

}  // namespace melceps
