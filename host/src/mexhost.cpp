// mexhost: loads the modules on its path and libzeta (db), and runs statements of
// the host language from a script, from -e or from standard input; writes the figures at
// exit, then runs every destroyer and unloads every module.
//
// Errors: a script or -e stops at the first error and exits with status 1, printing
// "Error in SOURCE, line L: MESSAGE" (with ", column C" for a syntax error) on standard
// error. At the prompt, and for statements read from a pipe, the error is printed and
// reading goes on; piped input then ends with status 1.
#include <editline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/loader.h"
#include "host/render.h"
#include "melceps/version.h"
#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "shell/eval.h"
#include "shell/parser.h"
#include "zeta.h"

namespace fs = std::filesystem;

namespace {

// A source of input lines: given the prompt to show (or none), the next line, or false at
// the end of the input.
using LineReader = std::function<bool(const char *prompt, std::string &line)>;

// Lines typed at a terminal, with line editing and a history of what was entered.
LineReader editedLines() {
  return [](const char *prompt, std::string &line) {
    std::unique_ptr<char, decltype(&std::free)> typed(readline(prompt ? prompt : ""), &std::free);
    if (!typed) return false;
    line = typed.get();
    if (!line.empty()) add_history(typed.get());
    return true;
  };
}

// Lines of a stream, such as a pipe.
LineReader streamLines(std::istream &in) {
  return [&in](const char *prompt, std::string &line) {
    if (prompt) std::cout << prompt << std::flush;
    return static_cast<bool>(std::getline(in, line));
  };
}

constexpr const char *kVersion = "mexhost " MELCEPS_VERSION;

constexpr const char *kUsage =
    "Usage: mexhost [options] [SCRIPT.m]\n"
    "   or: mexhost [options] -e 'STATEMENTS'\n"
    "   or: mexhost --info MODULE\n"
    "\n"
    "Runs statements of the host language, calling the functions of every module\n"
    "(*.mexa64) on the module path by name, and db from libzeta. Without a script or -e,\n"
    "statements are read from standard input (with a prompt on a terminal).\n"
    "\n"
    "Options:\n"
    "  -e STATEMENTS   run the statements and exit\n"
    "  --path DIR      add DIR to the module path (repeatable)\n"
    "  --figures DIR   write every figure at exit as DIR/figure1.png, ... (default: .)\n"
    "  --info MODULE   print a module's record, tables and version mark (a file or a name\n"
    "                  on the module path)\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "The module path is the installed lib/mex folder beside the program, then the current\n"
    "directory, then each --path folder; load looks for MAT-files there too.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a statement failed (a script or -e stops at its first error, printed as\n"
    "     \"Error in SOURCE, line L: MESSAGE\"), or a file could not be read or written\n"
    "  2  the command line is wrong\n";

struct Options {
  std::vector<fs::path> paths;
  fs::path figures = ".";
  std::optional<std::string> info;
  std::optional<std::string> statements;
  std::optional<fs::path> script;
};

// Parses the command line; nullopt with the exit status when the program should stop.
std::optional<Options> parseOptions(int argc, char **argv, int &status) {
  Options o;
  for (int k = 1; k < argc; ++k) {
    std::string a = argv[k];
    auto value = [&]() -> std::optional<std::string> {
      if (k + 1 < argc) return std::string(argv[++k]);
      std::cerr << "mexhost: " << a << " needs a value.\n" << kUsage;
      return std::nullopt;
    };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      status = 0;
      return std::nullopt;
    }
    if (a == "--version") {
      std::cout << kVersion << "\n";
      status = 0;
      return std::nullopt;
    }
    std::optional<std::string> v;
    if (a == "--path" || a == "--figures" || a == "--info" || a == "-e") {
      v = value();
      if (!v) {
        status = 2;
        return std::nullopt;
      }
    }
    if (a == "--path") {
      o.paths.emplace_back(*v);
    } else if (a == "--figures") {
      o.figures = *v;
    } else if (a == "--info") {
      o.info = *v;
    } else if (a == "-e") {
      o.statements = *v;
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "mexhost: unknown option " << a << "\n" << kUsage;
      status = 2;
      return std::nullopt;
    } else if (!o.script) {
      o.script = a;
    } else {
      std::cerr << "mexhost: only one script can be run.\n";
      status = 2;
      return std::nullopt;
    }
  }
  if (o.script && o.statements) {
    std::cerr << "mexhost: give a script or -e, not both.\n";
    status = 2;
    return std::nullopt;
  }
  return o;
}

fs::path executableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

