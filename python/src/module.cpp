// _melceps: the modules of the toolbox for Python. Loads the installed modules once per
// process through the host's loader, converts numpy arrays and Python values to arrays of
// the runtime and back, and calls functions through their gateway entries, as mexhost does.
// Printed text and warnings are collected during a call and handed to Python afterwards, so
// that no Python code runs inside the runtime.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sndfile.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/loader.h"
#include "mexrt/audio.h"
#include "mexrt/error.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "mexrt/matrix.h"
#include "zeta.h"

namespace py = pybind11;

namespace {

// One event of a call: printed text (warning false) or a warning's text, in order.
struct Event {
  bool warning;
  std::string text;
};

struct Session {
  host::Loader loader;
  bool loaded = false;
  std::vector<Event> events;
  Session() {
    zetaInitialize();
    loader.addInitializedLibraries();  // db, served like a module's function
  }
  ~Session() { zetaTerminate(); }
};

Session *session = nullptr;

void onOutput(void *, const char *text, size_t n) {
  if (!session) return;
  auto &ev = session->events;
  if (!ev.empty() && !ev.back().warning) {
    ev.back().text.append(text, n);
  } else {
    ev.push_back({false, std::string(text, n)});
  }
}

void onWarning(void *, const char *text, size_t n) {
  if (session) session->events.push_back({true, std::string(text, n)});
}

Session &current() {
  if (!session) {
    session = new Session();  // lives as long as the process: modules stay loaded
    mexrtSetTextSinks(nullptr, onWarning, nullptr);
  }
  return *session;
}

// Frees the arrays of one call whatever happens.
struct Arrays {
  std::vector<mxArray *> a;
  ~Arrays() {
    for (mxArray *x : a) mxDestroyArray(x);
  }
};

// The host's dimensions of a numpy array: a scalar is 1x1 and a 1-D array one row.
std::vector<size_t> hostDims(const py::array &d) {
  if (d.ndim() == 0) return {1, 1};
  if (d.ndim() == 1) return {1, static_cast<size_t>(d.shape(0))};
  std::vector<size_t> dims;
  for (py::ssize_t k = 0; k < d.ndim(); ++k) dims.push_back(static_cast<size_t>(d.shape(k)));
  return dims;
}

// Lets a numpy array go once the runtime no longer reads it. Lent arrays are freed during a
// call or by a result's owner, with the interpreter's lock held; after the interpreter has
// finished there is nothing left to let go.
void releaseLent(void *array) {
  if (!Py_IsInitialized()) return;
  py::gil_scoped_acquire lock;
  Py_DECREF(static_cast<PyObject *>(array));
}

// A Fortran-ordered float64 array is lent to the runtime as it is; any other is converted to
// one first (the conversion is the only copy). The runtime never writes lent memory.
mxArray *fromDoubles(const py::array &arr) {
  auto d = py::array_t<double, py::array::f_style | py::array::forcecast>::ensure(arr);
  if (!d) throw py::type_error("melceps: the array cannot be converted to double.");
  if (reinterpret_cast<std::uintptr_t>(d.data()) % alignof(double) != 0) {
    py::array_t<double, py::array::f_style> aligned(
        std::vector<py::ssize_t>(d.shape(), d.shape() + d.ndim()));
    std::memcpy(aligned.mutable_data(), d.data(), sizeof(double) * d.size());
    d = aligned;
  }
  std::vector<size_t> dims = hostDims(d);
  const double *data = d.data();
  PyObject *owner = d.release().ptr();  // given back through releaseLent
  return mexrtCreateLentDoubleArray(dims.size(), dims.data(), data, releaseLent, owner);
}

mxArray *fromComplex(const py::array &arr) {
  using C = std::complex<double>;
  auto d = py::array_t<C, py::array::f_style | py::array::forcecast>::ensure(arr);
  std::vector<size_t> dims = hostDims(d);
  mxArray *x = mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxCOMPLEX);
  if (d.size() > 0) {
    double *re = mxGetPr(x), *im = mxGetPi(x);
    const C *p = d.data();
    for (py::ssize_t k = 0; k < d.size(); ++k) {
      re[k] = p[k].real();
      im[k] = p[k].imag();
    }
  }
  return x;
}

// A Python value as an array of the runtime: str, bool, int, float, complex or an array of
// any real or complex numeric (or boolean) dtype. A 1-D array becomes one row.
mxArray *toArray(const py::handle &v) {
  if (py::isinstance<py::str>(v)) return mxCreateString(v.cast<std::string>().c_str());
  if (py::isinstance<py::bool_>(v)) return mxCreateLogicalScalar(v.cast<bool>());
  if (PyComplex_Check(v.ptr()))
    return fromComplex(py::array(py::cast(v.cast<std::complex<double>>())));
  if (PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr()))
    return mxCreateDoubleScalar(v.cast<double>());
  py::array arr = py::array::ensure(v);
  if (!arr)
    throw py::type_error(
        "melceps: an argument must be a number, a string, a boolean or a numeric array.");
  char kind = arr.dtype().kind();
  if (kind == 'c') return fromComplex(arr);
  if (kind == 'f' || kind == 'i' || kind == 'u' || kind == 'b') return fromDoubles(arr);
  throw py::type_error(std::string("melceps: arrays of dtype ") +
                       py::str(arr.dtype()).cast<std::string>() + " cannot be passed.");
}

