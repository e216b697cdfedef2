// The shell's lexer: numbers, strings, names, keywords and operators, with the two rules
// that depend on context: a quote is a transpose or a string, and inside square brackets
// spaces and line ends separate elements and rows.
#include "lexer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

namespace shell {

namespace {

constexpr std::array<std::string_view, 12> kKeywords = {"if",       "elseif", "else",  "end",
                                                        "for",      "while",  "break", "continue",
                                                        "function", "return", "try",   "catch"};

constexpr std::array<std::string_view, 12> kTwoCharOps = {"==", "~=", "<=", ">=", "&&",  "||",
                                                          ".*", "./", ".^", ".'", ".\\", "!="};

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

class Lexer {
 public:
  Lexer(std::string_view text, bool commands) : s_(text), commands_(commands) {}

  std::vector<Token> run() {
    while (true) {
      bool spaced = skipBlanks();
      if (pos_ >= s_.size()) break;
      char c = s_[pos_];
      if (c == '\n') {
        lineEnd();
        continue;
      }
      if (inBrackets() && spaced && endsElement() && startsElement()) push(Tok::Op, ",");
      if (c == '\'' && endsElement() && !(spaced && inBrackets())) {
        push(Tok::Op, "'");
        advance(1);
      } else if (c == '\'' || c == '"') {
        string(c);
      } else if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
        number();
      } else if (isNameStart(c)) {
        name();
      } else {
        op();
      }
    }
    Token eof;
    eof.kind = Tok::Eof;
    eof.line = line_;
    eof.column = column();
    out_.push_back(eof);
    return std::move(out_);
  }

 private:
  char peek(std::size_t k) const { return pos_ + k < s_.size() ? s_[pos_ + k] : '\0'; }
  int column() const { return static_cast<int>(pos_ - lineStart_) + 1; }
  void advance(std::size_t n) { pos_ += n; }
  bool inBrackets() const { return !brackets_.empty() && brackets_.back() != '('; }

  [[noreturn]] void fail(const std::string &message, bool incomplete = false) const {
    throw SyntaxError(message, line_, column(), incomplete);
  }

