// The vector kernels eight doubles at a time. This file is compiled with -mavx512f and its
// code runs only where the processor has AVX-512F; nothing else belongs here.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "math/vector_kernels.h"
#include "math/vector_lanes.h"

namespace mexrt::detail {

namespace {

template <auto F>  // a SLEEF kernel of this width
void run(const double *in, double *out, std::size_t n) {
  runInLanes<8>(
      in, out, n, [](const double *x, double *y) { _mm512_storeu_pd(y, F(_mm512_loadu_pd(x))); },
      [](const double *x, double *y, std::size_t count) {
        const auto lanes = static_cast<__mmask8>((1U << count) - 1);
        _mm512_mask_storeu_pd(y, lanes, F(_mm512_mask_loadu_pd(_mm512_set1_pd(1.0), lanes, x)));
      });
}

// As run, ORing the bits of every argument loaded; the sign bit of the OR answers.
template <auto F>
bool runSigned(const double *in, double *out, std::size_t n) {
  __m512i bits = _mm512_setzero_si512();
  runInLanes<8>(
      in, out, n,
      [&](const double *x, double *y) {
        const __m512d v = _mm512_loadu_pd(x);
        bits = _mm512_or_si512(bits, _mm512_castpd_si512(v));
        _mm512_storeu_pd(y, F(v));
      },
      [&](const double *x, double *y, std::size_t count) {
        const auto lanes = static_cast<__mmask8>((1U << count) - 1);
        const __m512d v = _mm512_mask_loadu_pd(_mm512_set1_pd(1.0), lanes, x);
        bits = _mm512_or_si512(bits, _mm512_castpd_si512(v));
        _mm512_mask_storeu_pd(y, lanes, F(v));
      });
  return _mm512_test_epi64_mask(bits, _mm512_set1_epi64(INT64_MIN)) != 0;
}

}  // namespace

const VectorKernels kAvx512Kernels = {8,
                                      run<Sleef_logd8_u10>,
                                      run<Sleef_log10d8_u10>,
                                      run<Sleef_expd8_u10>,
                                      run<Sleef_sind8_u10>,
                                      run<Sleef_cosd8_u10>,
                                      run<Sleef_sqrtd8>,
                                      runSigned<Sleef_logd8_u10>,
                                      runSigned<Sleef_log10d8_u10>,
                                      runSigned<Sleef_sqrtd8>};

}  // namespace mexrt::detail
