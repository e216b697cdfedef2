// Function handles of the shell: their targets, the names an anonymous body captures, the
// text a handle shows as, and making and calling them.
#include "shell/handles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mexrt/matrix.h"
#include "shell/eval.h"
#include "shell/eval_support.h"

namespace shell {

ShellFunction::ShellFunction(std::string name, const FunctionFile *file)
    : name_(std::move(name)), file_(file) {}

ShellFunction::ShellFunction(std::shared_ptr<const Lambda> lambda, const FunctionFile *file,
                             std::vector<std::pair<std::string, mxArray *>> captured)
    : lambda_(std::move(lambda)), file_(file), captured_(std::move(captured)) {}

ShellFunction::~ShellFunction() {
  for (auto &[name, a] : captured_) mxDestroyArray(a);
}

namespace {

std::string lambdaText(const Lambda &lambda) {
  std::string t = "@(";
  for (std::size_t k = 0; k < lambda.params.size(); ++k) {
    t += (k ? ", " : "") + lambda.params[k];
  }
  return t + ") " + expressionText(*lambda.body);
}

}  // namespace

std::string ShellFunction::text() const { return lambda_ ? lambdaText(*lambda_) : "@" + name_; }

mxArray *newNamedHandle(std::string name, const FunctionFile *scope) {
  return mexrt::createFunctionHandle(std::make_shared<const ShellFunction>(std::move(name), scope));
}

const ShellFunction *shellFunction(const mxArray *a) {
  return dynamic_cast<const ShellFunction *>(mexrt::functionTarget(a));
}

namespace {

void collectNames(const Expr &e, std::vector<std::string> &names) {
  if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) {
    if (std::find(names.begin(), names.end(), e.text) == names.end()) names.push_back(e.text);
  }
  for (const auto &a : e.args) collectNames(*a, names);
  for (const auto &row : e.rows) {
    for (const auto &x : row) collectNames(*x, names);
  }
  // A nested body's names are captured here too, so that it can capture them in turn.
  if (e.lambda) collectNames(*e.lambda->body, names);
}

// Binding strength, loosest first, as the parser's levels.
int precedence(const Expr &e) {
  if (e.kind == Expr::Kind::Range) return kRangeLevel;
  if (e.kind == Expr::Kind::Unary) return kUnaryLevel;
  if (e.kind == Expr::Kind::Lambda) return 0;
  if (e.kind != Expr::Kind::Binary) return kPostfixLevel;
  return binaryLevel(e.op);
}

std::string numberText(const Expr &e) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", e.number);
  // The shortest text that reads back as the same number.
  for (int digits = 1; digits <= 17; ++digits) {
    char shorter[40];
    std::snprintf(shorter, sizeof shorter, "%.*g", digits, e.number);
    if (std::strtod(shorter, nullptr) == e.number) {
      std::snprintf(buf, sizeof buf, "%s", shorter);
      break;
    }
  }
  return std::string(buf) + (e.imaginary ? "i" : "");
}

std::string listText(const std::vector<ExprPtr> &args) {
  std::string t;
  for (std::size_t k = 0; k < args.size(); ++k) t += (k ? ", " : "") + expressionText(*args[k]);
  return t;
}

std::string wrapped(const Expr &e, bool parenthesise) {
  std::string t = expressionText(e);
  return parenthesise ? "(" + t + ")" : t;
}

}  // namespace

std::vector<std::string> namesUsed(const Lambda &lambda) {
  std::vector<std::string> names;
  collectNames(*lambda.body, names);
  std::erase_if(names, [&](const std::string &n) {
    return std::find(lambda.params.begin(), lambda.params.end(), n) != lambda.params.end();
  });
  return names;
}

std::string expressionText(const Expr &e) {
  switch (e.kind) {
    case Expr::Kind::Number:
      return numberText(e);
    case Expr::Kind::String: {
      std::string t = "'";
      for (char c : e.text) t += c == '\'' ? std::string("''") : std::string(1, c);
      return t + "'";
    }
    case Expr::Kind::Name:
      return e.text;
    case Expr::Kind::Call:
      return e.text + "(" + listText(e.args) + ")";
    case Expr::Kind::End:
      return "end";
    case Expr::Kind::Colon:
      return ":";
    case Expr::Kind::Binary: {
      int p = precedence(e);
      // Operators of one level associate to the left: only the right side needs
      // parentheses at its own level.
      return wrapped(*e.args[0], precedence(*e.args[0]) < p) + " " + std::string(opText(e.op)) +
             " " + wrapped(*e.args[1], precedence(*e.args[1]) <= p);
    }
    case Expr::Kind::Unary:
      return std::string(opText(e.op)) + wrapped(*e.args[0], precedence(*e.args[0]) < kUnaryLevel);
    case Expr::Kind::Transpose:
      return wrapped(*e.args[0], precedence(*e.args[0]) < kPostfixLevel) +
             std::string(opText(e.op));
    case Expr::Kind::Range: {
      std::string t;
      for (std::size_t k = 0; k < e.args.size(); ++k) {
        t += (k ? ":" : "") + wrapped(*e.args[k], precedence(*e.args[k]) <= kRangeLevel);
      }
      return t;
    }
    case Expr::Kind::Matrix:
    case Expr::Kind::Cell: {
      const bool cell = e.kind == Expr::Kind::Cell;
      std::string t = cell ? "{" : "[";
      for (std::size_t r = 0; r < e.rows.size(); ++r) {
        t += r ? "; " : "";
        for (std::size_t k = 0; k < e.rows[r].size(); ++k) {
          t += (k ? ", " : "") + expressionText(*e.rows[r][k]);
        }
      }
      return t + (cell ? "}" : "]");
    }
    case Expr::Kind::Index:
    case Expr::Kind::CellIndex: {
      const bool cell = e.kind == Expr::Kind::CellIndex;
      std::string t = wrapped(*e.args[0], precedence(*e.args[0]) < 11) + (cell ? "{" : "(");
      for (std::size_t k = 1; k < e.args.size(); ++k) {
        t += (k > 1 ? ", " : "") + expressionText(*e.args[k]);
      }
      return t + (cell ? "}" : ")");
    }
    case Expr::Kind::Field: {
      std::string t = wrapped(*e.args[0], precedence(*e.args[0]) < 11) + ".";
      return t + (e.args.size() > 1 ? "(" + expressionText(*e.args[1]) + ")" : e.text);
    }
    case Expr::Kind::Handle:
      return "@" + e.text;
    case Expr::Kind::Lambda:
      return lambdaText(*e.lambda);
  }
  return "";
}

using namespace detail;

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
  OwnWorkspace workspace(*this, {f.file(), static_cast<int>(in.size()), nargout});
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
    throw;
  }
  workspace.leave();
  for (mxArray *&k : kept) k = mlfReturnValue(k);
  return kept;
}

}  // namespace shell
