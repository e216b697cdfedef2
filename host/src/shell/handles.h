// Function handles of the shell: what @name and @(params) body make, and the text they
// show as.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mexrt/function_handle.h"
#include "shell/ast.h"

namespace shell {

struct FunctionFile;

// The target of a shell handle. A named handle calls the function of that name as seen
// where it was made (a local function of that file first); an anonymous one evaluates its
// body with its parameters and the variables it captured when it was made.
class ShellFunction : public mexrt::FunctionTarget {
 public:
  ShellFunction(std::string name, const FunctionFile *file);
  ShellFunction(std::shared_ptr<const Lambda> lambda, const FunctionFile *file,
                std::vector<std::pair<std::string, mxArray *>> captured);
  ~ShellFunction() override;  // frees the captured arrays
  ShellFunction(const ShellFunction &) = delete;
  ShellFunction &operator=(const ShellFunction &) = delete;

  std::string text() const override;
  const std::string &name() const { return name_; }  // empty for an anonymous function
  const Lambda *lambda() const { return lambda_.get(); }
  const FunctionFile *file() const { return file_; }
  const std::vector<std::pair<std::string, mxArray *>> &captured() const { return captured_; }

 private:
  std::string name_;
  std::shared_ptr<const Lambda> lambda_;
  const FunctionFile *file_;
  std::vector<std::pair<std::string, mxArray *>> captured_;
};

// A new handle (owned by the caller) to the function of that name, as seen from the file
// scope (nullptr: outside any file).
mxArray *newNamedHandle(std::string name, const FunctionFile *scope);

// The shell target of a handle; nullptr for any other array.
const ShellFunction *shellFunction(const mxArray *a);

// The names an anonymous body uses (variables it may capture), each once, in order of first
// use; names that are the body's own parameters are left out.
std::vector<std::string> namesUsed(const Lambda &lambda);

// An expression as text, with the parentheses its precedence needs.
std::string expressionText(const Expr &e);

}  // namespace shell
