// The shell's evaluator: runs statements of the syntax tree, mapping every operator and
// function straight onto the runtime's operations, and keeps the workspace variables.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "mexrt/records.h"

namespace shell {

// What the shell reaches outside itself: functions served by modules or libraries, and
// the renderer that print and saveas write figures with.
struct Hooks {
  // The gateway entry serving a function name, or nullptr.
  std::function<MexGatewayFn(std::string_view name)> findFunction;
  // Writes figure `handle` to a file whose extension names the format, at a resolution in
  // dots per inch (96: a pixel of the figure is a pixel of the image).
  std::function<void(double handle, const std::string &file, double resolution)> renderFigure;
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

 private:
  enum class Flow { Normal, Break, Continue };
  struct Subscript {
    const mxArray *array;  // the array being indexed (nullptr: not yet defined)
    std::size_t position, count;
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
  mxArray *binary(const Expr &e);
  mxArray *unary(const Expr &e);
  mxArray *shortCircuit(const Expr &e);
  mxArray *matrix(const Expr &e);
  mxArray *end() const;
  std::vector<mxArray *> subscripts(const std::vector<ExprPtr> &args, const mxArray *array);
  mxArray *index(mxArray *array, std::vector<mxArray *> subs, const Expr &at);
  std::vector<mxArray *> call(const std::string &name, const std::vector<ExprPtr> &args,
                              int nargout);
  void show(const std::string &name, const mxArray *a) const;

  Hooks hooks_;
  std::map<std::string, mxArray *, std::less<>> vars_;
  std::vector<Subscript> subscripts_;
  int line_ = 0;
};

// Frees a result that no one keeps: a temporary is reclaimed, a variable is left alone.
void discard(mxArray *a);

}  // namespace shell
