// The shell's lexer and parser on malformed and extreme text: each a clear syntax error
// with its place, never a crash; and the places that the tokens carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "shell/lexer.h"
#include "shell/parser.h"

namespace {

std::string repeated(const std::string &s, int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out += s;
  return out;
}

// The syntax error's message, or "" when the text parses.
std::string syntaxError(const std::string &text, int *line = nullptr, int *column = nullptr) {
  try {
    shell::parse(text);
  } catch (const shell::SyntaxError &e) {
    if (line) *line = e.line;
    if (column) *column = e.column;
    return e.what();
  }
  return "";
}

TEST(ShellParser, MalformedStatementsGiveClearErrors) {
  const struct {
    std::string text;
    const char *message;
  } cases[] = {
      {"x = (1 + 2", "Expected ')' but found the end of the input."},
      {"x = 1 + 2)", "Unexpected ')'."},
      {"x = [1 2", "Missing ']'."},
      {"x = [1 2)", "Unexpected ')' in a matrix."},
      {"x = 1 +", "Expected an expression but the input ended."},
      {"x = * 2", "Unexpected '*'."},
      {"x = 1 2", "Unexpected the number 2."},
      {"= 3", "Unexpected '='."},
      {"x = 'abc", "Unterminated string."},
      {"disp('it''s)", "Unterminated string."},
      {"x = 3 $ 4", "Unexpected character '$'."},
      {"x = 1ix", "Unexpected character 'i' after a number."},
      {"x = 12abc", "Unexpected character 'a' after a number."},
      {"x = 1 .\\ 2", "The operator '.\\' is not supported."},
      {"if 1, disp(1)", "Missing 'end' for the 'if' of line 1."},
      {"for = 3", "Expected a loop variable but found '='."},
      {"end", "Unexpected 'end'."},
      {"else", "Unexpected 'else'."},
      {"[a, 1] = size(1)", "Expected a variable name but found the number 1."},
      {"[a, b] = 1 + 2", "Several results can only come from a function call."},
      {"(1)(2)", "Only a named variable or function can be indexed or called."},
      {"x = 1:", "Expected an expression but the input ended."},
      {repeated("(", 10000) + "1" + repeated(")", 10000), "Nesting deeper than 200 levels."},
      {repeated("[", 10000) + "1" + repeated("]", 10000), "Nesting deeper than 200 levels."},
      {"x = " + repeated("-", 10000) + "1", "Nesting deeper than 200 levels."},
      {repeated("if 1\n", 10000) + repeated("end\n", 10000), "Nesting deeper than 200 levels."},
      {"x = 1" + repeated(" + 1", 10000), "Expression nested deeper than 2000 levels."},
      {std::string("x = \x01"), "Unexpected character '\\x01'."},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(syntaxError(c.text), c.message) << c.text.substr(0, 40);
  }
}

// Each limit holds at its bound and is a clear error one step beyond. Nesting counts every
// level the parser enters: the statement, its expression, each bracket, unary operator and
// block; an expression's height counts its operators; a line its bytes.
TEST(ShellParser, LimitsHoldAtTheirBoundAndFailJustBeyond) {
  const std::string nesting = "Nesting deeper than 200 levels.";
  const std::string height = "Expression nested deeper than 2000 levels.";
  const std::string line = "Line longer than 1048576 characters.";
  const std::string longLine(shell::kMaxLineLength - 4, '1');
  const struct {
    const char *what;
    std::string text;
    std::string message;  // "" when the text parses
  } cases[] = {
      {"198 brackets", "x = " + repeated("(", 198) + "1" + repeated(")", 198), ""},
      {"199 brackets", "x = " + repeated("(", 199) + "1" + repeated(")", 199), nesting},
      {"198 matrices", "x = " + repeated("[", 198) + "1" + repeated("]", 198), ""},
      {"199 matrices", "x = " + repeated("[", 199) + "1" + repeated("]", 199), nesting},
      {"199 blocks", repeated("if 1\n", 199) + repeated("end\n", 199), ""},
      {"200 blocks", repeated("if 1\n", 200) + repeated("end\n", 200), nesting},
      {"1999 operators", "x = 1" + repeated(" + 1", 1999), ""},
      {"2000 operators", "x = 1" + repeated(" + 1", 2000), height},
      {"a line of the longest length", "x = " + longLine, ""},
      {"a line one byte longer", "x = 1" + longLine, line},
      {"the longest line after others", "y = 2;\nx = " + longLine + "\nz = 3;", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(syntaxError(c.text), c.message) << c.what;
  }
  int at = 0, column = 0;
  syntaxError("y = 2;\nx = 1" + longLine + "\n", &at, &column);
  EXPECT_EQ(at, 2) << "the long line's number";
  EXPECT_EQ(column, 1048577) << "the first byte beyond the limit";
}

TEST(ShellParser, ErrorsCarryTheirLineAndColumn) {
  const struct {
    const char *text;
    int line, column;
  } cases[] = {
      {"x = 1;\ny = (2 + ;", 2, 10},
      {"x = 1;\n\n  z = 'open", 3, 7},
      {"a = [1 2\n3 4)", 2, 4},
      {"x = 1 % comment ( [\ny = 2 +* 3", 2, 8},
  };
  for (const auto &c : cases) {
    int line = 0, column = 0;
    EXPECT_NE(syntaxError(c.text, &line, &column), "") << c.text;
    EXPECT_EQ(line, c.line) << c.text;
    EXPECT_EQ(column, c.column) << c.text;
  }
}

TEST(ShellParser, UnfinishedTextIsMarkedIncomplete) {
  const struct {
    const char *text;
    bool incomplete;
  } cases[] = {
      {"for k = 1:3", true}, {"x = [1 2", true}, {"if 1, if 2", true}, {"f(1,", true},
      {"x = 1 +", false},    {"x = 'ab", false}, {"x = (1))", false},  {"while 1\n x = 2", true},
  };
  for (const auto &c : cases) {
    try {
      shell::parse(c.text);
      ADD_FAILURE() << c.text << ": parsed";
    } catch (const shell::SyntaxError &e) {
      EXPECT_EQ(e.incomplete, c.incomplete) << c.text;
    }
  }
}

TEST(ShellParser, ExtremeButValidText) {
  const char *cases[] = {
      "x = 1e999999",                         // beyond the double range: Inf
      "x = 0.000000000000000000000001e-999",  // below it: 0
      "x = [1, 2, 3,]",
      "x = 1;;;,,, y = 2",
      "% only a comment",
      "",
      "x = [\n]",
  };
  for (const char *c : cases) EXPECT_EQ(syntaxError(c), "") << c;
  std::string longNumber = "x = " + repeated("9", 100000);
  EXPECT_EQ(syntaxError(longNumber), "");
  std::string wideRow = "x = [" + repeated("1 ", 100000) + "]";
  EXPECT_EQ(syntaxError(wideRow), "");
  std::string nested = repeated("(", 150) + "1" + repeated(")", 150);
  EXPECT_EQ(syntaxError(nested), "");
}

TEST(ShellParser, QuoteIsTransposeOrString) {
  const struct {
    const char *text;
    shell::Expr::Kind kind;
  } cases[] = {
      {"x'", shell::Expr::Kind::Transpose},     {"'x'", shell::Expr::Kind::String},
      {"[1 2]'", shell::Expr::Kind::Transpose}, {"x''", shell::Expr::Kind::Transpose},
      {"(x)'", shell::Expr::Kind::Transpose},
  };
  for (const auto &c : cases) {
    shell::Block b = shell::parse(c.text);
    ASSERT_EQ(b.size(), 1u) << c.text;
    EXPECT_EQ(b[0]->value->kind, c.kind) << c.text;
  }
  shell::Block b = shell::parse("[x 'y']");
  ASSERT_EQ(b[0]->value->rows.size(), 1u);
  EXPECT_EQ(b[0]->value->rows[0].size(), 2u) << "a spaced quote in brackets starts a string";
  shell::Block plain = shell::parse("x.'");
  EXPECT_EQ(plain[0]->value->text, ".'") << "the plain transpose keeps its operator";
  EXPECT_EQ(shell::parse("x'")[0]->value->text, "'");
}

TEST(ShellParser, ImaginaryLiterals) {
  const struct {
    const char *text;
    double number;
    bool imaginary;
  } cases[] = {
      {"2i", 2, true},      {"2j", 2, true},       {"1.5i", 1.5, true}, {".5j", 0.5, true},
      {"1e3i", 1000, true}, {"1E-2j", 0.01, true}, {"7", 7, false},
  };
  for (const auto &c : cases) {
    shell::Block b = shell::parse(c.text);
    ASSERT_EQ(b.size(), 1u) << c.text;
    const shell::Expr &e = *b[0]->value;
    EXPECT_EQ(e.kind, shell::Expr::Kind::Number) << c.text;
    EXPECT_EQ(e.number, c.number) << c.text;
    EXPECT_EQ(e.imaginary, c.imaginary) << c.text;
  }
  // In a matrix an imaginary literal is one element; a name after a number is still an error.
  shell::Block row = shell::parse("[1 -2i 3i']");
  EXPECT_EQ(row[0]->value->rows[0].size(), 3u);
  EXPECT_EQ(syntaxError("x = 2in"), "Unexpected character 'i' after a number.");
}

// A name at the start of a statement, a blank and a word make a call with the words as
// text; an assignment, a call or an operator between blanks stays an expression. A command
// whose text also reads as an expression keeps that reading for when its name is a variable.
TEST(ShellParser, CommandSyntax) {
  const struct {
    const char *text;
    const char *call;  // the name and the text arguments, or "" when not a command
    bool show;
    bool readsAsExpression;  // the command's text parses as an expression too
  } cases[] = {
      {"save out.mat a b", "save out.mat a b", true, false},
      {"save 'my file.mat' x;", "save my file.mat x", false, false},
      {"load data.mat % a comment", "load data.mat", true, false},
      {"format long, x = 1", "format long", true, false},
      {"x = 1; clear x", "clear x", true, false},
      {"help mfcc", "help mfcc", true, false},
      {"hold on", "hold on", true, false},
      {"grid on", "grid on", true, false},
      {"axis tight", "axis tight", true, false},
      {"colormap gray;", "colormap gray", false, false},
      {"format long g", "format long g", true, false},
      {"disp hello", "disp hello", true, false},
      {"close all", "close all", true, false},
      {"title hello", "title hello", true, false},
      {"x = 2, disp hello", "disp hello", true, false},
      {"if 1, grid on, end", "grid on", true, false},
      {"x -1", "x -1", true, true},
      {"disp -1", "disp -1", true, true},
      {"a ==b", "a ==b", true, true},
      {"x .^2;", "x .^2", false, true},
      {"format = 3; format", "", true, false},
      {"load(f)", "", true, false},
      {"who + 1", "", true, false},
      {"a - b", "", true, false},
      {"a(1)", "", true, false},
      {"a (1)", "", true, false},
      {"a ...\n + 1", "", true, false},
  };
  for (const auto &c : cases) {
    shell::Block b = shell::parse(c.text);
    if (b[0]->kind == shell::Stmt::Kind::If) b = std::move(b[0]->blocks[0]);
    // The first bare expression is the statement in question.
    const shell::Stmt &s = **std::find_if(b.begin(), b.end(), [](const auto &st) {
      return st->kind == shell::Stmt::Kind::Expression;
    });
    std::string call;
    if (s.kind == shell::Stmt::Kind::Expression && s.value->kind == shell::Expr::Kind::Call) {
      call = s.value->text;
      for (const auto &a : s.value->args) {
        if (a->kind != shell::Expr::Kind::String) call = "";
        if (!call.empty()) call += " " + a->text;
      }
    }
    EXPECT_EQ(call, c.call) << c.text;
    EXPECT_EQ(s.command, !call.empty()) << c.text;
    EXPECT_EQ(s.asExpression != nullptr, c.readsAsExpression) << c.text;
    EXPECT_EQ(s.show, c.show) << c.text;
  }
}

// @name and @(params) body; the body ends where an expression ends, and `end` in it is no
// subscript of an outer argument list.
TEST(ShellParser, FunctionHandles) {
  shell::Block b = shell::parse("f = @sin; g = @(x, y) x + y; h = @() 1");
  EXPECT_EQ(b[0]->value->kind, shell::Expr::Kind::Handle);
  EXPECT_EQ(b[0]->value->text, "sin");
  ASSERT_EQ(b[1]->value->kind, shell::Expr::Kind::Lambda);
  EXPECT_EQ(b[1]->value->lambda->params, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(b[1]->value->lambda->body->kind, shell::Expr::Kind::Binary);
  EXPECT_TRUE(b[2]->value->lambda->params.empty());
  shell::Block call = shell::parse("bsxfun(@(a, b) a - b, x, y)");
  EXPECT_EQ(call[0]->value->args.size(), 3u) << "the body stops at the comma";
  EXPECT_EQ(syntaxError("f = @(x) end"), "Unexpected 'end'.");
  EXPECT_EQ(syntaxError("f = @3"),
            "Expected a function name or '(' after '@' but found the number 3.");
  EXPECT_EQ(syntaxError("f = @(1) 2"), "Expected a parameter name but found the number 1.");
}

}  // namespace