  // Skips spaces, tabs, comments and "..." continuations; true when anything was skipped.
  bool skipBlanks() {
    bool skipped = false;
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == ' ' || c == '\t' || c == '\r') {
        advance(1);
      } else if (c == '%') {
        while (pos_ < s_.size() && s_[pos_] != '\n') advance(1);
      } else if (c == '.' && peek(1) == '.' && peek(2) == '.') {
        while (pos_ < s_.size() && s_[pos_] != '\n') advance(1);
        if (pos_ < s_.size()) newLine();
      } else if (c == '\n' && !brackets_.empty() && brackets_.back() == '(') {
        newLine();  // a line end inside parentheses is only a space
      } else {
        break;
      }
      skipped = true;
    }
    return skipped;
  }

  void newLine() {
    advance(1);
    ++line_;
    lineStart_ = pos_;
  }

  // A line end ends a statement, or a row inside square brackets.
  void lineEnd() {
    if (inBrackets()) {
      push(Tok::Op, ";");
    } else {
      push(Tok::Newline, "\n");
    }
    newLine();
  }

  bool endsElement() const {
    if (out_.empty()) return false;
    const Token &t = out_.back();
    switch (t.kind) {
      case Tok::Number:
      case Tok::String:
      case Tok::Name:
        return true;
      case Tok::Keyword:
        return t.text == "end";
      case Tok::Op:
        return t.op == Op::RParen || t.op == Op::RBracket || t.op == Op::RBrace ||
               t.op == Op::Ctranspose || t.op == Op::Transpose;
      default:
        return false;
    }
  }

  // Whether the text at pos_ begins a new element of a matrix row ("[1 -2]" has two).
  bool startsElement() const {
    char c = s_[pos_], n = peek(1);
    if (isNameChar(c) || c == '\'' || c == '"' || c == '(' || c == '[' || c == '{' || c == '@') {
      return true;
    }
    if (c == '.' && isDigit(n)) return true;
    if (c == '~') return n != '=';
    if (c == '+' || c == '-') return n != ' ' && n != '\t' && n != '=' && n != '\n';
    return false;
  }

  void push(Tok kind, std::string text, double number = 0) {
    Token t;
    t.kind = kind;
    t.text = std::move(text);
    t.number = number;
    if (kind == Tok::Op) t.op = opOf(t.text);
    t.line = line_;
    t.column = tokenColumn_ ? tokenColumn_ : column();
    tokenColumn_ = 0;
    out_.push_back(std::move(t));
  }

  void string(char quote) {
    tokenColumn_ = column();
    int startColumn = tokenColumn_;
    advance(1);
    std::string text;
    while (true) {
      if (pos_ >= s_.size() || s_[pos_] == '\n') {
        throw SyntaxError("Unterminated string.", line_, startColumn);
      }
      char c = s_[pos_];
      if (c == quote) {
        if (peek(1) != quote) break;
        advance(1);  // a doubled quote stands for one
      }
      text.push_back(c);
      advance(1);
    }
    advance(1);
    push(Tok::String, std::move(text));
  }

  void number() {
    tokenColumn_ = column();
    std::size_t start = pos_;
    while (isDigit(peek(0))) advance(1);
    // "1.*x" is 1 .* x: a dot that begins an element-wise operator is not the number's.
    bool dotOperator = peek(0) == '.' && (peek(1) == '*' || peek(1) == '/' || peek(1) == '^' ||
                                          peek(1) == '\\' || peek(1) == '\'');
    if (peek(0) == '.' && !dotOperator) {
      advance(1);
      while (isDigit(peek(0))) advance(1);
    }
    if ((peek(0) == 'e' || peek(0) == 'E') &&
        (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
      advance(2);
      while (isDigit(peek(0))) advance(1);
    }
    std::string literal(s_.substr(start, pos_ - start));
    bool imaginary = (peek(0) == 'i' || peek(0) == 'j') && !isNameChar(peek(1));
    if (imaginary) advance(1);
    if (isNameChar(peek(0)) || peek(0) == '.') {
      fail("Unexpected character '" + std::string(1, peek(0)) + "' after a number.");
    }
    // strtod gives Inf for a literal beyond the double range and 0 below it.
    double v = std::strtod(literal.c_str(), nullptr);
    push(Tok::Number, std::string(s_.substr(start, pos_ - start)), v);
    out_.back().imaginary = imaginary;
  }

  void name() {
    tokenColumn_ = column();
    std::size_t start = pos_;
    while (isNameChar(peek(0))) advance(1);
    std::string word(s_.substr(start, pos_ - start));
    bool keyword = false;
    for (auto k : kKeywords) keyword = keyword || k == word;
    bool command = commands_ && !keyword && atStatementStart() && commandWordsFollow();
    push(keyword ? Tok::Keyword : Tok::Name, std::move(word));
    if (!command) return;
    std::size_t nameAt = out_.size() - 1;
    commandWords();
    out_[nameAt].command = std::string(s_.substr(start, pos_ - start));
  }

  bool atStatementStart() const {
    if (out_.empty()) return true;
    const Token &t = out_.back();
    return t.kind == Tok::Newline ||
           (brackets_.empty() && t.kind == Tok::Op && (t.op == Op::Semicolon || t.op == Op::Comma));
  }

  // After a command name: a blank, then a word that does not begin an assignment, a call
  // or an operator between blanks (`hold = 1`, `load(f)` and `who + 1` stay expressions).
  bool commandWordsFollow() const {
    if (peek(0) != ' ' && peek(0) != '\t') return false;
    std::size_t q = pos_;
    while (q < s_.size() && (s_[q] == ' ' || s_[q] == '\t')) ++q;
    char c = q < s_.size() ? s_[q] : '\n';
    char after = q + 1 < s_.size() ? s_[q + 1] : '\n';
    if (std::string_view("\r\n;,%(").find(c) != std::string_view::npos) return false;
    if (s_.substr(q, 3) == "...") return false;  // the statement goes on in the next line
    if (c == '=' && after != '=') return false;
    bool spacedAfter = after == ' ' || after == '\t';
    return !(std::string_view("+-*/\\^<>&|=~").find(c) != std::string_view::npos && spacedAfter);
  }

  // The rest of the statement as text arguments: words between blanks, or quoted with
  // '...'; they end at a line end, ";", "," or a comment.
  void commandWords() {
    push(Tok::Op, "(");
    bool first = true;
    while (true) {
      while (peek(0) == ' ' || peek(0) == '\t' || peek(0) == '\r') advance(1);
      char c = peek(0);
      if (c == '\0' || c == '\n' || c == ';' || c == ',' || c == '%') break;
      if (!first) push(Tok::Op, ",");
      first = false;
      if (c == '\'') {
        string('\'');
        continue;
      }
      tokenColumn_ = column();
      std::size_t start = pos_;
      while (std::string_view(" \t\r\n;,%").find(peek(0)) == std::string_view::npos &&
             peek(0) != '\0') {
        advance(1);
      }
      push(Tok::String, std::string(s_.substr(start, pos_ - start)));
    }
    push(Tok::Op, ")");
  }

  void op() {
    tokenColumn_ = column();
    std::string two(s_.substr(pos_, 2));
    for (auto k : kTwoCharOps) {
      if (two == k) {
        advance(2);
        push(Tok::Op, two == "!=" ? "~=" : two);
        return;
      }
    }
    char c = s_[pos_];
    // A dot before a name or a parenthesis reaches into a struct: s.a, s.(name).
    bool field = c == '.' && (isNameStart(peek(1)) || peek(1) == '(');
    if (!field && std::string_view("+-*/\\^<>&|~:=()[]{},;!@").find(c) == std::string_view::npos) {
      unsigned char u = static_cast<unsigned char>(c);
      std::string shown = std::isprint(u) ? std::string(1, c) : "\\x" + hex(u);
      fail("Unexpected character '" + shown + "'.");
    }
    if (c == '(' || c == '[' || c == '{') brackets_.push_back(c);
    if ((c == ')' || c == ']' || c == '}') && !brackets_.empty()) brackets_.pop_back();
    advance(1);
    push(Tok::Op, std::string(1, c == '!' ? '~' : c));
  }

  static std::string hex(unsigned char u) {
    const char *digits = "0123456789abcdef";
    return {digits[u >> 4], digits[u & 15]};
  }

  std::string_view s_;
  bool commands_;
  std::size_t pos_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;
  int tokenColumn_ = 0;
  std::vector<char> brackets_;
  std::vector<Token> out_;
};

// Lines are bounded before any token is made, so that a column always fits its int.
void checkLineLengths(std::string_view text) {
  int line = 1;
  for (std::size_t start = 0; start <= text.size(); ++line) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    if (end - start > kMaxLineLength) {
      throw SyntaxError("Line longer than " + std::to_string(kMaxLineLength) + " characters.", line,
                        static_cast<int>(kMaxLineLength) + 1);
    }
    start = end + 1;
  }
}

}  // namespace

std::vector<Token> tokenize(std::string_view text, bool commands) {
  checkLineLengths(text);
  return Lexer(text, commands).run();
}

}  // namespace shell
