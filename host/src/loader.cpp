// The module loader: dlopen, the module's record through mexLibrary, builders and destroyers,
// the version mark, and the table of function names served by the loaded modules.
#include "host/loader.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kMaxRows = 1 << 16;        // far beyond any real module; stops runaway reads
constexpr std::size_t kMaxNameLength = 256;  // likewise for the name strings
constexpr int kVersionString = 100 - 96;     // string 100 of the note's block

struct DlClose {
  void operator()(void *handle) const { dlclose(handle); }
};
using Handle = std::unique_ptr<void, DlClose>;

[[noreturn]] void refuse(const fs::path &file, const std::string &why) {
  throw mexrt::Error("The module \"" + file.string() + "\" " + why);
}

// A symbol defined by the module itself, not by a library it depends on.
void *ownSymbol(void *handle, const char *name) {
  void *symbol = dlsym(handle, name);
  if (!symbol) return nullptr;
  link_map *own = nullptr;
  link_map *where = nullptr;
  Dl_info info;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0) return nullptr;
  if (!dladdr1(symbol, &info, reinterpret_cast<void **>(&where), RTLD_DL_LINKMAP)) return nullptr;
  return where == own ? symbol : nullptr;
}

void checkRecord(const fs::path &file, const ModuleInfo &r) {
  if (r.record_version != MEXRT_RECORD_VERSION) {
    refuse(file, "has record_version " + std::to_string(r.record_version) +
                     "; this host reads version " + std::to_string(MEXRT_RECORD_VERSION) + ".");
  }
  auto malformed = [&](const std::string &what) {
    refuse(file, "has a malformed record: " + what + ".");
  };
  if (r.function_count < 0 || r.function_count > kMaxRows) {
    malformed("function_count is " + std::to_string(r.function_count));
  }
  if (r.module_count < 0 || r.module_count > kMaxRows) {
    malformed("module_count is " + std::to_string(r.module_count));
  }
  if (r.function_count > 0 && !r.function_table) malformed("function_table is null");
  if (r.module_count > 0 && !r.init_term_table) malformed("init_term_table is null");
  for (int32_t k = 0; k < r.function_count; ++k) {
    const FunctionTableEntry &row = r.function_table[k];
    std::string which = "function row " + std::to_string(k + 1);
    if (!row.name || strnlen(row.name, kMaxNameLength) == kMaxNameLength || !row.name[0]) {
      malformed(which + " has no proper name");
    }
    if (!row.mlx_entry) malformed(which + " (\"" + row.name + "\") has no gateway entry");
    if (row.declared_inputs < 0 || row.declared_outputs < 0) {
      malformed(which + " (\"" + row.name + "\") declares a negative count");
    }
    for (int32_t e = 0; e < k; ++e) {
      if (std::strcmp(r.function_table[e].name, row.name) == 0) {
        malformed("the function \"" + std::string(row.name) + "\" has two rows");
      }
    }
  }
}

// Runs the destroyers of rows [0, count) last first. A destroyer that fails draws a
// warning and the others still run: unloading must finish.
void runDestroyers(const fs::path &file, const ModuleInfo &r, int32_t count) {
  for (int32_t k = count; k-- > 0;) {
    MexInitTermFn terminate = r.init_term_table[k].terminate;
    if (!terminate) continue;
    try {
      terminate();
    } catch (const std::exception &e) {
      mclWarning(("Destroying module \"" + file.string() + "\": " + e.what()).c_str());
    }
  }
}

// Runs the builders in table order; if one fails, the ones already run are undone.
void runBuilders(const fs::path &file, const ModuleInfo &r) {
  int32_t built = 0;
  try {
    for (; built < r.module_count; ++built) {
      if (r.init_term_table[built].initialize) r.init_term_table[built].initialize();
    }
  } catch (...) {
    runDestroyers(file, r, built);
    throw;
  }
}

std::optional<std::string> versionMark(void *handle, const std::vector<std::string> *note) {
  using VersionFn = const char *(*)(void);
  if (void *symbol = ownSymbol(handle, "mexVersion")) {
    const char *text = reinterpret_cast<VersionFn>(symbol)();
    if (!text) return std::nullopt;
    return std::string(text, strnlen(text, kMaxNameLength));
  }
  if (!note || (*note)[kVersionString].empty()) return std::nullopt;
  return (*note)[kVersionString];
}

// A module file the loader opened, or a library initialised through the runtime (no
// handle of the loader's then: its own terminate entry runs its destroyers).
class LoadedModule final : public Module {
 public:
  LoadedModule(fs::path path, Handle handle, ModuleInfo *record, std::optional<std::string> version)
      : path_(std::move(path)),
        handle_(std::move(handle)),
        record_(record),
        version_(std::move(version)) {
    for (int32_t k = 0; k < record_->function_count; ++k) {
      const FunctionTableEntry &row = record_->function_table[k];
      functions_.push_back(
          {row.name, row.declared_inputs, row.declared_outputs, row.mlx_entry, this});
    }
  }
  ~LoadedModule() override {
    if (!handle_) return;  // a library: terminated by its own entry
    if (mexrtModuleClose(record_) == 0) runDestroyers(path_, *record_, record_->module_count);
    // handle_ closes after the destroyers have run
  }

  const fs::path &path() const override { return path_; }
  const ModuleInfo &record() const override { return *record_; }
  std::optional<std::string> version() const override { return version_; }
  const std::vector<FunctionInfo> &functions() const override { return functions_; }
  void *handle() const { return handle_.get(); }

