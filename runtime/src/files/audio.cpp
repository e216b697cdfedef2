// Audio files through libsndfile. Reads go into a buffer that is handed out only when every
// frame asked for has arrived; writes go to a temporary file beside the target, renamed
// into place once libsndfile has closed it without complaint.
#include "mexrt/audio.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "files/replacement.h"
#include "mexrt/error.h"

namespace mexrt::audio {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char *op, const std::string &path, const std::string &reason) {
  throw Error(std::string(op) + ": cannot " +
              (std::strcmp(op, "audioread") == 0 ? "read" : "write") + " \"" + path +
              "\": " + reason + ".");
}

struct Closer {
  void operator()(SNDFILE *f) const { sf_close(f); }
};
using File = std::unique_ptr<SNDFILE, Closer>;

std::string lowerExtension(const std::string &path) {
  std::string e = fs::path(path).extension().string();
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
  return e;
}

// libsndfile opens a WAV or AIFF file cut short and quietly reads only what is left; its log
// then notes the data chunk's length "(should be N)". A length that is neither 0 nor the
// streaming marker 0xFFFFFFFF and larger than what is there means the file was truncated.
std::string truncation(SNDFILE *f) {
  char log[8192] = {};
  sf_command(f, SFC_GET_LOG_INFO, log, sizeof log);
  const char *at = log;
  while ((at = std::strstr(at, "\ndata")) != nullptr) {
    ++at;
    long long declared = 0, actual = 0;
    if (std::sscanf(at, "data : %lld (should be %lld)", &declared, &actual) == 2 && declared != 0 &&
        declared != 0xFFFFFFFFLL && declared > actual) {
      return "it is truncated: the header gives " + std::to_string(declared) +
             " bytes of samples, the file holds " + std::to_string(actual);
    }
  }
  return "";
}

}  // namespace

namespace {

// A file opened for reading frames first..last (1-based; last 0 for the end), positioned at
// the first of them.
struct Opened {
  File f;
  int subformat = 0;
  std::size_t frames = 0, channels = 0;
  double rate = 0;
};

Opened openForReading(const std::string &path, std::size_t first, std::size_t last) {
  const char *op = "audioread";
  std::error_code ec;
  if (!fs::exists(path, ec)) fail(op, path, "no such file");
  if (fs::is_directory(path, ec)) fail(op, path, "it is a folder");
  SF_INFO info{};
  Opened o;
  o.f.reset(sf_open(path.c_str(), SFM_READ, &info));
  if (!o.f) fail(op, path, sf_strerror(nullptr));
  if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
    fail(op, path, "the header gives no valid channel count, rate or length");
  }
  if (std::string cut = truncation(o.f.get()); !cut.empty()) fail(op, path, cut);
  auto total = static_cast<std::size_t>(info.frames);
  if (first < 1) fail(op, path, "the first frame must be 1 or more");
  if (last == 0) last = total;
  if (last < first - 1 || last > total) {
    fail(op, path,
         "the range " + std::to_string(first) + ".." + std::to_string(last) + " lies outside its " +
             std::to_string(total) + " frames");
  }
  o.subformat = info.format & SF_FORMAT_SUBMASK;
  o.channels = static_cast<std::size_t>(info.channels);
  o.rate = info.samplerate;
  o.frames = last + 1 - first;
  if (o.frames > 0 && o.channels > (std::size_t{1} << 33) / sizeof(double) / o.frames) {
    fail(op, path, "it is too large to read into memory");
  }
  if (first > 1 && sf_seek(o.f.get(), static_cast<sf_count_t>(first - 1), SEEK_SET) < 0) {
    fail(op, path,
         std::string("cannot seek to frame ") + std::to_string(first) + ": " +
             sf_strerror(o.f.get()));
  }
  return o;
}

sf_count_t readFrames(SNDFILE *f, short *p, sf_count_t n) { return sf_readf_short(f, p, n); }
sf_count_t readFrames(SNDFILE *f, int *p, sf_count_t n) { return sf_readf_int(f, p, n); }
sf_count_t readFrames(SNDFILE *f, float *p, sf_count_t n) { return sf_readf_float(f, p, n); }
sf_count_t readFrames(SNDFILE *f, double *p, sf_count_t n) { return sf_readf_double(f, p, n); }

// Every frame asked for, column by column (channel c of frame t at c * frames + t), or the
// error of a short read. The frames are read block by block, so that memory grows with what
// the file holds, not with the frame count its header claims.
template <class T>
std::vector<T> readColumns(Opened &o, const std::string &path) {
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::vector<T> interleaved;
  std::size_t got = 0;
  while (got < o.frames) {
    const std::size_t n = std::min(kBlock, o.frames - got);
    interleaved.resize((got + n) * o.channels);
    sf_count_t r =
        readFrames(o.f.get(), interleaved.data() + got * o.channels, static_cast<sf_count_t>(n));
    got += static_cast<std::size_t>(std::max<sf_count_t>(r, 0));
    if (r != static_cast<sf_count_t>(n)) break;
  }
  if (got != o.frames) {
    int e = sf_error(o.f.get());
    fail("audioread", path,
         e ? std::string(sf_strerror(o.f.get()))
           : "it is truncated: " + std::to_string(o.frames) + " frames expected, " +
                 std::to_string(got) + " found");
  }
  std::vector<T> columns(interleaved.size());
  for (std::size_t t = 0; t < o.frames; ++t) {
    for (std::size_t c = 0; c < o.channels; ++c) {
      columns[c * o.frames + t] = interleaved[t * o.channels + c];
    }
  }
  return columns;
}

