// The shell's lexer: turns statement text into tokens with their line and column. Inside
// square brackets a space between two elements becomes a comma and a line end a semicolon.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "operators.h"

namespace shell {

// The longest line the shell reads, in bytes; a longer one is a syntax error.
inline constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;

enum class Tok {
  Number,
  String,
  Name,
  Keyword,  // if elseif else end for while break continue function return try catch
  Op,       // + - * / .* ./ ^ .^ ' .' == ~= < <= > >= & | && || ~ : = ( ) [ ] { } , ; . @ (and \)
  Newline,
  Eof,
};

struct Token {
  Tok kind = Tok::Eof;
  std::string text;  // the operator, the name or keyword, or a string's characters
  Op op = Op::None;  // an operator token's operator
  double number = 0;
  bool imaginary = false;  // a number written with i or j after it: 2i is 2 times sqrt(-1)
  // A name that begins command syntax (`hold on`): the statement's text from the name to the
  // end of its words, read again as an expression when the name turns out to be a variable
  // (`x -1`). Empty for any other token.
  std::string command;
  int line = 1;
  int column = 1;
};

// A syntax error at a place of the text. `incomplete` is set when the text ended inside an
// open bracket, string or block, so that the prompt can ask for more lines.
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(const std::string &message, int line, int column, bool incomplete = false)
      : std::runtime_error(message), line(line), column(column), incomplete(incomplete) {}
  int line;
  int column;
  bool incomplete;
};

// All tokens of the text, ending with Eof. Throws SyntaxError. A name at the start of a
// statement followed by a blank and a word takes command syntax: `name word1 word2` is
// name('word1', 'word2'), unless `commands` is false.
std::vector<Token> tokenize(std::string_view text, bool commands = true);

}  // namespace shell
