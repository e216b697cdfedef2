// Writes audio seeds for fuzz_audio into the folder given: a short stereo sound in each
// container and sample coding libsndfile writes that audioread is likely to meet. Each seed's
// first byte is the fuzz target's extension selector.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Seed {
  const char *name;
  int format;
  uint8_t selector;  // index into fuzz_audio's extensions
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const Seed seeds[] = {
      {"wav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0},
      {"wav24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0},
      {"wavu8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},
      {"wavfloat", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
      {"wavulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 0},
      {"wavimaadpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 0},
      {"wavmsadpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 0},
      {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1},
      {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2},
      {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 3},
      {"au", SF_FORMAT_AU | SF_FORMAT_DOUBLE, 4},
      {"caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 5},
      {"w64", SF_FORMAT_W64 | SF_FORMAT_PCM_32, 6},
  };
  std::vector<double> frames(2 * 64);
  for (std::size_t t = 0; t < 64; ++t) {
    frames[2 * t] = 0.5 * std::sin(0.3 * t);
    frames[2 * t + 1] = t % 8 < 4 ? 0.25 : -0.25;
  }
  for (const Seed &s : seeds) {
    const std::string temp = dir + "/" + s.name + ".tmp";
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 8000;
    info.format = s.format;
    SNDFILE *f = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!f) {
      std::fprintf(stderr, "audio_seeds: %s: %s\n", s.name, sf_strerror(nullptr));
      continue;
    }
    sf_writef_double(f, frames.data(), 64);
    sf_close(f);
    std::ifstream in(temp, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(dir + "/" + s.name, std::ios::binary);
    out.put(static_cast<char>(s.selector));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::remove(temp.c_str());
  }
  return 0;
}