template <class T>
void keepBytes(NativeSound &s, const std::vector<T> &values) {
  s.bytes.resize(values.size() * sizeof(T));
  if (!values.empty()) std::memcpy(s.bytes.data(), values.data(), s.bytes.size());
}

}  // namespace

Sound read(const std::string &path, std::size_t first, std::size_t last) {
  Opened o = openForReading(path, first, last);
  sf_command(o.f.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  Sound s;
  s.frames = o.frames;
  s.channels = o.channels;
  s.rate = o.rate;
  s.samples = readColumns<double>(o, path);
  return s;
}

NativeSound readNative(const std::string &path, std::size_t first, std::size_t last) {
  Opened o = openForReading(path, first, last);
  NativeSound s;
  s.frames = o.frames;
  s.channels = o.channels;
  s.rate = o.rate;
  switch (o.subformat) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: {
      // libsndfile hands 8-bit samples as shorts scaled by 256; stored 8-bit WAV is unsigned.
      std::vector<short> v = readColumns<short>(o, path);
      std::vector<std::uint8_t> u(v.size());
      for (std::size_t k = 0; k < v.size(); ++k)
        u[k] = static_cast<std::uint8_t>((v[k] >> 8) + 128);
      s.cls = mxUINT8_CLASS;
      keepBytes(s, u);
      break;
    }
    case SF_FORMAT_PCM_16:
      s.cls = mxINT16_CLASS;
      keepBytes(s, readColumns<short>(o, path));
      break;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
      s.cls = mxINT32_CLASS;
      keepBytes(s, readColumns<int>(o, path));
      break;
    case SF_FORMAT_FLOAT:
      s.cls = mxSINGLE_CLASS;
      keepBytes(s, readColumns<float>(o, path));
      break;
    default:
      // Doubles and compressed formats without integer samples: doubles as read() gives them.
      sf_command(o.f.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
      s.cls = mxDOUBLE_CLASS;
      keepBytes(s, readColumns<double>(o, path));
      break;
  }
  return s;
}

void write(const std::string &path, const double *samples, std::size_t frames, std::size_t channels,
           double rate) {
  const char *op = "audiowrite";
  if (channels == 0 || channels > 1024) fail(op, path, "the samples need 1 to 1024 channels");
  if (!(rate >= 1 && rate <= 1e7) || rate != std::floor(rate)) {
    fail(op, path, "the sample rate must be a whole number of hertz, 1 or more");
  }
  std::string ext = lowerExtension(path);
  int format = 0;
  if (ext == ".wav") {
    format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  } else if (ext == ".flac") {
    format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  } else if (ext == ".ogg" || ext == ".oga") {
    format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  } else if (ext == ".aif" || ext == ".aiff") {
    format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
  } else {
    fail(op, path, "the extension names no format it writes (.wav, .flac, .ogg, .aiff)");
  }
  for (std::size_t k = 0; k < frames * channels; ++k) {
    if (std::isnan(samples[k])) fail(op, path, "the samples hold NaN");
  }
  SF_INFO info{};
  info.channels = static_cast<int>(channels);
  info.samplerate = static_cast<int>(rate);
  info.format = format;
  if (!sf_format_check(&info)) fail(op, path, "libsndfile cannot write these channels and rate");

  fs::path target(path);
  detail::Replacement replacement = detail::createReplacement(target);
  if (replacement.fd < 0) fail(op, path, std::strerror(errno));
  const int fd = replacement.fd;
  const std::string temp = replacement.name;
  auto abandon = [&](const std::string &reason) {
    std::remove(temp.c_str());
    fail(op, path, reason);
  };
  SNDFILE *raw = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!raw) {
    close(fd);
    abandon(sf_strerror(nullptr));
  }
  File f(raw);
  sf_command(f.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
  constexpr std::size_t kBlock = 4096;
  std::vector<double> interleaved(std::min(frames, kBlock) * channels);
  for (std::size_t t0 = 0; t0 < frames; t0 += kBlock) {
    std::size_t n = std::min(kBlock, frames - t0);
    for (std::size_t t = 0; t < n; ++t) {
      for (std::size_t c = 0; c < channels; ++c) {
        double v = samples[c * frames + t0 + t];
        interleaved[t * channels + c] = std::clamp(v, -1.0, 1.0);
      }
    }
    if (sf_writef_double(f.get(), interleaved.data(), static_cast<sf_count_t>(n)) !=
        static_cast<sf_count_t>(n)) {
      std::string reason = sf_strerror(f.get());
      f.reset();
      abandon(reason);
    }
  }
  sf_write_sync(f.get());
  if (sf_close(f.release()) != 0) abandon("closing the file failed");
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) abandon(ec.message());
}

}  // namespace mexrt::audio
