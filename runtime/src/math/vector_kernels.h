// The tables of vector kernels, one per SIMD width, as the kernel file of each width defines
// them. Only declarations: this is all the kernel files include beside SLEEF.
#pragma once

#include <cstddef>

namespace mexrt::detail {

// out[k] = f(in[k]) for k < n; in may be out.
using RunKernel = void (*)(const double *in, double *out, std::size_t n);
// The same, and whether any in[k] has its sign bit set (a negative number, -0 or a negative
// NaN), noted while the arguments are loaded: where log, log10 and sqrt may leave their real
// domain, at no cost of a pass of its own.
using SignedRunKernel = bool (*)(const double *in, double *out, std::size_t n);

// The kernels of one SIMD width. Accuracy against the exact result, for every double:
// log, log10, exp, sin, cos within 1.0 ULP (SLEEF's u10 kernels, which also take sin and cos
// of any finite argument); sqrt correctly rounded (the processor's instruction). Special
// arguments give what the C library gives: NaN for NaN and outside the domain (a negative
// logarithm or square root, sin or cos of an infinity), log(+-0) = -Inf, sqrt(-0) = -0,
// sin(-0) = -0, exp(-Inf) = 0, and infinities and underflow as the C library has them.
struct VectorKernels {
  std::size_t lanes;
  RunKernel log, log10, exp, sin, cos, sqrt;
  SignedRunKernel signedLog, signedLog10, signedSqrt;
};

// The kernels of each width; each runs only on a processor that has its instructions.
extern const VectorKernels kSse2Kernels;
extern const VectorKernels kAvxKernels;
extern const VectorKernels kAvx512Kernels;

}  // namespace mexrt::detail
