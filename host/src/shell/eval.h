// The shell's evaluator: runs statements of the syntax tree, mapping every operator and
// function straight onto the runtime's operations, and keeps the workspace variables.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "mexrt/records.h"

namespace shell {

struct Builtin;
class ShellFunction;

// What the shell reaches outside itself: functions served by modules or libraries, and
// the renderer that print and saveas write figures with.
struct Hooks {
  // The gateway entry serving a function name, or nullptr.
  std::function<MexGatewayFn(std::string_view name)> findFunction;
  // Writes figure `handle` to a file whose extension names the format, at a resolution in
  // dots per inch (96: a pixel of the figure is a pixel of the image).
  std::function<void(double handle, const std::string &file, double resolution)> renderFigure;
  // A one-line description of a function a module serves; empty for another name.
  std::function<std::string(std::string_view name)> describeFunction;
  // The folders searched, in order, for a function file NAME.m.
  std::vector<std::filesystem::path> functionFolders;
};

// How deep calls of function files may nest before a call is refused.
inline constexpr int kMaxCallDepth = 100;

// A parsed function file: its first function, then its local functions.
struct FunctionFile {
  std::string file;  // as errors name it: NAME.m
  std::filesystem::path path;
  std::map<std::string, std::shared_ptr<const FunctionDef>, std::less<>> functions;
  std::shared_ptr<const FunctionDef> main;
  std::string help;  // the leading comment block
};

// Where an error passed: a function file and the line running in it.
struct TraceFrame {
  std::string file;
  int line;
};

class Evaluator {
 public:
  explicit Evaluator(Hooks hooks = {});
  ~Evaluator();  // frees every variable
  Evaluator(const Evaluator &) = delete;
  Evaluator &operator=(const Evaluator &) = delete;

  // Runs the statements in order. An error (mexrt::Error) stops them; line() then names
  // the statement that raised it, and that statement's temporaries have been reclaimed.
  void run(const Block &block);
  int line() const { return line_; }

  // The workspace: a variable's array (nullptr when there is none), set and cleared.
  const mxArray *variable(std::string_view name) const;
  void setVariable(const std::string &name, mxArray *value);   // takes the value as mlfAssign does
  void clearVariables(const std::vector<std::string> &names);  // all when empty
  std::vector<std::string> variableNames() const;
  const Hooks &hooks() const { return hooks_; }
  // The function files an error of the last run passed through, innermost first.
  const std::vector<TraceFrame> &trace() const { return trace_; }
  // The message of the last error a try caught (lasterr).
  const std::string &lastError() const { return lastError_; }
  // The function file serving a name, or nullptr; parsed once and kept.
  const FunctionFile *functionFile(const std::string &name);
  // What `help name` shows, in the order calls find names: a built-in's line, a module
  // function's description or a function file's leading comments; empty when unknown.
  std::string describe(const std::string &name);
  // Calls a function handle, or the function a text names, with evaluated arguments taken
  // as a built-in takes them; the function's array is reclaimed if it was a temporary.
  std::vector<mxArray *> callValue(mxArray *function, std::vector<mxArray *> &args, int nargout);

 private:
  enum class Flow { Normal, Break, Continue, Return };
  struct CallFrame {
    const FunctionFile *file;  // whose local functions are seen; nullptr outside any file
    int nargin, nargout;
  };
  // What serves a name: a function file's function, a built-in or a module's gateway.
  struct Callee {
    const FunctionFile *file = nullptr;
    const FunctionDef *local = nullptr;
    const Builtin *builtin = nullptr;
    MexGatewayFn gateway = nullptr;
  };
  struct Subscript {
    const mxArray *array;  // the array being indexed (nullptr: not yet defined)
    std::size_t position, count;
  };

  // A called function's workspace for as long as it runs: fresh variables and subscripts
  // and its call frame; leave() (or the end of the scope, on an error) frees its variables
  // and gives the caller's back.
  class OwnWorkspace {
   public:
    OwnWorkspace(Evaluator &ev, CallFrame frame);
    ~OwnWorkspace() { leave(); }
    OwnWorkspace(const OwnWorkspace &) = delete;
    OwnWorkspace &operator=(const OwnWorkspace &) = delete;
    void leave();

   private:
    Evaluator &ev_;
    std::map<std::string, mxArray *, std::less<>> callerVars_;
    std::vector<Subscript> callerSubscripts_;
    int callerLine_;
    bool left_ = false;
  };

  Flow execBlock(const Block &block);
  Flow exec(const Stmt &s);
  Flow execFor(const Stmt &s);
  Flow execWhile(const Stmt &s);
  Flow execIf(const Stmt &s);
  void execExpression(const Stmt &s);
  void execAssign(const Stmt &s);
  void execMultiAssign(const Stmt &s);
  bool condition(const Expr &e);

