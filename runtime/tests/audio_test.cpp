// Audio files: round trips through each written format, frame ranges, and files that are
// missing, truncated, not audio, or written where the write must fail.
#include "mexrt/audio.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/matfile.h"
#include "mexrt/matrix.h"

namespace {

namespace fs = std::filesystem;
namespace audio = mexrt::audio;

class Audio : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("audio_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string &name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

// frames x channels of a ramp through [-1, 1], a different phase for each channel.
std::vector<double> ramp(std::size_t frames, std::size_t channels) {
  std::vector<double> v(frames * channels);
  for (std::size_t c = 0; c < channels; ++c) {
    for (std::size_t t = 0; t < frames; ++t) {
      v[c * frames + t] = std::sin(0.05 * static_cast<double>(t) + static_cast<double>(c));
    }
  }
  return v;
}

std::string errorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const mexrt::Error &e) {
    return e.what();
  }
  return "";
}

TEST_F(Audio, RoundTripsThroughEachFormat) {
  struct Case {
    const char *name;
    std::size_t channels;
    double tolerance;
  } cases[] = {
      {"mono.wav", 1, 1.0 / 32768}, {"stereo.wav", 2, 1.0 / 32768}, {"three.flac", 3, 1.0 / 32768},
      {"two.aiff", 2, 1.0 / 32768}, {"mono.ogg", 1, 0.05},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> y = ramp(3000, c.channels);
    audio::write(file(c.name), y.data(), 3000, c.channels, 16000);
    audio::Sound s = audio::read(file(c.name));
    EXPECT_EQ(s.rate, 16000);
    ASSERT_EQ(s.channels, c.channels);
    ASSERT_EQ(s.frames, 3000u);
    double worst = 0;
    for (std::size_t k = 0; k < y.size(); ++k)
      worst = std::max(worst, std::abs(s.samples[k] - y[k]));
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST_F(Audio, SixteenBitSamplesComeBackExactlyAndOutOfRangeValuesClip) {
  std::vector<double> y = {0, 0.5, -0.5, -1, 1.5, -2, 1024.0 / 32768};
  audio::write(file("clip.wav"), y.data(), y.size(), 1, 8000);
  audio::Sound s = audio::read(file("clip.wav"));
  std::vector<double> expected = {0, 0.5, -0.5, -1, 32767.0 / 32768, -1, 1024.0 / 32768};
  ASSERT_EQ(s.samples.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(s.samples[k], expected[k], 1e-12);
}

TEST_F(Audio, ReadsAFrameRange) {
  std::vector<double> y = ramp(500, 2);
  audio::write(file("r.wav"), y.data(), 500, 2, 8000);
  audio::Sound all = audio::read(file("r.wav"));
  struct Case {
    std::size_t first, last;
  } cases[] = {{1, 500}, {1, 1}, {500, 500}, {100, 149}, {7, 6}};
  for (const Case &c : cases) {
    audio::Sound s = audio::read(file("r.wav"), c.first, c.last);
    ASSERT_EQ(s.frames, c.last + 1 - c.first);
    for (std::size_t ch = 0; ch < 2; ++ch) {
      for (std::size_t t = 0; t < s.frames; ++t) {
        EXPECT_EQ(s.samples[ch * s.frames + t], all.samples[ch * 500 + c.first - 1 + t]);
      }
    }
  }
  EXPECT_NE(errorOf([&] { audio::read(file("r.wav"), 1, 501); }).find("outside its 500 frames"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { audio::read(file("r.wav"), 0, 5); }), "");
}

TEST_F(Audio, BadFilesAreErrorsNamingTheFileAndTheReason) {
  std::vector<double> y = ramp(1000, 1);
  audio::write(file("good.wav"), y.data(), 1000, 1, 8000);
  // The same file cut in the middle of its samples: the header still promises 1000 frames.
  {
    std::ifstream in(file("good.wav"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(file("cut.wav"), std::ios::binary).write(bytes.data(), 44 + 600);
    std::ofstream(file("header.wav"), std::ios::binary).write(bytes.data(), 20);
    // A header that claims 2^30 - 4 frames (8 GiB of samples) over the same 600 bytes.
    std::string liar = bytes.substr(0, 44 + 600);
    const unsigned char claim[4] = {0xf0, 0xff, 0xff, 0x7f};
    std::memcpy(liar.data() + 40, claim, 4);
    std::ofstream(file("liar.wav"), std::ios::binary).write(liar.data(), liar.size());
  }
  std::ofstream(file("text.wav")) << "this is not a sound file, only text that goes on a while";
  struct Case {
    std::string path, reason;
  } cases[] = {
      {file("absent.wav"), "no such file"},
      {dir_.string(), "folder"},
      {file("text.wav"), ""},
      {file("header.wav"), ""},
      {file("cut.wav"), "truncated"},
      {file("liar.wav"), "truncated"},
  };
  for (const Case &c : cases) {
    std::string e = errorOf([&] { audio::read(c.path); });
    SCOPED_TRACE(e);
    EXPECT_EQ(e.rfind("audioread: cannot read \"" + c.path + "\": ", 0), 0u);
    EXPECT_NE(e.find(c.reason), std::string::npos);
  }
  // The lying header cost no more memory than the file holds.
  struct rusage before {
  }, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_NE(errorOf([&] { audio::read(file("liar.wav")); }).find("truncated"), std::string::npos);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB of peak resident memory";
}

// Audio and MAT-files written through a temporary file get the permissions a new file gets
// under the umask (not the temporary's owner-only mode), and a file replaced keeps its own.
TEST_F(Audio, WrittenFilesTakeTheUsualModeOrTheModeOfTheFileReplaced) {
  const mode_t mask = umask(022);
  std::vector<double> y = ramp(100, 1);
  mxArray *x = mxCreateDoubleScalar(2.5);
  auto writers = {
      std::function<void(const std::string &)>(
          [&](const std::string &f) { audio::write(f, y.data(), 100, 1, 8000); }),
      std::function<void(const std::string &)>([&](const std::string &f) {
        mexrt::matfile::save(f, {{"x", x}});
      }),
  };
  auto modeOf = [](const std::string &f) {
    struct stat st {};
    EXPECT_EQ(stat(f.c_str(), &st), 0) << f;
    return st.st_mode & 07777;
  };
  int k = 0;
  for (const auto &write : writers) {
    std::string f = file(k++ == 0 ? "mode.wav" : "mode.mat");
    write(f);
    EXPECT_EQ(modeOf(f), 0644u) << f;
    chmod(f.c_str(), 0640);
    write(f);
    EXPECT_EQ(modeOf(f), 0640u) << f;
  }
  mxDestroyArray(x);
  umask(mask);
}

TEST_F(Audio, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  std::vector<double> y = ramp(100, 1);
  audio::write(file("keep.wav"), y.data(), 100, 1, 8000);
  auto size = fs::file_size(file("keep.wav"));
  std::vector<double> bad = {0, NAN, 0};
  struct Case {
    std::string path;
    const double *samples;
    std::size_t frames, channels;
    double rate;
    const char *reason;
  } cases[] = {
      {file("keep.wav"), bad.data(), 3, 1, 8000, "NaN"},
      {file("keep.wav"), y.data(), 100, 1, 0, "rate"},
      {file("keep.wav"), y.data(), 100, 1, 8000.5, "rate"},
      {file("keep.wav"), y.data(), 100, 0, 8000, "channels"},
      {file("keep.mp9"), y.data(), 100, 1, 8000, "extension"},
      {file("no/such/folder/x.wav"), y.data(), 100, 1, 8000, ""},
  };
  for (const Case &c : cases) {
    std::string e = errorOf([&] { audio::write(c.path, c.samples, c.frames, c.channels, c.rate); });
    SCOPED_TRACE(e);
    EXPECT_EQ(e.rfind("audiowrite: cannot write \"" + c.path + "\": ", 0), 0u);
    EXPECT_NE(e.find(c.reason), std::string::npos);
  }
  EXPECT_EQ(fs::file_size(file("keep.wav")), size);
  std::size_t entries = 0;
  for (auto &entry : fs::directory_iterator(dir_)) entries += entry.is_regular_file();
  EXPECT_EQ(entries, 1u) << "only keep.wav";
}

}  // namespace

namespace {

// A canonical WAV file written byte by byte: format tag 1 (PCM) or 3 (float), the given
// bits per sample and channels, at 8000 Hz, holding `data` as it is.
void writeWav(const std::string &path, int tag, int bits, int channels,
              const std::vector<unsigned char> &data) {
  std::vector<unsigned char> b;
  auto word = [&](std::uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  auto text = [&](const char *s) { b.insert(b.end(), s, s + 4); };
  const std::uint32_t rate = 8000, align = static_cast<std::uint32_t>(channels * bits / 8);
  text("RIFF");
  word(static_cast<std::uint32_t>(36 + data.size()), 4);
  text("WAVE");
  text("fmt ");
  word(16, 4);
  word(static_cast<std::uint32_t>(tag), 2);
  word(static_cast<std::uint32_t>(channels), 2);
  word(rate, 4);
  word(rate * align, 4);
  word(align, 2);
  word(static_cast<std::uint32_t>(bits), 2);
  text("data");
  word(static_cast<std::uint32_t>(data.size()), 4);
  b.insert(b.end(), data.begin(), data.end());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Little-endian bytes of each value, `bytes` of each.
std::vector<unsigned char> littleEndian(const std::vector<long long> &values, int bytes) {
  std::vector<unsigned char> out;
  for (long long v : values) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<unsigned char>(v >> (8 * k)));
  }
  return out;
}

template <class T>
std::vector<long long> nativeValues(const audio::NativeSound &s) {
  std::vector<long long> out(s.bytes.size() / sizeof(T));
  for (std::size_t k = 0; k < out.size(); ++k) {
    T v;
    std::memcpy(&v, s.bytes.data() + k * sizeof(T), sizeof(T));
    out[k] = static_cast<long long>(v);
  }
  return out;
}

}  // namespace

TEST_F(Audio, NativeSamplesKeepTheFilesIntegers) {
  const struct {
    const char *what;
    int bits, channels;
    std::vector<long long> stored;  // interleaved, as the file holds them
    mxClassID cls;
    std::vector<long long> expected;  // column by column
  } cases[] = {
      {"16-bit",
       16,
       1,
       {0, 1, -1, 32767, -32768, 1234},
       mxINT16_CLASS,
       {0, 1, -1, 32767, -32768, 1234}},
      {"16-bit stereo", 16, 2, {1, -1, 2, -2, 3, -3}, mxINT16_CLASS, {1, 2, 3, -1, -2, -3}},
      {"8-bit", 8, 1, {0, 128, 255, 1}, mxUINT8_CLASS, {0, 128, 255, 1}},
      {"24-bit",
       24,
       1,
       {1, -1, 0x7FFFFF, -0x800000},
       mxINT32_CLASS,
       {256, -256, 0x7FFFFF00LL, -0x80000000LL}},
      {"32-bit",
       32,
       1,
       {2147483647LL, -2147483648LL, 5},
       mxINT32_CLASS,
       {2147483647LL, -2147483648LL, 5}},
  };
  for (const auto &c : cases) {
    writeWav(file("n.wav"), 1, c.bits, c.channels, littleEndian(c.stored, c.bits / 8));
    audio::NativeSound s = audio::readNative(file("n.wav"));
    EXPECT_EQ(s.cls, c.cls) << c.what;
    EXPECT_EQ(s.channels, static_cast<std::size_t>(c.channels)) << c.what;
    EXPECT_EQ(s.frames * s.channels, c.stored.size()) << c.what;
    std::vector<long long> got = c.cls == mxINT16_CLASS   ? nativeValues<std::int16_t>(s)
                                 : c.cls == mxUINT8_CLASS ? nativeValues<std::uint8_t>(s)
                                                          : nativeValues<std::int32_t>(s);
    EXPECT_EQ(got, c.expected) << c.what;
  }
  // A frame range reads only those frames.
  writeWav(file("r.wav"), 1, 16, 1, littleEndian({10, 20, 30, 40}, 2));
  EXPECT_EQ(nativeValues<std::int16_t>(audio::readNative(file("r.wav"), 2, 3)),
            (std::vector<long long>{20, 30}));
}

TEST_F(Audio, NativeFloatSamplesAreSingle) {
  const float stored[] = {0.25f, -1.5f, 3.0f};
  std::vector<unsigned char> bytes(sizeof stored);
  std::memcpy(bytes.data(), stored, sizeof stored);
  writeWav(file("f.wav"), 3, 32, 1, bytes);
  audio::NativeSound s = audio::readNative(file("f.wav"));
  EXPECT_EQ(s.cls, mxSINGLE_CLASS);
  ASSERT_EQ(s.bytes.size(), sizeof stored);
  EXPECT_EQ(std::memcmp(s.bytes.data(), stored, sizeof stored), 0);
}