// A real array of a numeric class other than double, copied into numpy's own type.
template <class T>
py::object numeric(mxArray *x, const std::vector<py::ssize_t> &shape) {
  if (mxIsComplex(x)) {
    mxDestroyArray(x);
    throw py::type_error("melceps: complex results of classes other than double cannot be returned.");
  }
  py::array_t<T, py::array::f_style> out(shape);
  const size_t n = mxGetNumberOfElements(x);
  if (n) std::memcpy(out.mutable_data(), mxGetData(x), n * sizeof(T));
  mxDestroyArray(x);
  return out;
}

// An array of the runtime as numpy, in its own shape (at least 2-D). Real doubles are
// handed over without a copy: the numpy array keeps the runtime's array alive.
py::object fromArray(mxArray *x) {
  size_t nd = mxGetNumberOfDimensions(x);
  const size_t *d = mxGetDimensions(x);
  std::vector<py::ssize_t> shape(d, d + nd), strides(nd);
  py::ssize_t step = sizeof(double);
  for (size_t k = 0; k < nd; ++k) {
    strides[k] = step;
    step *= shape[k];
  }
  size_t n = mxGetNumberOfElements(x);
  switch (mxGetClassID(x)) {
    case mxCHAR_CLASS: {
      char *s = mxArrayToString(x);
      std::string text = s ? s : "";
      mxFree(s);
      mxDestroyArray(x);
      return py::str(text);
    }
    case mxDOUBLE_CLASS:
      if (mxIsComplex(x)) {
        py::array_t<std::complex<double>, py::array::f_style> out(shape);
        const double *re = mxGetPr(x), *im = mxGetPi(x);
        auto *o = out.mutable_data();
        for (size_t k = 0; k < n; ++k) o[k] = {re[k], im ? im[k] : 0.0};
        mxDestroyArray(x);
        return out;
      } else {
        if (n == 0) {
          mxDestroyArray(x);
          return py::array_t<double, py::array::f_style>(shape);
        }
        double *p = mxGetPr(x);
        py::capsule owner(x, [](void *a) { mxDestroyArray(static_cast<mxArray *>(a)); });
        return py::array_t<double>(shape, strides, p, owner);
      }
    case mxLOGICAL_CLASS: {
      // Logical values read as doubles through the runtime's own conversion.
      py::array_t<bool, py::array::f_style> out(shape);
      auto *o = out.mutable_data();
      mxArray *zero = mxCreateDoubleScalar(0), *dbl = nullptr;
      mlfAssign(&dbl, mclPlus(x, zero));
      mxDestroyArray(zero);
      const double *p = mxGetPr(dbl);
      for (size_t k = 0; k < n; ++k) o[k] = p[k] != 0;
      mxDestroyArray(dbl);
      mxDestroyArray(x);
      return out;
    }
    case mxSINGLE_CLASS: return numeric<float>(x, shape);
    case mxINT8_CLASS: return numeric<int8_t>(x, shape);
    case mxUINT8_CLASS: return numeric<uint8_t>(x, shape);
    case mxINT16_CLASS: return numeric<int16_t>(x, shape);
    case mxUINT16_CLASS: return numeric<uint16_t>(x, shape);
    case mxINT32_CLASS: return numeric<int32_t>(x, shape);
    case mxUINT32_CLASS: return numeric<uint32_t>(x, shape);
    case mxINT64_CLASS: return numeric<int64_t>(x, shape);
    case mxUINT64_CLASS: return numeric<uint64_t>(x, shape);
    default:
      mxDestroyArray(x);
      return py::none();  // cells, structs and handles have no numpy form here
  }
}

py::tuple flushEvents() {
  Session &s = current();
  py::list out;
  for (auto &e : s.events) out.append(py::make_tuple(e.warning, py::str(e.text)));
  s.events.clear();
  return py::tuple(out);
}

void loadPath(const std::vector<std::string> &folders) {
  Session &s = current();
  if (s.loaded) return;
  std::vector<std::filesystem::path> p(folders.begin(), folders.end());
  mexrt::matfile::setLoadPath(folders);  // load finds the modules' data files there too
  s.loader.loadPath(p);
  s.loaded = true;
}

std::vector<std::string> names() {
  std::vector<std::string> out;
  for (const host::Module *m : current().loader.modules())
    for (const auto &f : m->functions()) out.push_back(f.name);
  return out;
}