// The installed lib/mex beside the program, or the build tree's modules; then the current
// directory and the --path folders.
std::vector<fs::path> modulePath(const Options &o) {
  std::vector<fs::path> path;
  fs::path installed = executableDir() / ".." / "lib" / "mex";
  std::error_code ec;
  if (fs::is_directory(installed, ec)) {
    path.push_back(fs::weakly_canonical(installed, ec));
  }
#ifdef MEXRT_MODULE_DIR
  else if (fs::is_directory(MEXRT_MODULE_DIR, ec)) {
    path.emplace_back(MEXRT_MODULE_DIR);
  }
#endif
  path.push_back(fs::current_path());
  for (const auto &p : o.paths) path.push_back(p);
  return path;
}

// libzeta initialised for the run: the loader serves its db like a module's function.
class Zeta {
 public:
  Zeta() { zetaInitialize(); }
  ~Zeta() { zetaTerminate(); }
  Zeta(const Zeta &) = delete;
  Zeta &operator=(const Zeta &) = delete;
};

int printInfo(const std::string &what, const std::vector<fs::path> &path) {
  fs::path file = what;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    for (const auto &dir : path) {
      fs::path candidate = dir / (what + ".mexa64");
      if (fs::is_regular_file(candidate, ec)) {
        file = candidate;
        break;
      }
    }
  }
  if (!fs::is_regular_file(file, ec)) {
    std::cerr << "mexhost: no module '" << what << "' on the module path.\n";
    return 1;
  }
  host::Loader loader;
  const host::Module &m = loader.load(file);
  const ModuleInfo &r = m.record();
  std::cout << "Module: " << m.path().string() << "\n"
            << "Record: record_version " << r.record_version << ", function_count "
            << r.function_count << ", reserved " << r.reserved1 << " " << r.reserved2 << " "
            << r.reserved3 << " " << r.reserved4 << ", module_count " << r.module_count << "\n"
            << "Function table:\n";
  for (int k = 0; k < r.function_count; ++k) {
    const FunctionTableEntry &f = r.function_table[k];
    std::cout << "  " << (f.name ? f.name : "?") << "  inputs " << f.declared_inputs << "  outputs "
              << f.declared_outputs << "\n";
  }
  std::cout << "Init/term table: " << r.module_count << (r.module_count == 1 ? " row" : " rows")
            << "\n";
  auto version = m.version();
  std::cout << "Version mark: " << (version ? "\"" + *version + "\"" : "none") << "\n";
  if (auto note = host::readVersionNote(file)) {
    for (std::size_t k = 0; k < note->size(); ++k) {
      if (!(*note)[k].empty()) {
        std::cout << "  string " << 96 + k << ": \"" << (*note)[k] << "\"\n";
      }
    }
  }
  loader.unloadAll();
  return 0;
}

// Runs statements read from one source; returns false after an error. When `goOn` is
// false the first error ends the run.
class Session {
 public:
  Session(shell::Evaluator &ev, fs::path figures) : ev_(ev), figures_(std::move(figures)) {}

  bool runAll(const std::string &text, const std::string &source) {
    shell::Block program;
    try {
      program = shell::parse(text);
    } catch (const shell::SyntaxError &e) {
      report(source, e.line, e.column, e.what());
      return false;
    }
    return execute(program, source, 0);
  }

  // Statements line by line, each complete chunk run as soon as it is read.
  bool runStream(const LineReader &read, bool prompt, const std::string &source) {
    bool ok = true;
    std::string chunk, line;
    int chunkStart = 1, lineNo = 0;
    while (true) {
      if (!read(prompt ? (chunk.empty() ? ">> " : "   ") : nullptr, line)) break;
      ++lineNo;
      if (chunk.empty()) chunkStart = lineNo;
      if (prompt && chunk.empty() && (trim(line) == "exit" || trim(line) == "quit")) break;
      chunk += line + "\n";
      shell::Block program;
      try {
        program = shell::parse(chunk);
      } catch (const shell::SyntaxError &e) {
        if (e.incomplete) continue;
        report(source, chunkStart + e.line - 1, e.column, e.what());
        ok = false;
        chunk.clear();
        continue;
      }
      chunk.clear();
      ok = execute(program, source, chunkStart - 1) && ok;
    }
    if (!chunk.empty()) {
      report(source, lineNo, 0, "The input ended inside an unfinished statement.");
      ok = false;
    }
    if (prompt) std::cout << "\n";
    return ok;
  }

