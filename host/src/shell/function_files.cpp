// Function files of the shell: read and parsed once, the help text of their leading
// comments, and which one serves a name.
#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "builtins/builtins.h"
#include "eval.h"
#include "mexrt/display.h"
#include "mexrt/error.h"
#include "mexrt/linalg.h"
#include "mexrt/mathlib.h"
#include "shell/eval_support.h"
#include "shell/handles.h"
#include "shell/parser.h"

namespace shell {

using namespace detail;

// --- function files ---

std::unique_ptr<FunctionFile> readFunctionFile(const std::filesystem::path &path) {
  auto file = std::make_unique<FunctionFile>();
  file->path = path;
  file->file = path.filename().string();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) raise("Cannot read the function file " + path.string() + ".");
  std::string source = text.str();
  Block program;
  try {
    program = parse(source);
  } catch (const SyntaxError &e) {
    raise(file->file + ", line " + std::to_string(e.line) + ", column " + std::to_string(e.column) +
          ": " + e.what());
  }
  for (std::size_t k = 0; k < program.size(); ++k) {
    if (program[k]->kind != Stmt::Kind::Function) {
      raise(file->file + ", line " + std::to_string(program[k]->line) +
            (k == 0 ? ": a function file begins with its function."
                    : ": a statement after a function's end is outside any function."));
    }
    std::shared_ptr<const FunctionDef> f = program[k]->function;
    if (k == 0) {
      file->main = f;
      file->functions[path.stem().string()] = f;
    } else {
      file->functions.try_emplace(f->name, f);
    }
  }
  if (!file->main) raise(file->file + " defines no function.");
  // The help text: the comment lines right after the function line, or else those
  // before it.
  std::istringstream lines(source);
  std::string line, before, after;
  bool seenFunction = false;
  while (std::getline(lines, line)) {
    std::size_t b = line.find_first_not_of(" \t\r");
    std::string_view t = b == std::string::npos ? "" : std::string_view(line).substr(b);
    if (!t.empty() && t[0] == '%') {
      t.remove_prefix(t.size() > 1 && t[1] == ' ' ? 2 : 1);
      (seenFunction ? after : before) += std::string(t) + "\n";
    } else if (!seenFunction && t.rfind("function", 0) == 0) {
      seenFunction = true;
    } else if (seenFunction || !t.empty()) {
      if (seenFunction) break;
    }
  }
  file->help = after.empty() ? before : after;
  return file;
}

const FunctionFile *Evaluator::functionFile(const std::string &name) {
  auto it = files_.find(name);
  if (it != files_.end()) return it->second.get();
  std::unique_ptr<FunctionFile> found;
  for (const auto &folder : hooks_.functionFolders) {
    std::error_code ec;
    std::filesystem::path p = folder / (name + ".m");
    if (!std::filesystem::is_regular_file(p, ec)) continue;
    if (!found) {
      found = readFunctionFile(p);
    } else if (!std::filesystem::equivalent(p, found->path, ec)) {
      mclWarning(
          ("The function file " + p.string() + " is shadowed by " + found->path.string() + ".")
              .c_str());
    }
  }
  if (!found) return nullptr;  // not kept: a file written later is found then
  return (files_[name] = std::move(found)).get();
}

std::string Evaluator::describe(const std::string &name) {
  if (const Builtin *b = findBuiltin(name)) return std::string(b->help) + "\n";
  if (hooks_.describeFunction) {
    std::string line = hooks_.describeFunction(name);
    if (!line.empty()) return line + "\n";
  }
  const FunctionFile *file = functionFile(name);
  if (!file) return "";
  if (file->help.empty()) return name + ": the function file " + file->path.string() + "\n";
  return file->help;
}

}  // namespace shell
