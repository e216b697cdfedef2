// corpus_audio: audio as corpus extraction reads it. AudioSource reads one channel of a file,
// or of a command's output held in memory, in blocks of samples on the 16-bit integer scale
// (sample * 32768 whatever the encoding, as Kaldi reads them); Resampler streams samples
// through libsoxr at its high quality setting. Neither keeps more than one block.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

constexpr double kInt16Scale = 32768.0;

// Bytes in memory as a libsndfile stream (a piped command's output).
struct MemoryStream {
  std::string bytes;
  sf_count_t pos = 0;

  static MemoryStream &of(void *user) { return *static_cast<MemoryStream *>(user); }
  static sf_count_t length(void *user) { return static_cast<sf_count_t>(of(user).bytes.size()); }
  static sf_count_t seek(sf_count_t offset, int whence, void *user) {
    MemoryStream &m = of(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.pos : length(user);
    sf_count_t to = base + offset;
    if (to < 0 || to > length(user)) return -1;
    m.pos = to;
    return m.pos;
  }
  static sf_count_t read(void *out, sf_count_t count, void *user) {
    MemoryStream &m = of(user);
    sf_count_t n = std::clamp<sf_count_t>(length(user) - m.pos, 0, count);
    std::memcpy(out, m.bytes.data() + m.pos, static_cast<size_t>(n));
    m.pos += n;
    return n;
  }
  static sf_count_t write(const void *, sf_count_t, void *) { return 0; }
  static sf_count_t tell(void *user) { return of(user).pos; }
};

class AudioSource {
 public:
  static std::unique_ptr<AudioSource> open(const std::string &path, int channel) {
    std::unique_ptr<AudioSource> s(new AudioSource(path, channel));
    s->file_ = sf_open(path.c_str(), SFM_READ, &s->info_);
    s->checkOpened();
    return s;
  }

  // `name` names the source in messages (the command that produced the bytes).
  static std::unique_ptr<AudioSource> fromBytes(const py::bytes &data, const std::string &name,
                                                int channel) {
    std::unique_ptr<AudioSource> s(new AudioSource(name, channel));
    s->memory_ = std::make_unique<MemoryStream>();
    s->memory_->bytes = data;
    static SF_VIRTUAL_IO io = {MemoryStream::length, MemoryStream::seek, MemoryStream::read,
                               MemoryStream::write, MemoryStream::tell};
    s->file_ = sf_open_virtual(&io, SFM_READ, &s->info_, s->memory_.get());
    s->checkOpened();
    return s;
  }

  ~AudioSource() {
    if (file_) sf_close(file_);
  }
  AudioSource(const AudioSource &) = delete;
  AudioSource &operator=(const AudioSource &) = delete;

  int rate() const { return info_.samplerate; }
  int channels() const { return info_.channels; }
  long long frames() const { return info_.frames; }
  long long position() const { return position_; }

  void seek(long long frame) {
    if (frame < 0 || frame > info_.frames)
      throw std::runtime_error(name_ + ": cannot seek to sample " + std::to_string(frame) + " of " +
                               std::to_string(info_.frames));
    if (sf_seek(file_, frame, SEEK_SET) < 0)
      throw std::runtime_error(name_ + ": cannot seek: " + sf_strerror(file_));
    position_ = frame;
  }

  // Up to `count` samples of the channel from the current position; fewer only at the end.
  py::array_t<double> read(long long count) {
    if (count < 0) throw std::invalid_argument("the count of samples must not be negative");
    count = std::min(count, info_.frames - position_);
    py::array_t<double> out(static_cast<py::ssize_t>(count));
    double *o = out.mutable_data();
    long long got = 0;
    {
      py::gil_scoped_release unlocked;
      const int nch = info_.channels;
      // The interleaved frames pass through a buffer of at most kChunk frames.
      constexpr long long kChunk = 8192;
      if (nch > 1) buffer_.resize(static_cast<size_t>(std::min(count, kChunk) * nch));
      while (got < count) {
        long long want = std::min(count - got, kChunk);
        sf_count_t n;
        if (nch == 1) {
          n = sf_readf_double(file_, o + got, want);
        } else {
          n = sf_readf_double(file_, buffer_.data(), want);
          for (sf_count_t k = 0; k < n; ++k) o[got + k] = buffer_[k * nch + channel_];
        }
        if (n <= 0) break;
        got += n;
      }
      for (long long k = 0; k < got; ++k) o[k] *= kInt16Scale;
    }
    position_ += got;
    if (got < count) {
      throw std::runtime_error(name_ + ": the audio ends at sample " + std::to_string(position_) +
                               " of the " + std::to_string(info_.frames) +
                               " its header gives (truncated file?)");
    }
    return out;
  }

 private:
  AudioSource(std::string name, int channel) : name_(std::move(name)), channel_(channel) {}

