// The shell's evaluator: the workspace, and statements run one by one, each reclaiming its
// own temporaries when it fails. Expressions, function files, calls and function handles
// have files of their own (expressions.cpp, function_files.cpp, calls.cpp, handles.cpp).
#include "eval.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "builtins/builtins.h"
#include "mexrt/display.h"
#include "mexrt/error.h"
#include "mexrt/linalg.h"
#include "mexrt/mathlib.h"
#include "shell/eval_support.h"
#include "shell/handles.h"
#include "shell/parser.h"

namespace shell {

using namespace detail;

bool isDeletion(const mxArray *v) {
  return mxGetClassID(v) == mxDOUBLE_CLASS && !mxIsComplex(v) && mxGetM(v) == 0 && mxGetN(v) == 0 &&
         mxGetNumberOfDimensions(v) == 2;
}

void discard(mxArray *a) {
  mxArray *slot = nullptr;
  mlfAssign(&slot, a);  // takes a temporary over, or shares a variable
  mxDestroyArray(slot);
}

Evaluator::Evaluator(Hooks hooks) : hooks_(std::move(hooks)) {}

Evaluator::~Evaluator() {
  for (auto &[name, a] : vars_) mxDestroyArray(a);
}

// --- workspace ---

const mxArray *Evaluator::variable(std::string_view name) const {
  auto it = vars_.find(name);
  return it == vars_.end() ? nullptr : it->second;
}

void Evaluator::setVariable(const std::string &name, mxArray *value) {
  mxArray *kept = nullptr;
  mlfAssign(&kept, value);
  mxArray *&slot = vars_[name];
  mxDestroyArray(slot);
  slot = kept;
}

mxArray **Evaluator::slot(const void *at, const std::string &name) {
  Slot &c = slots_[(reinterpret_cast<std::uintptr_t>(at) >> 4) % slots_.size()];
  // The name is compared too: a later tree may take the place of a freed one.
  if (c.at == at && c.generation == generation_ && c.variable->first == name) {
    return &c.variable->second;
  }
  auto it = vars_.find(name);
  if (it == vars_.end()) return nullptr;
  c = {at, generation_, it};
  return &it->second;
}

bool Evaluator::assignScalar(const void *at, const std::string &name, double v) {
  mxArray **held = slot(at, name);
  // The write unshares the element first when another array shares it.
  return held && mexrtSetRealScalar(*held, v);
}

void Evaluator::clearVariables(const std::vector<std::string> &names) {
  workspaceChanged();
  if (names.empty()) {
    for (auto &[name, a] : vars_) mxDestroyArray(a);
    vars_.clear();
    return;
  }
  for (const auto &n : names) {
    auto it = vars_.find(n);
    if (it == vars_.end()) continue;
    mxDestroyArray(it->second);
    vars_.erase(it);
  }
}

std::vector<std::string> Evaluator::variableNames() const {
  std::vector<std::string> names;
  for (const auto &[name, a] : vars_) names.push_back(name);
  return names;
}

void Evaluator::show(const std::string &name, const mxArray *a) const {
  std::string text = mexrt::displayNamed(a, name);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// --- statements ---

void Evaluator::run(const Block &block) {
  trace_.clear();
  Flow f = execBlock(block);
  if (f == Flow::Break || f == Flow::Continue) {
    raise("'break' and 'continue' are only valid inside a loop.");
  }
}

Evaluator::Flow Evaluator::execBlock(const Block &block) {
  for (const auto &s : block) {
    Flow f = exec(*s);
    if (f != Flow::Normal) return f;
  }
  return Flow::Normal;
}

Evaluator::Flow Evaluator::exec(const Stmt &s) {
  line_ = s.line;
  TempScope temps;
  try {
    switch (s.kind) {
      case Stmt::Kind::Expression:
        execExpression(s);
        return Flow::Normal;
      case Stmt::Kind::Assign:
        execAssign(s);
        return Flow::Normal;
      case Stmt::Kind::MultiAssign:
        execMultiAssign(s);
        return Flow::Normal;
      case Stmt::Kind::If:
        return execIf(s);
      case Stmt::Kind::For:
        return execFor(s);
      case Stmt::Kind::While:
        return execWhile(s);
      case Stmt::Kind::Try:
        return execTry(s);
      case Stmt::Kind::Break:
        return Flow::Break;
      case Stmt::Kind::Continue:
        return Flow::Continue;
      case Stmt::Kind::Return:
        return Flow::Return;
      case Stmt::Kind::Function:
        raise("A function '" + s.function->name + "' can only be defined in a function file.");
    }
  } catch (...) {
    temps.release();
    throw;
  }
  return Flow::Normal;
}

bool Evaluator::condition(const Expr &e) { return mlfTobool(value(e)); }

Evaluator::Flow Evaluator::execIf(const Stmt &s) {
  for (std::size_t k = 0; k < s.conditions.size(); ++k) {
    line_ = s.line;
    if (condition(*s.conditions[k])) return execBlock(s.blocks[k]);
  }
  if (s.blocks.size() > s.conditions.size()) return execBlock(s.blocks.back());
  return Flow::Normal;
}

// A for loop takes the columns of its value one by one, as the host language does.
Evaluator::Flow Evaluator::execFor(const Stmt &s) {
  Held range(value(*s.value));
  std::size_t n = mxGetNumberOfElements(range.get());
  std::size_t columns = n ? mxGetN(range.get()) : 0;
  bool row = mxGetM(range.get()) == 1;
  const std::string &name = s.targets[0].name;
  // Over a real double row the loop variable, while it stays a real double scalar, takes
  // each element in place instead of a new array per turn.
  const double *elements =
      row && mxGetClassID(range.get()) == mxDOUBLE_CLASS && !mxIsComplex(range.get())
          ? mxGetPr(range.get())
          : nullptr;
  for (std::size_t k = 1; k <= columns; ++k) {
    line_ = s.line;
    if (elements && assignScalar(&s.targets[0], name, elements[k - 1])) {
      Flow f = execBlock(s.blocks[0]);
      if (f == Flow::Break) break;
      if (f == Flow::Return) return f;
      continue;
    }
    mxArray *column =
        row ? mclIntArrayRef1(range.get(), static_cast<int>(k))
            : mclArrayRef2(range.get(), mlfCreateColonIndex(), mlfScalar(static_cast<double>(k)));
    setVariable(name, column);
    Flow f = execBlock(s.blocks[0]);
    if (f == Flow::Break) break;
    if (f == Flow::Return) return f;
  }
  return Flow::Normal;
}

Evaluator::Flow Evaluator::execWhile(const Stmt &s) {
  while (true) {
    line_ = s.line;
    if (!condition(*s.conditions[0])) break;
    Flow f = execBlock(s.blocks[0]);
    if (f == Flow::Break) break;
    if (f == Flow::Return) return f;
  }
  return Flow::Normal;
}

// A bare expression: a call asks for no output; a result other than a plain variable
// becomes `ans`.
void Evaluator::execExpression(const Stmt &s) {
  // Command syntax applies to a name that is not a variable; a variable's `x -1` is x - 1.
  bool readAsExpression = s.command && variable(s.value->text);
  if (readAsExpression && !s.asExpression) {
    raise("'" + s.value->text + "' is a variable: the text after it is no expression.");
  }
  const Expr &e = readAsExpression ? *s.asExpression : *s.value;
  if (e.kind == Expr::Kind::Name && variable(e.text)) {
    if (s.show) show(e.text, variable(e.text));
    return;
  }
  std::vector<mxArray *> results;
  if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) {
    results = values(e, 0);
  } else {
    results.push_back(value(e));
  }
  for (std::size_t k = 1; k < results.size(); ++k) discard(results[k]);
  if (results.empty()) return;
  setVariable("ans", results[0]);
  if (s.show) show("ans", variable("ans"));
}

// x(i, ...) = [] deletes the selected elements; any other value is stored at its place.
void Evaluator::execAssign(const Stmt &s) {
  const Stmt::Target &t = s.targets[0];
  if (!t.place && (s.value->kind == Expr::Kind::Binary || s.value->kind == Expr::Kind::Unary)) {
    std::optional<double> scalar = scalarValue(*s.value);
    if (scalar && assignScalar(&t, t.name, *scalar)) {
      if (s.show) show(t.name, variable(t.name));
      return;
    }
  }
  mxArray *v = value(*s.value);
  if (!t.place) {
    setVariable(t.name, v);
  } else {
    assignPlace(t, v);
  }
  if (s.show) show(t.name, variable(t.name));
}

void Evaluator::execMultiAssign(const Stmt &s) {
  std::vector<mxArray *> results = values(*s.value, static_cast<int>(s.targets.size()));
  if (results.size() < s.targets.size()) {
    for (mxArray *r : results) discard(r);
    raise("Too many output arguments: " + std::to_string(s.targets.size()) + " requested, " +
          std::to_string(results.size()) + " given.");
  }
  for (std::size_t k = 0; k < results.size(); ++k) {
    if (k >= s.targets.size() || s.targets[k].name.empty()) {
      discard(results[k]);
      continue;
    }
    setVariable(s.targets[k].name, results[k]);
  }
  for (const auto &t : s.targets) {
    if (s.show && !t.name.empty()) show(t.name, variable(t.name));
  }
}

}  // namespace shell
