// MAT-file bytes given to load: every input ends in a result or a runtime error, and leaks
// no array.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mexrt/error.h"
#include "mexrt/matfile.h"
#include "mexrt/matrix.h"
#include "mexrt/testing.h"

namespace {
std::string scratchFile() { return "/tmp/fuzz_load_" + std::to_string(getpid()) + ".mat"; }
}  // namespace

// A header may claim an array of gigabytes, which the runtime rightly tries to allocate;
// bounded here, that is the out-of-memory error, not a finding.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  mexrtLimitAllocation(std::size_t{64} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = scratchFile();
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::size_t live = mexrtLiveArrayCount();
  mxArray *name = mxCreateString(path.c_str());
  mxArray *x = nullptr, *y = nullptr, *s = nullptr;
  try {
    mclLoadConditional(name, "x", &x, "y", &y, "s", &s, nullptr);
  } catch (const std::exception &) {
  }
  mxDestroyArray(x);
  mxDestroyArray(y);
  mxDestroyArray(s);
  mxDestroyArray(name);
  if (mexrtLiveArrayCount() != live) std::abort();  // an array leaked
  return 0;
}
