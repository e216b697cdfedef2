// The shell's evaluator: statements run one by one; each expression node is one runtime
// operation whose temporaries flow straight into the next, and each statement reclaims
// its own temporaries when it fails.
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
#include "shell/handles.h"
#include "shell/parser.h"

namespace shell {

namespace {

[[noreturn]] void raise(const std::string &message) { throw mexrt::Error(message); }

mxArray *logicalTemp(bool v) { return mlfReturnValue(mxCreateLogicalScalar(v)); }

// op on two real double scalars as the runtime's operator computes it, or nullopt for an
// operator whose result is not such a scalar (comparisons give logicals, powers may give
// complex results).
std::optional<double> scalarArithmetic(Op op, double a, double b) {
  switch (op) {
    case Op::Plus:
      return a + b;
    case Op::Minus:
      return a - b;
    case Op::Mtimes:
    case Op::Times:
      return a * b;
    case Op::Mrdivide:
    case Op::Rdivide:
      return a / b;
    case Op::Mldivide:
    case Op::Ldivide:
      return b / a;
    default:
      return std::nullopt;
  }
}

mxArray *stringTemp(const std::string &text) {
  return mlfReturnValue(mxCreateString(text.c_str()));
}

// Reclaims the temporaries a statement made if it fails, so an error leaks nothing.
class TempScope {
 public:
  TempScope() : mark_(mclTempMark()) {}
  void release() const { mclReleaseTempsSince(mark_); }

 private:
  std::uint64_t mark_;
};

// Owns an array for a scope (a loop's range); freed on every exit.
class Held {
 public:
  explicit Held(mxArray *a) : a_(mclInitialize(a)) {}
  ~Held() { mxDestroyArray(a_); }
  Held(const Held &) = delete;
  Held &operator=(const Held &) = delete;
  mxArray *get() const { return a_; }