  void checkOpened() {
    if (!file_) throw std::runtime_error(name_ + ": cannot read audio: " + sf_strerror(nullptr));
    if (info_.samplerate <= 0)
      throw std::runtime_error(name_ + ": the sampling rate is not positive");
    if (channel_ < 0 || channel_ >= info_.channels)
      throw std::runtime_error(name_ + ": no channel " + std::to_string(channel_) +
                               " (the file has " + std::to_string(info_.channels) +
                               ", numbered from 0)");
  }

  std::string name_;
  int channel_;
  std::unique_ptr<MemoryStream> memory_;  // before file_: the stream outlives the handle
  SF_INFO info_{};
  SNDFILE *file_ = nullptr;
  long long position_ = 0;
  std::vector<double> buffer_;
};

class Resampler {
 public:
  // libsoxr filters in single precision: a sample much beyond 1e30 in magnitude comes out as
  // infinities and NaN spread over the filter's length, so such samples are refused by index.
  static constexpr double kLargest = 1e30;

  Resampler(double inRate, double outRate) : ratio_(outRate / inRate) {
    if (!(inRate > 0) || !(outRate > 0))
      throw std::invalid_argument("sampling rates must be positive");
    soxr_error_t error = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_ = soxr_create(inRate, outRate, 1, &error, &io, &quality, nullptr);
    if (error) throw std::runtime_error(std::string("libsoxr: ") + error);
  }
  ~Resampler() { soxr_delete(soxr_); }
  Resampler(const Resampler &) = delete;
  Resampler &operator=(const Resampler &) = delete;

  // The output the samples make ready; with last, everything still held back as well.
  py::array_t<double> process(
      const py::array_t<double, py::array::c_style | py::array::forcecast> &in, bool last) {
    if (in.ndim() != 1) throw std::invalid_argument("samples must be 1-D");
    if (finished_) throw std::runtime_error("samples given after the last block");
    const double *x = in.data();
    const size_t n = static_cast<size_t>(in.shape(0));
    std::vector<double> out;
    {
      py::gil_scoped_release unlocked;
      for (size_t i = 0; i < n; ++i) {
        if (!(std::abs(x[i]) <= kLargest)) refuse(received_ + static_cast<long long>(i), x[i]);
      }
      received_ += static_cast<long long>(n);
      const size_t olen = static_cast<size_t>(std::ceil(static_cast<double>(n) * ratio_)) + 1024;
      size_t used = 0;
      // All of the input first, then (at the end) the flush until nothing more comes.
      for (bool flushing = false;;) {
        size_t idone = 0, odone = 0, at = out.size();
        out.resize(at + olen);
        soxr_error_t error = soxr_process(soxr_, flushing ? nullptr : x + used, n - used, &idone,
                                          out.data() + at, olen, &odone);
        out.resize(at + odone);
        if (error) throw std::runtime_error(std::string("libsoxr: ") + error);
        used += idone;
        if (flushing) {
          if (odone < olen) break;
        } else if (used == n && odone < olen) {
          if (!last) break;
          flushing = true;
        }
      }
    }
    finished_ = last;
    py::array_t<double> result(static_cast<py::ssize_t>(out.size()));
    std::copy(out.begin(), out.end(), result.mutable_data());
    return result;
  }

 private:
  [[noreturn]] static void refuse(long long index, double value) {
    auto text = [](double v) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%g", v);
      return std::string(std::isnan(v) ? "NaN" : buffer);
    };
    throw std::invalid_argument("Sample " + std::to_string(index) + " is " + text(value) +
                                "; the resampler takes finite samples up to " + text(kLargest) +
                                " in magnitude.");
  }

  double ratio_;
  soxr_t soxr_ = nullptr;
  long long received_ = 0;  // samples taken, for the index in a refusal
  bool finished_ = false;
};

}  // namespace

void registerCorpusAudio(py::module_ &m) {
  py::class_<AudioSource>(m, "AudioSource",
                          "One channel of an audio file in blocks, on the 16-bit integer scale.")
      .def_static("open", &AudioSource::open, py::arg("path"), py::arg("channel") = 0,
                  "Opens a file that libsndfile reads; channels are numbered from 0.")
      .def_static("from_bytes", &AudioSource::fromBytes, py::arg("data"), py::arg("name"),
                  py::arg("channel") = 0, "Audio held in memory, named `name` in messages.")
      .def_property_readonly("rate", &AudioSource::rate)
      .def_property_readonly("channels", &AudioSource::channels)
      .def_property_readonly("frames", &AudioSource::frames)
      .def_property_readonly("position", &AudioSource::position)
      .def("seek", &AudioSource::seek, py::arg("frame"))
      .def("read", &AudioSource::read, py::arg("count"),
           "Up to count samples from the position (fewer only at the end).");
  py::class_<Resampler>(m, "Resampler", "A libsoxr stream resampler at its high quality setting.")
      .def(py::init<double, double>(), py::arg("in_rate"), py::arg("out_rate"))
      .def_property_readonly_static(
          "LARGEST", [](const py::object &) { return Resampler::kLargest; },
          "The largest magnitude of a sample the resampler takes.")
      .def("process", &Resampler::process, py::arg("samples"), py::arg("last") = false,
           "Resamples a block; with last=True also gives what the filter still holds.");
}
