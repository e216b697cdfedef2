// Audio file bytes given to audioread: every input ends in samples or a runtime error, and the
// samples match the frame and channel counts reported. The first byte picks the extension the
// file is given (libsndfile looks at the bytes, some formats also at the name) and whether a
// frame range is asked for; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mexrt/audio.h"
#include "mexrt/error.h"
#include "mexrt/testing.h"

// A header may claim an array of gigabytes, which the runtime rightly tries to allocate;
// bounded here, that is the out-of-memory error, not a finding.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  mexrtLimitAllocation(std::size_t{64} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return -1;
  static const char *const extensions[] = {".wav", ".flac", ".ogg", ".aiff",
                                           ".au",  ".caf",  ".w64", ".raw"};
  const std::string path = "/tmp/fuzz_audio_" + std::to_string(getpid()) + extensions[data[0] % 8];
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  std::size_t first = 1, last = 0;
  if (data[0] & 8) {
    first = 1 + (data[0] >> 4) % 4;
    last = first + (data[0] >> 6);
  }
  try {
    mexrt::audio::Sound s = mexrt::audio::read(path, first, last);
    if (s.samples.size() != s.frames * s.channels) std::abort();
  } catch (const mexrt::Error &) {
  }
  std::remove(path.c_str());
  return 0;
}
