// The module loader: opens modules, reads their records, runs their builders, finds
// functions by name, calls their gateway entries, and runs the destroyers on unload.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mexrt/records.h"

namespace host {

class Module;

// One function a loaded module offers by name.
struct FunctionInfo {
  std::string name;
  int inputs = 0;  // declared counts, from the module's function table
  int outputs = 0;
  MexGatewayFn entry = nullptr;
  const Module *module = nullptr;
};

// A loaded module: its file, its record and its version mark. The builders have run.
class Module {
 public:
  virtual ~Module() = default;
  virtual const std::filesystem::path &path() const = 0;
  virtual const ModuleInfo &record() const = 0;
  // The version mark: mexVersion's string, or string 100 of the version note.
  virtual std::optional<std::string> version() const = 0;
  virtual const std::vector<FunctionInfo> &functions() const = 0;
};

// The strings 96 to 111 of a module file's version note, indexed from 0 (string 96), or
// nothing when the file carries no note. Throws mexrt::Error for an unreadable file.
std::optional<std::vector<std::string>> readVersionNote(const std::filesystem::path &file);

class Loader {
 public:
  Loader();
  ~Loader();  // unloads everything, destroyers first
  Loader(const Loader &) = delete;
  Loader &operator=(const Loader &) = delete;

  // Loads one module file and runs its builders in table order. The same file (by its
  // canonical path) loaded again gives the module already loaded. Refuses, with a
  // mexrt::Error naming the file: a file that is not a shared object, one without
  // mexLibrary, a record whose record_version is not 1, or a malformed record (negative or
  // absurd counts, null tables, a row without name or entry, a name given twice). If a
  // builder fails, those already run are undone, the file is unloaded and the error goes on.
  // A function name already served by another module keeps its server, with a warning.
  const Module &load(const std::filesystem::path &file);

  // Loads every *.mexa64 of each folder, folders in order, files by name. A function name
  // already served by an earlier module keeps its first server; a warning names the
  // shadowed file. Folders that do not exist are skipped; a file that cannot be loaded
  // draws a warning with the reason and is skipped.
  void loadPath(const std::vector<std::filesystem::path> &folders);

  // Serves the functions of every library that the runtime has initialised (mclLibInit, as
  // zetaInitialize calls it) and that is not served yet, as a module named by its file. Its
  // builders have run and its own terminate entry runs the destroyers: unloading leaves it be.
  void addInitializedLibraries();

  // The function served under a name, or nullptr.
  const FunctionInfo *find(std::string_view name) const;

  // Calls the function's gateway entry (which checks the counts itself).
  static void call(const FunctionInfo &f, int nlhs, mxArray *plhs[], int nrhs, mxArray *prhs[]);

  // Every loaded module, in loading order.
  std::vector<const Module *> modules() const;

  // Runs every module's destroyers in reverse table order, modules in reverse loading
  // order, and unloads them.
  void unloadAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