 private:
  static std::string trim(const std::string &s) {
    auto b = s.find_first_not_of(" \t\r;");
    auto e = s.find_last_not_of(" \t\r;");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
  }

  bool execute(const shell::Block &program, const std::string &source, int lineOffset) {
    try {
      ev_.run(program);
      return true;
    } catch (const std::exception &e) {
      // An error inside function files names the innermost one, then each caller.
      const auto &trace = ev_.trace();
      if (trace.empty()) {
        report(source, lineOffset + ev_.line(), 0, e.what());
        return false;
      }
      report(trace[0].file, trace[0].line, 0, e.what());
      for (std::size_t k = 1; k < trace.size(); ++k) {
        std::cerr << "  called from " << trace[k].file << ", line " << trace[k].line << "\n";
      }
      std::cerr << "  called from " << source << ", line " << lineOffset + ev_.line() << std::endl;
      return false;
    }
  }

  static void report(const std::string &source, int line, int column, const std::string &msg) {
    std::fflush(stdout);
    std::cerr << "Error in " << source << ", line " << line;
    if (column > 0) std::cerr << ", column " << column;
    std::cerr << ": " << msg << std::endl;
  }

  shell::Evaluator &ev_;
  fs::path figures_;
};

std::optional<std::string> readFile(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

shell::Hooks hooksFor(const host::Loader &loader, const fs::path &figures) {
  shell::Hooks h;
  h.findFunction = [&loader](std::string_view name) -> MexGatewayFn {
    const host::FunctionInfo *f = loader.find(name);
    return f ? f->entry : nullptr;
  };
  h.describeFunction = [&loader](std::string_view name) -> std::string {
    const host::FunctionInfo *f = loader.find(name);
    if (!f) return "";
    auto count = [](int n, const char *what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    return f->name + ": a function of the module " +
           (f->module ? f->module->path().filename().string() : std::string("?")) + " (" +
           count(f->inputs, "input") + ", " + count(f->outputs, "output") + ")";
  };
  // A relative file name of print or saveas is taken inside the figures folder.
  h.renderFigure = [figures](double handle, const std::string &file, double resolution) {
    fs::path out = file;
    if (out.is_relative()) out = figures / out;
    std::error_code ec;
    if (out.has_parent_path()) fs::create_directories(out.parent_path(), ec);
    host::renderFigure(handle, out, resolution);
  };
  return h;
}

bool writeFigures(const fs::path &dir) {
  if (mexrt::graphics::figures().empty()) return true;
  try {
    host::renderAllFigures(dir);
    return true;
  } catch (const std::exception &e) {
    std::cerr << "mexhost: the figures could not be written: " << e.what() << "\n";
    return false;
  }
}

int run(const Options &o) {
  std::vector<fs::path> path = modulePath(o);
  std::vector<std::string> loadPath;
  loadPath.reserve(path.size());
  for (const auto &p : path) loadPath.push_back(p.string());
  mexrt::matfile::setLoadPath(loadPath);
  if (o.info) return printInfo(*o.info, path);

  Zeta zeta;
  host::Loader loader;
  loader.addInitializedLibraries();
  loader.loadPath(path);
  bool ok;
  {
    shell::Hooks hooks = hooksFor(loader, o.figures);
    // Function files: the current directory, the script's folder, then the module path
    // (which ends with the --path folders).
    hooks.functionFolders.push_back(fs::current_path());
    if (o.script) hooks.functionFolders.push_back(fs::absolute(*o.script).parent_path());
    for (const auto &p : path) hooks.functionFolders.push_back(p);
    shell::Evaluator ev(std::move(hooks));
    Session session(ev, o.figures);
    if (o.statements) {
      ok = session.runAll(*o.statements, "-e");
    } else if (o.script) {
      std::optional<std::string> text = readFile(*o.script);
      if (!text) {
        std::cerr << "mexhost: cannot read " << o.script->string() << "\n";
        return 1;
      }
      ok = session.runAll(*text, o.script->filename().string());
    } else {
      bool terminal = isatty(STDIN_FILENO) != 0;
      ok = session.runStream(terminal ? editedLines() : streamLines(std::cin), terminal,
                             terminal ? "input" : "stdin");
      if (terminal) ok = true;
    }
  }
  ok = writeFigures(o.figures) && ok;
  mexrt::graphics::clearAll();
  loader.unloadAll();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  int status = 0;
  std::optional<Options> o = parseOptions(argc, argv, status);
  if (!o) return status;
  try {
    return run(*o);
  } catch (const std::exception &e) {
    std::cerr << "mexhost: " << e.what() << "\n";
    return 1;
  }
}
