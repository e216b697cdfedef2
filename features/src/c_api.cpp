// The C interface: handles over the C++ objects, every exception turned into a status.
#include <new>
#include <optional>
#include <string>

#include "melceps/features.h"
#include "melceps/melceps.h"

struct melceps_options {
  melceps::Options features;
  std::optional<melceps::DeltaOptions> deltas;
  std::optional<melceps::CmvnOptions> cmvn;
};

struct melceps_online {
  melceps::OnlineFeatures features;
};

namespace {

thread_local std::string t_error;

template <class F>
melceps_status guarded(F &&f) {
  try {
    f();
    return MELCEPS_OK;
  } catch (const std::bad_alloc &) {
    t_error = "Out of memory.";
  } catch (const std::exception &e) {
    t_error = e.what();
  } catch (...) {
    t_error = "Unknown failure.";
  }
  return MELCEPS_ERROR;
}

melceps_status missing(const char *what) {
  t_error = std::string("A null ") + what + " was given.";
  return MELCEPS_ERROR;
}

}  // namespace

extern "C" {

melceps_options *melceps_options_new(void) { return new (std::nothrow) melceps_options(); }

void melceps_options_free(melceps_options *options) { delete options; }

melceps_status melceps_options_set(melceps_options *o, const char *name, const char *value) {
  if (!o) return missing("options");
  if (!name || !value) return missing("name or value");
  return guarded([&] {
    if (melceps::findOption<melceps::Options>(name)) {
      melceps::setOption(o->features, name, value);
    } else if (melceps::findOption<melceps::DeltaOptions>(name)) {
      if (!o->deltas) o->deltas.emplace();
      melceps::setOption(*o->deltas, name, value);
    } else if (melceps::findOption<melceps::CmvnOptions>(name)) {
      if (!o->cmvn) o->cmvn.emplace();
      melceps::setOption(*o->cmvn, name, value);
    } else {
      throw melceps::Error(std::string("Unknown option '") + name + "'.");
    }
  });
}

melceps_status melceps_options_enable_deltas(melceps_options *o, int enable) {
  if (!o) return missing("options");
  if (!enable)
    o->deltas.reset();
  else if (!o->deltas)
    o->deltas.emplace();
  return MELCEPS_OK;
}

melceps_status melceps_options_enable_sliding_cmvn(melceps_options *o, int enable) {
  if (!o) return missing("options");
  if (!enable)
    o->cmvn.reset();
  else if (!o->cmvn)
    o->cmvn.emplace();
  return MELCEPS_OK;
}

melceps_status melceps_online_new(const char *kind, const melceps_options *o,
                                  melceps_online **out) {
  if (!kind || !o || !out) return missing("kind, options or result");
  *out = nullptr;
  return guarded([&] {
    *out = new melceps_online{melceps::OnlineFeatures(melceps::parseKind(kind), o->features,
                                                      o->cmvn ? &*o->cmvn : nullptr,
                                                      o->deltas ? &*o->deltas : nullptr)};
  });
}

void melceps_online_free(melceps_online *online) { delete online; }

melceps_status melceps_online_dim(const melceps_online *f, size_t *dim) {
  if (!f || !dim) return missing("computer or result");
  *dim = static_cast<size_t>(f->features.dim());
  return MELCEPS_OK;
}

melceps_status melceps_online_accept(melceps_online *f, const float *samples, size_t count) {
  if (!f || (!samples && count)) return missing("computer or samples");
  return guarded([&] { f->features.acceptWaveform(std::span<const float>(samples, count)); });
}

melceps_status melceps_online_accept_double(melceps_online *f, const double *samples,
                                            size_t count) {
  if (!f || (!samples && count)) return missing("computer or samples");
  return guarded([&] { f->features.acceptWaveform(std::span<const double>(samples, count)); });
}

melceps_status melceps_online_finish(melceps_online *f) {
  if (!f) return missing("computer");
  return guarded([&] { f->features.inputFinished(); });
}

melceps_status melceps_online_frames_ready(const melceps_online *f, size_t *frames) {
  if (!f || !frames) return missing("computer or result");
  *frames = static_cast<size_t>(f->features.numFramesReady());
  return MELCEPS_OK;
}

melceps_status melceps_online_copy(const melceps_online *f, size_t start, size_t count,
                                   float *out) {
  if (!f || (!out && count)) return missing("computer or output");
  return guarded([&] {
    f->features.getFrames(static_cast<int64_t>(start), static_cast<int64_t>(count), out);
  });
}

melceps_status melceps_online_copy_double(const melceps_online *f, size_t start, size_t count,
                                          double *out) {
  if (!f || (!out && count)) return missing("computer or output");
  return guarded([&] {
    f->features.getFrames(static_cast<int64_t>(start), static_cast<int64_t>(count), out);
  });
}

melceps_status melceps_online_discard(melceps_online *f, size_t upto) {
  if (!f) return missing("computer");
  return guarded([&] { f->features.discardFrames(static_cast<int64_t>(upto)); });
}

const char *melceps_last_error(void) { return t_error.c_str(); }

}  // extern "C"