  mxArray *value(const Expr &e);
  std::vector<mxArray *> values(const Expr &e, int nargout);
  // The scalar fast path: arithmetic on real double scalars (numbers and variables holding
  // one) computed on doubles, without an array per operation. scalarValue is nullopt for
  // any other expression, and evaluates nothing then.
  struct Side;
  std::optional<double> scalarLeaf(const Expr &e);
  std::optional<double> scalarValue(const Expr &e);
  Side side(const Expr &e);
  // Writes v into the variable's element when it already is a real double scalar; `at` is
  // the place in the syntax tree that names it.
  bool assignScalar(const void *at, const std::string &name, double v);
  // The variable a place in the syntax tree names, or nullptr; remembered per place until
  // the workspace loses a variable or is swapped, so that a loop looks its names up once.
  mxArray **slot(const void *at, const std::string &name);
  void workspaceChanged() { ++generation_; }
  mxArray *binary(const Expr &e);
  mxArray *apply(Op op, mxArray *a, mxArray *b);
  mxArray *unary(const Expr &e);
  mxArray *shortCircuit(const Expr &e);
  mxArray *matrix(const Expr &e);
  mxArray *end() const;
  std::vector<mxArray *> subscripts(std::span<const ExprPtr> args, const mxArray *array);
  // Places inside variables (places.cpp).
  std::string fieldName(const Expr &e);
  std::vector<mxArray *> list(const Expr &e);
  void appendValues(std::vector<mxArray *> &out, const Expr &e);
  mxArray *listValue(const Expr &e);
  mxArray *cellLiteral(const Expr &e);
  void assignPlace(const Stmt::Target &t, mxArray *v);
  void storeAt(mxArray *&base, const std::vector<const Expr *> &levels, std::size_t i, mxArray *v,
               const std::string &name);
  void storeInside(mxArray *child, const std::vector<const Expr *> &levels, std::size_t i,
                   mxArray *v, const std::string &name,
                   const std::function<void(mxArray *)> &giveBack);
  Flow execTry(const Stmt &s);
  mxArray *index(mxArray *array, std::vector<mxArray *> subs, const Expr &at);
  std::vector<mxArray *> call(const std::string &name, const std::vector<ExprPtr> &args,
                              int nargout);
  Callee resolve(const std::string &name, const FunctionFile *scope);
  std::vector<mxArray *> invoke(const Callee &callee, const std::string &name,
                                std::vector<mxArray *> &in, int nargout);
  mxArray *makeHandle(const Expr &e);
  std::vector<mxArray *> callHandle(const ShellFunction &f, std::vector<mxArray *> &in,
                                    int nargout);
  std::vector<mxArray *> callAnonymous(const ShellFunction &f, std::vector<mxArray *> &in,
                                       int nargout);
  void bindParameters(const std::vector<std::string> &params, std::vector<mxArray *> &in);
  std::vector<mxArray *> callFunction(const FunctionFile &file, const FunctionDef &f,
                                      std::vector<mxArray *> &in, int nargout);
  void show(const std::string &name, const mxArray *a) const;

  using Workspace = std::map<std::string, mxArray *, std::less<>>;
  struct Slot {
    const void *at = nullptr;
    std::uint64_t generation = 0;
    Workspace::iterator variable;
  };

  Hooks hooks_;
  Workspace vars_;
  std::array<Slot, 64> slots_{};
  std::uint64_t generation_ = 1;  // changes whenever an iterator into vars_ may have
  std::vector<Subscript> subscripts_;
  int line_ = 0;
  std::string lastError_;  // the message of the last error a try caught
  std::vector<CallFrame> frames_;
  std::vector<TraceFrame> trace_;
  std::map<std::string, std::unique_ptr<FunctionFile>, std::less<>> files_;
  std::set<std::string, std::less<>> shadowChecked_;  // names served before any file
};

// Reads and parses a function file; throws mexrt::Error naming the file on a fault.
std::unique_ptr<FunctionFile> readFunctionFile(const std::filesystem::path &path);

// Frees a result that no one keeps: a temporary is reclaimed, a variable is left alone.
void discard(mxArray *a);

// An owned array (one that mclInitialize gave), freed when it goes out of scope.
struct ArrayFree {
  void operator()(mxArray *a) const { mxDestroyArray(a); }
};
using OwnedArray = std::unique_ptr<mxArray, ArrayFree>;

// The value whose store deletes: the empty double [].
bool isDeletion(const mxArray *v);

}  // namespace shell