 private:
  mxArray *a_;
};

}  // namespace

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

// --- expressions ---

mxArray *Evaluator::value(const Expr &e) {
  switch (e.kind) {
    case Expr::Kind::Number:
      if (e.imaginary) return mlfComplex(mlfScalar(0), mlfScalar(e.number));
      return mlfScalar(e.number);
    case Expr::Kind::String:
      return stringTemp(e.text);
    case Expr::Kind::End:
      return end();
    case Expr::Kind::Colon:
      return mlfCreateColonIndex();
    case Expr::Kind::Binary:
      return binary(e);
    case Expr::Kind::Unary:
      return unary(e);
    case Expr::Kind::Transpose:
      if (e.op == Op::Transpose) return mlfTranspose(value(*e.args[0]));
      return mlfCtranspose(value(*e.args[0]));
    case Expr::Kind::Range: {
      mxArray *a = value(*e.args[0]);
      mxArray *b = value(*e.args[1]);
      return mlfColon(a, b, e.args.size() == 3 ? value(*e.args[2]) : nullptr);
    }
    case Expr::Kind::Matrix:
      return matrix(e);
    case Expr::Kind::Cell:
      return cellLiteral(e);
    case Expr::Kind::Index:
    case Expr::Kind::CellIndex:
    case Expr::Kind::Field:
      return listValue(e);
    case Expr::Kind::Handle:
    case Expr::Kind::Lambda:
      return makeHandle(e);
    case Expr::Kind::Name:
    case Expr::Kind::Call: {
      std::vector<mxArray *> r = values(e, 1);
      if (r.empty()) raise("'" + e.text + "' gives no value to use here.");
      for (std::size_t k = 1; k < r.size(); ++k) discard(r[k]);
      return r[0];
    }
  }
  raise("Unknown expression.");
}

// A number, or a variable holding a real double scalar: read without making an array.
std::optional<double> Evaluator::scalarLeaf(const Expr &e) {
  if (e.kind == Expr::Kind::Number && !e.imaginary) return e.number;
  if (e.kind != Expr::Kind::Name) return std::nullopt;
  mxArray **v = slot(&e, e.text);
  double x;
  if (!v || !mexrtRealScalar(*v, &x)) return std::nullopt;
  return x;
}

std::optional<double> Evaluator::scalarValue(const Expr &e) {
  if (e.kind == Expr::Kind::Binary) {
    std::optional<double> a = scalarValue(*e.args[0]);
    if (!a) return std::nullopt;
    std::optional<double> b = scalarValue(*e.args[1]);
    if (!b) return std::nullopt;
    return scalarArithmetic(e.op, *a, *b);
  }
  if (e.kind == Expr::Kind::Unary && e.op != Op::Not) {
    std::optional<double> a = scalarValue(*e.args[0]);
    if (a && e.op == Op::Minus) return -*a;
    return a;
  }
  return scalarLeaf(e);
}

// One side of an operator: its array, or, for a number or a variable holding a real double
// scalar, only the value until an array is needed.
struct Evaluator::Side {
  mxArray *array = nullptr;
  std::optional<double> scalar;
  mxArray *take() { return array ? array : mlfScalar(*scalar); }
};

Evaluator::Side Evaluator::side(const Expr &e) {
  Side s;
  s.scalar = scalarLeaf(e);
  if (s.scalar) return s;
  s.array = value(e);
  if (double x; mexrtRealScalar(s.array, &x)) s.scalar = x;
  return s;
}

mxArray *Evaluator::binary(const Expr &e) {
  if (e.op == Op::AndAnd || e.op == Op::OrOr) return shortCircuit(e);
  Side a = side(*e.args[0]);
  Side b = side(*e.args[1]);
  if (a.scalar && b.scalar) {
    if (std::optional<double> r = scalarArithmetic(e.op, *a.scalar, *b.scalar)) {
      if (a.array) discard(a.array);
      if (b.array) discard(b.array);
      return mlfScalar(*r);
    }
  }
  return apply(e.op, a.take(), b.take());
}

mxArray *Evaluator::apply(Op op, mxArray *a, mxArray *b) {
  switch (op) {
    case Op::Plus:
      return mclPlus(a, b);
    case Op::Minus:
      return mclMinus(a, b);
    case Op::Mtimes:
      return mclMtimes(a, b);
    case Op::Times:
      return mclTimes(a, b);
    case Op::Mrdivide:
      return mclMrdivide(a, b);
    case Op::Mldivide:
      return mclMldivide(a, b);
    case Op::Rdivide:
      return mclRdivide(a, b);
    case Op::Mpower:
      return mclMpower(a, b);
    case Op::Power:
      return mclPower(a, b);
    case Op::Eq:
      return mclEq(a, b);
    case Op::Ne:
      return mclNe(a, b);
    case Op::Lt:
      return mclLt(a, b);
    case Op::Le:
      return mclLe(a, b);
    case Op::Gt:
      return mclGt(a, b);
    case Op::Ge:
      return mclGe(a, b);
    case Op::And:
      return mclAnd(a, b);
    case Op::Or:
      return mclOr(a, b);
    default:
      discard(a);
      discard(b);
      raise("The operator '" + std::string(opText(op)) + "' is not supported.");
  }
}

mxArray *Evaluator::shortCircuit(const Expr &e) {
  bool left = mlfTobool(value(*e.args[0]));
  if (e.op == Op::AndAnd && !left) return logicalTemp(false);
  if (e.op == Op::OrOr && left) return logicalTemp(true);
  return logicalTemp(mlfTobool(value(*e.args[1])));
}

mxArray *Evaluator::unary(const Expr &e) {
  mxArray *a = value(*e.args[0]);
  if (e.op == Op::Minus) return mclUminus(a);
  if (e.op == Op::Not) return mclNot(a);
  return a;  // unary plus
}

mxArray *Evaluator::matrix(const Expr &e) {
  if (e.rows.empty()) return mclCreateEmptyArray();
  std::vector<mxArray *> rows;
  for (const auto &r : e.rows) {
    std::vector<mxArray *> elements;
    elements.reserve(r.size());
    for (const auto &x : r) appendValues(elements, *x);
    rows.push_back(callListed(mlfHorzcat, elements, "horzcat"));
  }
  return rows.size() == 1 ? rows[0] : callListed(mlfVertcat, rows, "vertcat");
}

// `end` in subscript k of n: the extent of dimension k, or for the last subscript the
// product of the dimensions from k on.
mxArray *Evaluator::end() const {
  if (subscripts_.empty()) raise("'end' is only valid inside a subscript of a variable.");
  const Subscript &s = subscripts_.back();
  if (!s.array) return mlfScalar(0);
  const std::size_t *dims = mxGetDimensions(s.array);
  std::size_t rank = mxGetNumberOfDimensions(s.array);
  double n = 1;
  if (s.position + 1 < s.count) {
    n = s.position < rank ? static_cast<double>(dims[s.position]) : 1;
  } else {
    for (std::size_t d = s.position; d < rank; ++d) n *= static_cast<double>(dims[d]);
  }
  return mlfScalar(n);
}

std::vector<mxArray *> Evaluator::subscripts(std::span<const ExprPtr> args, const mxArray *array) {
  std::vector<mxArray *> subs;
  for (std::size_t k = 0; k < args.size(); ++k) {
    subscripts_.push_back({array, k, args.size()});
    try {
      subs.push_back(value(*args[k]));
    } catch (...) {
      subscripts_.pop_back();
      throw;
    }
    subscripts_.pop_back();
  }
  return subs;
}

mxArray *Evaluator::index(mxArray *array, std::vector<mxArray *> subs, const Expr &) {
  if (subs.empty()) {
    mxArray *copy = nullptr;  // x() is x itself
    mlfAssign(&copy, array);
    return mlfReturnValue(copy);
  }
  return mclArrayRefN(array, static_cast<int>(subs.size()), subs.data());
}

// A name is a variable (indexed), a constant, a built-in or a function that a module
// serves, in that order.
std::vector<mxArray *> Evaluator::values(const Expr &e, int nargout) {
  static const std::vector<ExprPtr> kNoArgs;
  const std::vector<ExprPtr> &args = e.kind == Expr::Kind::Call ? e.args : kNoArgs;
  auto it = vars_.find(e.text);
  if (it != vars_.end()) {
    if (e.kind == Expr::Kind::Name) return {it->second};
    if (mexrt::functionTarget(it->second)) {
      // The call holds the handle: its body may clear the variable that names it.
      Held handle(it->second);
      std::vector<mxArray *> in;
      for (const auto &a : args) in.push_back(value(*a));
      return callHandle(*shellFunction(handle.get()), in, nargout);
    }
    if (nargout > 1)
      raise("Indexing '" + e.text + "' gives one result, not " + std::to_string(nargout) + ".");
    return {index(it->second, subscripts(args, it->second), e)};
  }
  if (e.kind == Expr::Kind::Name) {
    if (!frames_.empty() && (e.text == "nargin" || e.text == "nargout")) {
      const CallFrame &f = frames_.back();
      return {mlfScalar(e.text == "nargin" ? f.nargin : f.nargout)};
    }
    if (mxArray *c = namedConstant(e.text)) return {c};
  }
  return call(e.text, args, nargout);
}

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

namespace {

bool takesVarargin(const std::vector<std::string> &params) {
  return !params.empty() && params.back() == "varargin";
}

}  // namespace

// The arguments into the parameters' variables (an unnamed ~ one is dropped); a last
// parameter varargin takes those beyond the others as a 1 x n cell.
void Evaluator::bindParameters(const std::vector<std::string> &params, std::vector<mxArray *> &in) {
  const std::size_t fixed = params.size() - (takesVarargin(params) ? 1 : 0);
  for (std::size_t k = 0; k < std::min(in.size(), fixed); ++k) {
    mxArray *a = in[k];
    in[k] = nullptr;
    if (params[k].empty()) {
      discard(a);
    } else {
      setVariable(params[k], a);
    }
  }
  if (fixed == params.size()) return;
  std::size_t extra = in.size() > fixed ? in.size() - fixed : 0;
  mxArray *rest = mlfReturnValue(mxCreateCellMatrix(1, extra));
  for (std::size_t k = 0; k < extra; ++k) {
    mxSetCell(rest, k, mclInitialize(in[fixed + k]));
    in[fixed + k] = nullptr;
  }
  setVariable("varargin", rest);
}

// A call of a function file's function: a fresh workspace holding the parameters, run
// until its body ends or returns, giving back the outputs asked for.
std::vector<mxArray *> Evaluator::callFunction(const FunctionFile &file, const FunctionDef &f,
                                               std::vector<mxArray *> &in, int nargout) {
  auto refuse = [&](const std::string &message) {
    for (mxArray *a : in) discard(a);
    raise(message);
  };
  // A last parameter varargin takes the arguments beyond the others as a 1 x n cell, a last
  // output varargout gives the results beyond the others from its cells.
  const bool varOut = !f.outputs.empty() && f.outputs.back() == "varargout";
  const std::size_t fixedOut = f.outputs.size() - (varOut ? 1 : 0);
  if (in.size() > f.params.size() && !takesVarargin(f.params)) {
    refuse("Too many input arguments for '" + f.name + "'.");
  }
  if (!varOut && nargout > static_cast<int>(f.outputs.size()) &&
      !(nargout == 1 && f.outputs.empty())) {
    refuse("Too many output arguments for '" + f.name + "'.");
  }
  if (frames_.size() >= static_cast<std::size_t>(kMaxCallDepth)) {
    refuse("Maximum recursion depth of " + std::to_string(kMaxCallDepth) + " reached in '" +
           f.name + "'.");
  }
  std::map<std::string, mxArray *, std::less<>> locals;
  std::vector<Subscript> subscripts;
  vars_.swap(locals);
  workspaceChanged();
  subscripts_.swap(subscripts);
  int callerLine = line_;
  frames_.push_back({&file, static_cast<int>(in.size()), nargout});
  auto restore = [&] {
    clearVariables({});
    vars_.swap(locals);
    workspaceChanged();
    subscripts_.swap(subscripts);
    frames_.pop_back();
    line_ = callerLine;
  };
  std::vector<mxArray *> results;
  try {
    bindParameters(f.params, in);
    line_ = f.line;
    Flow flow = execBlock(f.body);
    if (flow == Flow::Break || flow == Flow::Continue) {
      raise("'break' and 'continue' are only valid inside a loop.");
    }
    std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
    if (!varOut) wanted = std::min(wanted, f.outputs.size());
    for (std::size_t k = 0; k < wanted; ++k) {
      auto at = vars_.find(f.outputs[std::min(k, fixedOut)]);
      bool set = at != vars_.end();
      if (set && k >= fixedOut) {
        if (!mxIsCell(at->second)) raise("'varargout' of '" + f.name + "' must be a cell array.");
        set = k - fixedOut < mxGetNumberOfElements(at->second);
      }
      if (!set) {
        if (nargout == 0 && k == 0) break;
        std::string output =
            k < fixedOut ? f.outputs[k] : "varargout{" + std::to_string(k - fixedOut + 1) + "}";
        raise("The output '" + output + "' of '" + f.name + "' was not set.");
      }
      if (k >= fixedOut) {
        results.push_back(mclInitialize(mclCellContent(at->second, k - fixedOut)));
        continue;
      }
      results.push_back(at->second);
      vars_.erase(at);
      workspaceChanged();
    }
  } catch (...) {
    for (mxArray *r : results) mxDestroyArray(r);
    trace_.push_back({file.file, line_});
    restore();
    throw;
  }
  restore();
  for (mxArray *&r : results) r = mlfReturnValue(r);
  return results;
}

// A local function of the scope's file first, then built-ins, modules and function files.
Evaluator::Callee Evaluator::resolve(const std::string &name, const FunctionFile *scope) {
  Callee c;
  if (scope) {
    auto at = scope->functions.find(name);
    if (at != scope->functions.end()) {
      c.file = scope;
      c.local = at->second.get();
      return c;
    }
  }
  c.builtin = findBuiltin(name);
  c.gateway = c.builtin || !hooks_.findFunction ? nullptr : hooks_.findFunction(name);
  if ((c.builtin || c.gateway) && shadowChecked_.insert(name).second && functionFile(name)) {
    mclWarning(("The function file " + files_.find(name)->second->path.string() +
                " is shadowed by the " + (c.builtin ? "built-in" : "module function") + " '" +
                name + "'.")
                   .c_str());
  }
  if (!c.builtin && !c.gateway) {
    c.file = functionFile(name);
    if (!c.file) raise("Undefined function or variable '" + name + "'.");
    c.local = c.file->main.get();
  }
  return c;
}

std::vector<mxArray *> Evaluator::call(const std::string &name, const std::vector<ExprPtr> &args,
                                       int nargout) {
  Callee callee = resolve(name, frames_.empty() ? nullptr : frames_.back().file);
  std::vector<mxArray *> in;
  for (const auto &a : args) {
    if (a->kind == Expr::Kind::End) raise("'end' is only valid inside a subscript of a variable.");
    appendValues(in, *a);
  }
  return invoke(callee, name, in, nargout);
}

std::vector<mxArray *> Evaluator::invoke(const Callee &callee, const std::string &name,
                                         std::vector<mxArray *> &in, int nargout) {
  if (callee.local) return callFunction(*callee.file, *callee.local, in, nargout);
  if (callee.builtin) return callee.builtin->fn(*this, name.c_str(), in, nargout);
  // A module reads its arguments' data, which a function handle does not have.
  for (mxArray *a : in) {
    if (!mexrt::functionTarget(a)) continue;
    for (mxArray *x : in) discard(x);
    raise("The module function '" + name + "' takes arrays, not function handles.");
  }
  // The host's output slots: room for at least one, as a gateway may fill the first even
  // when no output is requested.
  std::vector<mxArray *> out(static_cast<std::size_t>(std::max(nargout, 1)), nullptr);
  try {
    callee.gateway(nargout, out.data(), static_cast<int32_t>(in.size()), in.data());
  } catch (...) {
    for (mxArray *o : out) mxDestroyArray(o);
    throw;
  }
  std::vector<mxArray *> results;
  bool gap = false;
  for (mxArray *o : out) {
    if (!o || gap || mxGetClassID(o) == mxUNKNOWN_CLASS) {
      gap = true;
      mxDestroyArray(o);
      continue;
    }
    results.push_back(mlfReturnValue(o));
  }
  if (nargout >= 1 && results.empty()) {
    raise("The function '" + name + "' gave no value for its output.");
  }
  return results;
}

// --- function handles ---

// @name keeps the file it was made in, whose local functions it sees; @(params) body also
// keeps a copy of every variable of the workspace that its body names.
mxArray *Evaluator::makeHandle(const Expr &e) {
  const FunctionFile *scope = frames_.empty() ? nullptr : frames_.back().file;
  if (e.kind == Expr::Kind::Handle) return mlfReturnValue(newNamedHandle(e.text, scope));
  std::vector<std::pair<std::string, mxArray *>> captured;
  for (const std::string &name : namesUsed(*e.lambda)) {
    auto it = vars_.find(name);
    if (it == vars_.end()) continue;
    mxArray *kept = nullptr;
    mlfAssign(&kept, it->second);
    captured.emplace_back(name, kept);
  }
  auto target = std::make_shared<const ShellFunction>(e.lambda, scope, std::move(captured));
  return mlfReturnValue(mexrt::createFunctionHandle(std::move(target)));
}

std::vector<mxArray *> Evaluator::callHandle(const ShellFunction &f, std::vector<mxArray *> &in,
                                             int nargout) {
  if (f.lambda()) return callAnonymous(f, in, nargout);
  Callee callee;
  try {
    callee = resolve(f.name(), f.file());
  } catch (...) {
    for (mxArray *a : in) discard(a);
    throw;
  }
  return invoke(callee, f.name(), in, nargout);
}

// The body runs in a workspace of its own: the captured variables and the parameters.
std::vector<mxArray *> Evaluator::callAnonymous(const ShellFunction &f, std::vector<mxArray *> &in,
                                                int nargout) {
  const Lambda &lambda = *f.lambda();
  auto refuse = [&](const std::string &message) {
    for (mxArray *a : in) discard(a);
    raise(message);
  };
  if (in.size() > lambda.params.size() && !takesVarargin(lambda.params)) {
    refuse("Too many input arguments for " + f.text() + ".");
  }
  if (frames_.size() >= static_cast<std::size_t>(kMaxCallDepth)) {
    refuse("Maximum recursion depth of " + std::to_string(kMaxCallDepth) + " reached in " +
           f.text() + ".");
  }
  std::map<std::string, mxArray *, std::less<>> locals;
  std::vector<Subscript> subscripts;
  vars_.swap(locals);
  workspaceChanged();
  subscripts_.swap(subscripts);
  frames_.push_back({f.file(), static_cast<int>(in.size()), nargout});
  auto restore = [&] {
    clearVariables({});
    vars_.swap(locals);
    workspaceChanged();
    subscripts_.swap(subscripts);
    frames_.pop_back();
  };
  std::vector<mxArray *> kept;
  try {
    for (const auto &[name, a] : f.captured()) setVariable(name, a);
    bindParameters(lambda.params, in);

    const Expr &body = *lambda.body;
    bool call = body.kind == Expr::Kind::Name || body.kind == Expr::Kind::Call;
    std::vector<mxArray *> results = call ? values(body, nargout) : std::vector{value(body)};
    // Owned before the workspace goes: a result may be one of its variables.
    for (mxArray *r : results) {
      kept.push_back(nullptr);
      mlfAssign(&kept.back(), r);
    }
  } catch (...) {
    for (mxArray *a : in) discard(a);
    for (mxArray *k : kept) mxDestroyArray(k);
    restore();
    throw;
  }
  restore();
  for (mxArray *&k : kept) k = mlfReturnValue(k);
  return kept;
}

std::vector<mxArray *> Evaluator::callValue(mxArray *function, std::vector<mxArray *> &args,
                                            int nargout) {
  auto refuse = [&](const std::string &message) {
    discard(function);
    for (mxArray *a : args) discard(a);
    raise(message);
  };
  if (mexrt::functionTarget(function)) {
    if (!shellFunction(function)) refuse("This function handle was not made by the shell.");
    Held handle(function);
    return callHandle(*shellFunction(handle.get()), args, nargout);
  }
  if (!function || mxGetClassID(function) != mxCHAR_CLASS || mxGetM(function) != 1) {
    refuse("Expected a function handle or a function's name.");
  }
  std::unique_ptr<char, void (*)(void *)> text(mxArrayToString(function), mxFree);
  std::string name(text.get());
  discard(function);
  Callee callee;
  try {
    callee = resolve(name, frames_.empty() ? nullptr : frames_.back().file);
  } catch (...) {
    for (mxArray *a : args) discard(a);
    throw;
  }
  return invoke(callee, name, args, nargout);
}

}  // namespace shell
