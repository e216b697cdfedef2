// Calls in the shell: resolving a name to a function file's function, a built-in or a
// module's gateway, binding parameters, running a function file's function in a workspace of
// its own, and calling a value (a handle or a function's name).
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

Evaluator::OwnWorkspace::OwnWorkspace(Evaluator &ev, CallFrame frame)
    : ev_(ev), callerLine_(ev.line_) {
  ev_.vars_.swap(callerVars_);
  ev_.subscripts_.swap(callerSubscripts_);
  ev_.workspaceChanged();
  ev_.frames_.push_back(frame);
}

void Evaluator::OwnWorkspace::leave() {
  if (left_) return;
  left_ = true;
  ev_.clearVariables({});
  ev_.vars_.swap(callerVars_);
  ev_.subscripts_.swap(callerSubscripts_);
  ev_.workspaceChanged();
  ev_.frames_.pop_back();
  ev_.line_ = callerLine_;
}

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
  OwnWorkspace workspace(*this, {&file, static_cast<int>(in.size()), nargout});
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
    throw;
  }
  workspace.leave();
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
