// The shell's recursive-descent parser: statements and expressions with the host
// language's precedence, from the lexer's tokens to the syntax tree of ast.h.
#pragma once

#include <string_view>

#include "ast.h"
#include "lexer.h"

namespace shell {

// How deep brackets, unary operators and blocks may nest, and how tall an expression may
// grow, before the parser refuses the text; this keeps the parser's and the evaluator's
// recursion far from the end of the stack.
inline constexpr int kMaxNesting = 200;
inline constexpr int kMaxHeight = 2000;

// Parses the whole text. Throws SyntaxError with the line and column of the fault.
Block parse(std::string_view text);

}  // namespace shell