 private:
  fs::path path_;
  Handle handle_;
  ModuleInfo *record_;
  std::optional<std::string> version_;
  std::vector<FunctionInfo> functions_;
};

}  // namespace

struct Loader::Impl {
  std::vector<std::unique_ptr<LoadedModule>> modules;
  std::map<std::string, const FunctionInfo *, std::less<>> served;

  const LoadedModule *byPath(const fs::path &path) const {
    for (const auto &m : modules) {
      if (m->path() == path) return m.get();
    }
    return nullptr;
  }
  const LoadedModule *byRecord(const ModuleInfo *record) const {
    for (const auto &m : modules) {
      if (&m->record() == record) return m.get();
    }
    return nullptr;
  }
  const LoadedModule *byHandle(void *handle) const {
    for (const auto &m : modules) {
      if (m->handle() == handle) return m.get();
    }
    return nullptr;
  }
  // The first module to offer a name serves it; a later one is shadowed, with a warning.
  void serve(const LoadedModule &m) {
    for (const FunctionInfo &f : m.functions()) {
      auto [at, fresh] = served.try_emplace(f.name, &f);
      if (fresh) continue;
      mclWarning(("The function \"" + f.name + "\" of " + m.path().string() + " is shadowed by " +
                  at->second->module->path().string() + ".")
                     .c_str());
    }
  }
};

Loader::Loader() : impl_(std::make_unique<Impl>()) {}

Loader::~Loader() { unloadAll(); }

const Module &Loader::load(const fs::path &file) {
  std::error_code ec;
  fs::path path = fs::canonical(file, ec);
  if (ec) refuse(file, "cannot be opened: " + ec.message() + ".");
  if (const LoadedModule *m = impl_->byPath(path)) return *m;
  if (!fs::is_regular_file(path, ec)) refuse(path, "is not a regular file.");

  // Read from the file before any of its code runs: this also refuses what is not ELF.
  std::optional<std::vector<std::string>> note = readVersionNote(path);

  dlerror();
  Handle handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    const char *why = dlerror();
    refuse(path, std::string("cannot be loaded: ") + (why ? why : "unknown reason") + ".");
  }
  // Another path to a file already open (a hard link) gives the same object.
  if (const LoadedModule *m = impl_->byHandle(handle.get())) return *m;

  using LibraryFn = ModuleInfo *(*)(void);
  void *library = ownSymbol(handle.get(), "mexLibrary");
  if (!library) refuse(path, "is not a module: it defines no mexLibrary.");
  ModuleInfo *record = reinterpret_cast<LibraryFn>(library)();
  if (!record) refuse(path, "has a mexLibrary that gives no record.");
  checkRecord(path, *record);
  std::optional<std::string> version = versionMark(handle.get(), note ? &*note : nullptr);

  // Another loader of this process may have opened the module already: its constants stay.
  if (mexrtModuleOpen(record) == 1) {
    try {
      runBuilders(path, *record);
    } catch (...) {
      mexrtModuleClose(record);
      throw;
    }
  }
  impl_->modules.push_back(
      std::make_unique<LoadedModule>(path, std::move(handle), record, std::move(version)));
  impl_->serve(*impl_->modules.back());
  return *impl_->modules.back();
}

void Loader::loadPath(const std::vector<fs::path> &folders) {
  for (const fs::path &folder : folders) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) continue;
    std::vector<fs::path> files;
    try {
      for (const auto &entry : fs::directory_iterator(folder)) {
        std::error_code kind;
        if (entry.path().extension() == ".mexa64" && entry.is_regular_file(kind)) {
          files.push_back(entry.path());
        }
      }
    } catch (const fs::filesystem_error &e) {
      mclWarning(("Cannot read the folder " + folder.string() + ": " + e.what()).c_str());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &file : files) {
      try {
        load(file);
      } catch (const std::exception &e) {
        mclWarning(e.what());
      }
    }
  }
}

void Loader::addInitializedLibraries() {
  std::vector<ModuleInfo *> records(mexrtInitializedLibraries(nullptr, 0));
  records.resize(mexrtInitializedLibraries(records.data(), records.size()));
  for (ModuleInfo *record : records) {
    if (impl_->byRecord(record)) continue;
    Dl_info where{};
    fs::path path = dladdr(record, &where) && where.dli_fname ? where.dli_fname : "(library)";
    checkRecord(path, *record);
    impl_->modules.push_back(
        std::make_unique<LoadedModule>(path, Handle(nullptr), record, std::nullopt));
    impl_->serve(*impl_->modules.back());
  }
}

const FunctionInfo *Loader::find(std::string_view name) const {
  auto at = impl_->served.find(name);
  return at == impl_->served.end() ? nullptr : at->second;
}

void Loader::call(const FunctionInfo &f, int nlhs, mxArray *plhs[], int nrhs, mxArray *prhs[]) {
  if (!f.entry) throw mexrt::Error("The function \"" + f.name + "\" has no gateway entry.");
  f.entry(nlhs, plhs, nrhs, prhs);
}

std::vector<const Module *> Loader::modules() const {
  std::vector<const Module *> out;
  for (const auto &m : impl_->modules) out.push_back(m.get());
  return out;
}

void Loader::unloadAll() {
  impl_->served.clear();
  while (!impl_->modules.empty()) impl_->modules.pop_back();
}

}  // namespace host
