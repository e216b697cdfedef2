// rand, randn and rng: one generator for the whole library, the same sequence on every machine.
//
// The generator is xoshiro256** (Blackman and Vigna, 2018) with its 256-bit state filled from
// the 64-bit seed by splitmix64. rand(k) takes the top 53 bits u of one 64-bit output and gives
// (u + 0.5) / 2^53, strictly inside (0, 1). randn takes two such uniforms u1, u2 and gives the
// Box-Muller pair sqrt(-2 log u1) cos(2 pi u2) and sqrt(-2 log u1) sin(2 pi u2), first the
// cosine value, and keeps the sine value for the next call; rng(seed) starts both over. The
// state before any rng call is that of rng(0).
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <numbers>

#include "arrays/args.h"
#include "core/array.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

struct Generator {
  std::uint64_t s[4];
  bool haveSpare = false;
  double spare = 0;

  explicit Generator(std::uint64_t seed) { reseed(seed); }
  void reseed(std::uint64_t seed) {
    std::uint64_t x = seed;
    for (std::uint64_t &w : s) {
      std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      w = z ^ (z >> 31);
    }
    haveSpare = false;
  }
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t next() {
    const std::uint64_t result = rotl(s[1] * 5, 7) * 9;
    const std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
  }
  double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }
  double normal() {
    if (haveSpare) {
      haveSpare = false;
      return spare;
    }
    double r = std::sqrt(-2.0 * std::log(uniform()));
    double angle = 2.0 * std::numbers::pi * uniform();
    spare = r * std::sin(angle);
    haveSpare = true;
    return r * std::cos(angle);
  }
};

Generator &generator() {
  static Generator g(0);
  return g;
}

template <class Draw>
mxArray *drawn(mxArray *first, va_list ap, const char *fn, Draw draw) {
  std::vector<Array *> args = gatherList(first, ap);
  OperandList ops(args, fn);
  Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, sizeArguments(ops, fn)));
  double *out = r->numel() ? r->mutableReals() : nullptr;
  for (std::size_t k = 0; k < r->numel(); ++k) out[k] = draw(generator());
  return temp(r.release());
}

}  // namespace

extern "C" {

mxArray *mlfRand(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  mxArray *r = nullptr;
  try {
    r = drawn(first, ap, "rand", [](Generator &g) { return g.uniform(); });
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return r;
}

mxArray *mlfRandn(mxArray *first, ...) {
  va_list ap;
  va_start(ap, first);
  mxArray *r = nullptr;
  try {
    r = drawn(first, ap, "randn", [](Generator &g) { return g.normal(); });
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return r;
}

void mlfRng(mxArray *seed) {
  Operand S(seed, "rng");
  double v = S->isDouble() && !S->isComplex() && S->numel() == 1 ? S->number(0) : -1;
  if (!(v >= 0) || v != std::floor(v) || v >= 0x1.0p64) {
    raise("rng: the seed must be a non-negative whole number.");
  }
  generator().reseed(static_cast<std::uint64_t>(v));
}

}  // extern "C"
