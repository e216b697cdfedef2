// Random arrays saved and loaded back: every array of a class save writes (double, complex,
// char, logical) and of any small shape, empty and N-d ones included, comes back with its
// class, size and every element (NaN as NaN), and nothing leaks. The bytes give up to three
// arrays, each a class and shape byte, then its elements. Built on the runtime's inner array
// type, which makes char and logical arrays of any shape.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/array.h"
#include "mexrt/error.h"
#include "mexrt/matfile.h"
#include "mexrt/matrix.h"
#include "mexrt/testing.h"

namespace {

// Eight bytes as a double, any bit pattern: NaN, Inf, subnormals and -0 included.
double take(const uint8_t *&p, const uint8_t *end) {
  uint8_t b[8] = {};
  for (uint8_t &c : b) c = p < end ? *p++ : 0;
  double v;
  std::memcpy(&v, b, sizeof v);
  return v;
}

mxArray *arrayFrom(const uint8_t *&p, const uint8_t *end) {
  using namespace mexrt::detail;
  uint8_t kind = p < end ? *p++ : 0;
  uint8_t shape = p < end ? *p++ : 0;
  std::size_t dims[3] = {std::size_t(shape & 3), std::size_t((shape >> 2) & 7),
                         std::size_t(1 + (shape >> 5) % 3)};
  std::size_t rank = (shape >> 5) ? 3 : 2;
  static const mxClassID classes[] = {mxDOUBLE_CLASS, mxDOUBLE_CLASS, mxCHAR_CLASS,
                                      mxLOGICAL_CLASS};
  Array *a = newArray(classes[kind % 4], Dims({dims, rank}));
  std::size_t n = a->numel();
  if (n == 0) return a;
  switch (kind % 4) {
    case 0:
      for (std::size_t k = 0; k < n; ++k) a->mutableReals()[k] = take(p, end);
      break;
    case 1:
      addImaginaryPart(*a);
      for (std::size_t k = 0; k < n; ++k) {
        a->mutableReals()[k] = take(p, end);
        a->mutableImags()[k] = take(p, end);
      }
      break;
    case 2:
      for (std::size_t k = 0; k < n; ++k) {
        mxChar c = p < end ? *p++ : 'a';
        if (p < end && (kind & 0x80)) c = static_cast<mxChar>(c | (*p++ << 8));
        a->mutableChars()[k] = c;
      }
      break;
    default:
      for (std::size_t k = 0; k < n; ++k) a->mutableLogicals()[k] = p < end && (*p++ & 1);
      break;
  }
  return a;
}

bool sameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// Where the two differ, or "" when they are the same array.
std::string difference(const mxArray *saved, const mxArray *loaded) {
  if (!loaded) return "not loaded";
  if (mxGetClassID(saved) != mxGetClassID(loaded)) return "class";
  std::size_t rank = mxGetNumberOfDimensions(saved);
  if (rank != mxGetNumberOfDimensions(loaded) ||
      std::memcmp(mxGetDimensions(saved), mxGetDimensions(loaded), rank * sizeof(std::size_t)) !=
          0) {
    return "size";
  }
  std::size_t n = mxGetNumberOfElements(saved);
  if (n == 0) return "";
  if (saved->isDouble()) {
    const double *zi = mxIsComplex(saved) ? mxGetPi(saved) : nullptr;
    const double *li = mxIsComplex(loaded) ? mxGetPi(loaded) : nullptr;
    for (std::size_t k = 0; k < n; ++k) {
      if (!sameDouble(mxGetPr(saved)[k], mxGetPr(loaded)[k])) return "real part";
      if (!sameDouble(zi ? zi[k] : 0.0, li ? li[k] : 0.0)) return "imaginary part";
    }
    return "";
  }
  std::size_t bytes = n * mexrt::detail::elementSize(saved->cls);
  return std::memcmp(saved->rawData(), loaded->rawData(), bytes) == 0 ? "" : "elements";
}

}  // namespace

// The dimensions read from the input may ask for gigabytes, which the runtime rightly tries
// to allocate; bounded here, that is the out-of-memory error, not a finding.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  mexrtLimitAllocation(std::size_t{64} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 2048) return -1;
  static const std::string path = "/tmp/fuzz_roundtrip_" + std::to_string(getpid()) + ".mat";
  static const char *const names[] = {"x", "y", "s"};
  std::size_t live = mexrtLiveArrayCount();
  const uint8_t *p = data, *end = data + size;
  std::vector<mxArray *> saved;
  std::vector<std::pair<std::string, const mxArray *>> variables;
  for (std::size_t k = 0; k < 3 && (k == 0 || p < end); ++k) {
    saved.push_back(arrayFrom(p, end));
    variables.emplace_back(names[k], saved.back());
  }
  mexrt::matfile::save(path, variables);
  mxArray *name = mxCreateString(path.c_str());
  mxArray *loaded[3] = {};
  mclLoadConditional(name, "x", &loaded[0], "y", &loaded[1], "s", &loaded[2], nullptr);
  for (std::size_t k = 0; k < saved.size(); ++k) {
    std::string d = difference(saved[k], loaded[k]);
    if (!d.empty()) {
      std::fprintf(stderr, "variable %s: the %s differs after save and load\n", names[k],
                   d.c_str());
      std::abort();
    }
  }
  if (saved.size() < 3 && loaded[saved.size()]) std::abort();  // a variable that was not saved
  for (mxArray *a : loaded) mxDestroyArray(a);
  for (mxArray *a : saved) mxDestroyArray(a);
  mxDestroyArray(name);
  std::remove(path.c_str());
  if (mexrtLiveArrayCount() != live) std::abort();  // an array leaked
  return 0;
}