// Calls a function by name with the given arguments; returns the list of results and the
// events (printed text, warnings) of the call. Errors come back as (None, events, message).
py::tuple call(const std::string &name, const py::args &args, int nargout) {
  Session &s = current();
  MexGatewayFn entry = nullptr;
  if (const host::FunctionInfo *f = s.loader.find(name)) entry = f->entry;
  if (!entry) {
    return py::make_tuple(py::none(), flushEvents(),
                          "Undefined function or variable '" + name + "'.");
  }
  Arrays in;
  for (const auto &a : args) in.a.push_back(toArray(a));
  int nlhs = nargout < 0 ? 0 : nargout;
  std::vector<mxArray *> out(std::max(nlhs, 1), nullptr);
  std::string error;
  bool failed = false;
  uint64_t mark = mclTempMark();
  // Printed text of this call is collected for sys.stdout; the process's standard output
  // stays as it is for everything else.
  mexrtSetThreadOutputSink(onOutput, nullptr);
  struct Unsink {
    ~Unsink() { mexrtSetThreadOutputSink(nullptr, nullptr); }
  } unsink;
  try {
    entry(nlhs, out.data(), static_cast<int>(in.a.size()), in.a.data());
  } catch (const mexrt::Error &e) {
    failed = true;
    error = e.message();
  } catch (const std::exception &e) {
    failed = true;
    error = e.what();
  }
  if (failed) {
    mclReleaseTempsSince(mark);
    for (mxArray *x : out) mxDestroyArray(x);
    return py::make_tuple(py::none(), flushEvents(), error);
  }
  py::list results;
  for (size_t k = 0; k < out.size(); ++k) {
    if (!out[k]) {
      if (static_cast<int>(k) < nlhs) results.append(py::none());
      continue;
    }
    results.append(fromArray(out[k]));
  }
  return py::make_tuple(results, flushEvents(), py::none());
}

// An audio file through the runtime's reader: (samples frames x channels in [-1, 1], rate).
py::tuple readAudio(const std::string &path) {
  mexrt::audio::Sound sound;
  try {
    sound = mexrt::audio::read(path);
  } catch (const mexrt::Error &e) {
    throw std::runtime_error(e.message());
  }
  // Column by column, as the reader gives them: a Fortran-ordered frames x channels array.
  py::array_t<double, py::array::f_style> out(
      {static_cast<py::ssize_t>(sound.frames), static_cast<py::ssize_t>(sound.channels)});
  if (!sound.samples.empty())
    std::memcpy(out.mutable_data(), sound.samples.data(), sizeof(double) * sound.samples.size());
  return py::make_tuple(out, static_cast<int>(sound.rate));
}

// Writes frames x channels samples in [-1, 1] at a rate through the runtime's writer (the
// format from the extension; 16-bit PCM WAV for .wav).
void writeAudio(const std::string &path,
                py::array_t<double, py::array::f_style | py::array::forcecast> y, int rate) {
  std::size_t frames = y.ndim() >= 1 ? y.shape(0) : 1;
  std::size_t channels = y.ndim() == 2 ? y.shape(1) : 1;
  try {
    mexrt::audio::write(path, y.data(), frames, channels, rate);
  } catch (const mexrt::Error &e) {
    throw std::runtime_error(e.message());
  }
}

// The extensions libsndfile reads, for searching folders.
std::vector<std::string> audioExtensions() {
  std::vector<std::string> out;
  int n = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &n, sizeof n);
  for (int k = 0; k < n; ++k) {
    SF_FORMAT_INFO fi{};
    fi.format = k;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &fi, sizeof fi);
    if (fi.extension) out.emplace_back(fi.extension);
  }
  return out;
}

}  // namespace

void registerFeatures(py::module_ &m);  // features.cpp

void registerCorpusAudio(py::module_ &m);  // corpus_audio.cpp

PYBIND11_MODULE(_melceps, m) {
  m.doc() = "The compiled core of melceps: the loader, the gateway calls and audio files.";
  m.def("load_path", &loadPath, "Loads every module of the folders, once per process.");
  m.def("events", &flushEvents, "The printed text and warnings not yet handed over.");
  m.def("names", &names, "The names of the functions that can be called.");
  m.def("call", &call, py::arg("name"), py::kw_only(), py::arg("nargout") = 1,
        "Calls a function through its gateway entry: (results, events, error).");
  m.def("read_audio", &readAudio, "(samples frames x channels in [-1, 1), rate) of an audio file.");
  m.def("write_audio", &writeAudio, "Writes an audio file (16-bit PCM WAV for .wav).");
  m.def("audio_extensions", &audioExtensions, "The file extensions libsndfile reads.");
  registerFeatures(m);
  registerCorpusAudio(m);
}
