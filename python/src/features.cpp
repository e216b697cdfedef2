// The front end (libmelceps) for Python: options from keywords by the records' own tables,
// features computed with the interpreter's lock released, a float64 signal read in place.
#include "melceps/features.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>

namespace py = pybind11;

namespace {

using Samples = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Matrix = py::array_t<double, py::array::c_style | py::array::forcecast>;

// An option's value from Python, refusing a value of another type (a bool is not a number).
template <class Record>
void setField(Record &record, const std::string &name, const py::handle &value) {
  const melceps::OptionField<Record> *field = melceps::findOption<Record>(name);
  if (!field) throw py::type_error("unexpected keyword argument '" + name + "'");
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(record.*member)>;
        const bool is_bool = py::isinstance<py::bool_>(value) ||
                             (py::isinstance<py::array>(value) &&
                              py::reinterpret_borrow<py::array>(value).dtype().kind() == 'b');
        const bool is_int = !is_bool && (PyLong_Check(value.ptr()) || PyIndex_Check(value.ptr()));
        if constexpr (std::is_same_v<T, bool>) {
          if (!is_bool) throw py::type_error(name + " takes True or False");
          record.*member = value.cast<bool>();
        } else if constexpr (std::is_same_v<T, int64_t>) {
          if (!is_int) throw py::type_error(name + " takes a whole number (int)");
          record.*member = value.cast<int64_t>();
        } else if constexpr (std::is_same_v<T, double>) {
          if (is_bool || !(is_int || PyFloat_Check(value.ptr()) || PyNumber_Check(value.ptr())) ||
              py::isinstance<py::str>(value))
            throw py::type_error(name + " takes a number");
          record.*member = value.cast<double>();
        } else {
          if (!py::isinstance<py::str>(value)) throw py::type_error(name + " takes a str");
          record.*member = value.cast<std::string>();
        }
      },
      field->member);
}

template <class Record>
Record recordFrom(const py::dict &values) {
  Record record;
  for (auto item : values) setField(record, py::str(item.first).cast<std::string>(), item.second);
  return record;
}

template <class Record>
std::optional<Record> optionalRecord(const py::object &values) {
  if (values.is_none()) return std::nullopt;
  return recordFrom<Record>(values.cast<py::dict>());
}

// (name, type, default, help) of each option of a record, the defaults as Python values.
template <class Record>
py::list describe() {
  static const Record defaults{};
  py::list out;
  for (const auto &f : melceps::optionFields(static_cast<const Record *>(nullptr))) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(defaults.*member)>;
          const char *type = std::is_same_v<T, bool>      ? "bool"
                             : std::is_same_v<T, int64_t> ? "int"
                             : std::is_same_v<T, double>  ? "float"
                                                          : "str";
          out.append(py::make_tuple(f.name, type, py::cast(defaults.*member), f.help));
        },
        f.member);
  }
  return out;
}

const double *signalOf(const Samples &y) {
  if (y.ndim() != 1) throw py::value_error("the signal must be 1-D");
  return y.data();
}

template <class T>
py::array computeAs(melceps::Kind kind, const melceps::Options &o, const Samples &y,
                    const std::optional<melceps::CmvnOptions> &cmvn,
                    const std::optional<melceps::DeltaOptions> &deltas) {
  const double *data = signalOf(y);
  const int64_t n = y.shape(0);
  int64_t dim = melceps::featureDim(kind, o);
  if (deltas) {
    melceps::validate(*deltas);
    dim = melceps::deltaDim(dim, *deltas);
  }
  const int64_t frames = melceps::frameCount(o, n);
  py::array_t<T> out({frames, dim});
  T *to = out.mutable_data();
  {
    py::gil_scoped_release unlocked;
    melceps::compute(kind, o, std::span<const double>(data, n), to, cmvn ? &*cmvn : nullptr,
                     deltas ? &*deltas : nullptr);
  }
  return out;
}

py::array compute(const std::string &kind, const Samples &y, const py::dict &options,
                  const py::object &cmvn, const py::object &deltas, bool single) {
  melceps::Kind k = melceps::parseKind(kind);
  auto o = recordFrom<melceps::Options>(options);
  auto c = optionalRecord<melceps::CmvnOptions>(cmvn);
  auto d = optionalRecord<melceps::DeltaOptions>(deltas);
  return single ? computeAs<float>(k, o, y, c, d) : computeAs<double>(k, o, y, c, d);
}

const double *matrixOf(const Matrix &m) {
  if (m.ndim() != 2) throw py::value_error("features must be a 2-D array, frames x dims");
  return m.data();
}

py::array addDeltas(const Matrix &feats, const py::dict &options) {
  const double *in = matrixOf(feats);
  auto o = recordFrom<melceps::DeltaOptions>(options);
  melceps::validate(o);
  const int64_t frames = feats.shape(0), dim = feats.shape(1);
  py::array_t<double> out({frames, melceps::deltaDim(dim, o)});
  double *to = out.mutable_data();
  py::gil_scoped_release unlocked;
  melceps::addDeltas(in, frames, dim, o, to);
  return out;
}

