// The shell's syntax tree: expressions and statements as the parser builds them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "operators.h"

namespace shell {

struct Expr;
struct Lambda;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum class Kind {
    Number,     // number
    String,     // text
    Name,       // text: a variable, a constant such as pi, or a function called with no arguments
    Call,       // text(args...): indexing a variable or calling a function
    End,        // `end` inside a subscript
    Colon,      // a lone `:` subscript
    Binary,     // args[0] op args[1]
    Unary,      // op (- + ~) args[0]
    Transpose,  // args[0]' (op Ctranspose, conjugating) or args[0].' (op Transpose)
    Range,      // args[0]:args[1] or args[0]:args[1]:args[2]
    Matrix,     // rows of elements
    Cell,       // {rows of elements}: a cell array
    Index,      // args[0](args[1...]): subscripts after a cell's or field's value
    CellIndex,  // args[0]{args[1...]}: a cell's contents, as a list
    Field,      // args[0].text, or args[0].(args[1]) with a name computed: a list for an array
    Handle,     // @text: a handle to the function named
    Lambda,     // @(params) body: an anonymous function
  };
  Kind kind = Kind::Number;
  std::string text;  // name, string, or an operator's spelling
  Op op = Op::None;  // Binary, Unary, Transpose: what evaluation goes by
  double number = 0;
  bool imaginary = false;  // Number: the number times sqrt(-1), as written 2i
  std::vector<ExprPtr> args;
  std::vector<std::vector<ExprPtr>> rows;
  std::shared_ptr<const Lambda> lambda;  // Lambda: shared with the handles made from it
  int line = 1;
  int column = 1;
  int height = 1;  // of the subtree, so that evaluation depth stays bounded
};

// `@(params) body`, kept alive by every handle made from it after its text is gone.
struct Lambda {
  std::vector<std::string> params;
  ExprPtr body;
};

struct Stmt;
struct FunctionDef;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Stmt {
  enum class Kind {
    Expression,   // value
    Assign,       // targets[0] = value, or targets[0](index) = value
    MultiAssign,  // [targets...] = value (a call)
    If,           // conditions[k] then blocks[k]; an else block is one more block
    For,          // for targets[0].name = value, blocks[0]
    While,        // while conditions[0], blocks[0]
    Break,
    Continue,
    Return,
    Try,  // blocks[0]; when it raises, targets[0].name (if any) holds the error and blocks[1] runs
    Function,  // a function definition: function
  };
  struct Target {
    std::string name;  // empty for a `~` placeholder
    // What is assigned to inside the variable, as the expression that reads it (x(i),
    // c{k}.a, s(2).(f)); null when the whole variable is assigned.
    ExprPtr place;
  };
  Kind kind = Kind::Expression;
  ExprPtr value;
  std::vector<Target> targets;
  std::vector<ExprPtr> conditions;
  std::vector<Block> blocks;
  bool show = true;  // false when the statement ends with `;`
  // Expression: written in command syntax (`hold on`, `x -1`), value being the call with the
  // words as text. asExpression is the same text read as an expression, which runs instead
  // when the name is a variable; null when that text is no expression.
  bool command = false;
  ExprPtr asExpression;
  int line = 1;
  std::shared_ptr<const FunctionDef> function;
};

// `function [outputs...] = name(params...)` and its body; the body's closing `end` is
// optional, as one function ends where the next begins or the text ends.
struct FunctionDef {
  std::string name;
  std::vector<std::string> params;
  std::vector<std::string> outputs;
  Block body;
  int line = 1;
};

}  // namespace shell