py::array slidingCmvn(const Matrix &feats, const py::dict &options) {
  const double *in = matrixOf(feats);
  auto o = recordFrom<melceps::CmvnOptions>(options);
  const int64_t frames = feats.shape(0), dim = feats.shape(1);
  py::array_t<double> out({frames, dim});
  double *to = out.mutable_data();
  py::gil_scoped_release unlocked;
  melceps::slidingCmvn(in, frames, dim, o, to);
  return out;
}

void accumulateStats(const Matrix &feats, py::array_t<double, py::array::c_style> stats) {
  const double *in = matrixOf(feats);
  const int64_t frames = feats.shape(0), dim = feats.shape(1);
  if (stats.ndim() != 2 || stats.shape(0) != 2 || stats.shape(1) != dim + 1)
    throw py::value_error("statistics must be a 2 x (dim + 1) float64 array");
  melceps::accumulateCmvnStats(in, frames, dim, stats.mutable_data());
}

py::array applyCmvn(const Matrix &feats, const Matrix &stats, bool norm_vars) {
  const double *in = matrixOf(feats);
  const int64_t frames = feats.shape(0), dim = feats.shape(1);
  if (stats.ndim() != 2 || stats.shape(0) != 2 || stats.shape(1) != dim + 1)
    throw py::value_error("statistics must be a 2 x (dim + 1) array for features of " +
                          std::to_string(dim) + " dims");
  py::array_t<double> out({frames, dim});
  std::copy(in, in + frames * dim, out.mutable_data());
  melceps::applyCmvn(out.mutable_data(), frames, dim, stats.data(), norm_vars);
  return out;
}

class Online {
 public:
  Online(const std::string &kind, const py::dict &options, const py::object &cmvn,
         const py::object &deltas) {
    auto c = optionalRecord<melceps::CmvnOptions>(cmvn);
    auto d = optionalRecord<melceps::DeltaOptions>(deltas);
    features_.emplace(melceps::parseKind(kind), recordFrom<melceps::Options>(options),
                      c ? &*c : nullptr, d ? &*d : nullptr);
  }
  void accept(const Samples &y) {
    const double *data = signalOf(y);
    py::gil_scoped_release unlocked;
    features_->acceptWaveform(std::span<const double>(data, y.shape(0)));
  }
  void finish() { features_->inputFinished(); }
  int64_t ready() const { return features_->numFramesReady(); }
  int64_t discarded() const { return features_->numFramesDiscarded(); }
  int64_t dim() const { return features_->dim(); }
  bool finished() const { return features_->isFinished(); }
  py::array frames(int64_t start, int64_t count, bool single) const {
    if (count < 0) throw py::value_error("count must not be negative");
    if (single) {
      py::array_t<float> out({count, dim()});
      features_->getFrames(start, count, out.mutable_data());
      return out;
    }
    py::array_t<double> out({count, dim()});
    features_->getFrames(start, count, out.mutable_data());
    return out;
  }
  void discard(int64_t upto) { features_->discardFrames(upto); }
  // Samples in, the frames they complete out (then dropped): one call per chunk of a stream.
  py::array process(const Samples &y, bool single) {
    if (y.shape(0) > 0) accept(y);  // nothing to take after the end of input
    const int64_t start = discarded(), count = ready() - start;
    py::array out = frames(start, count, single);
    discard(start + count);
    return out;
  }

 private:
  std::optional<melceps::OnlineFeatures> features_;
};

// The Python class of the front end's errors, set by the package (melceps.FeatureError).
py::object *g_feature_error = nullptr;

}  // namespace

void registerFeatures(py::module_ &m) {
  m.def("set_feature_error", [](py::object cls) {
    if (!g_feature_error) g_feature_error = new py::object();  // lives as long as the process
    *g_feature_error = std::move(cls);
  });
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const melceps::Error &e) {
      PyErr_SetString(g_feature_error ? g_feature_error->ptr() : PyExc_ValueError, e.what());
    }
  });
  m.def("option_table", [](const std::string &group) -> py::list {
    if (group == "features") return describe<melceps::Options>();
    if (group == "deltas") return describe<melceps::DeltaOptions>();
    return describe<melceps::CmvnOptions>();
  });
  m.def("compute", &compute, py::arg("kind"), py::arg("y"), py::arg("options"), py::arg("cmvn"),
        py::arg("deltas"), py::arg("single"));
  m.def("add_deltas", &addDeltas);
  m.def("sliding_cmvn", &slidingCmvn);
  m.def("accumulate_cmvn_stats", &accumulateStats);
  m.def("apply_cmvn", &applyCmvn);
  m.def("frame_count", [](const py::dict &options, int64_t n) {
    return melceps::frameCount(recordFrom<melceps::Options>(options), n);
  });
  py::class_<Online>(m, "Online")
      .def(
          py::init<const std::string &, const py::dict &, const py::object &, const py::object &>())
      .def("accept", &Online::accept)
      .def("finish", &Online::finish)
      .def_property_readonly("ready", &Online::ready)
      .def_property_readonly("discarded", &Online::discarded)
      .def_property_readonly("dim", &Online::dim)
      .def_property_readonly("finished", &Online::finished)
      .def("frames", &Online::frames)
      .def("discard", &Online::discard)
      .def("process", &Online::process);
}
