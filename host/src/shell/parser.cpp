// The shell's recursive-descent parser. Precedence, loosest first: || && | & comparisons
// : (+ -) (* / .* ./) unary (- + ~) (^ .^) and postfix (' .' and subscripts); binary
// operators of one level associate to the left, ^ included.
#include "parser.h"

#include <algorithm>
#include <initializer_list>

namespace shell {

namespace {

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  Block program() {
    Block b = block({});
    if (peek().kind != Tok::Eof) fail("Unexpected '" + peek().text + "'.");
    return b;
  }

 private:
  // --- tokens ---
  const Token &peek(std::size_t k = 0) const { return t_[std::min(p_ + k, t_.size() - 1)]; }
  const Token &next() {
    const Token &t = t_[p_];
    if (p_ + 1 < t_.size()) ++p_;
    return t;
  }
  bool isOp(Op op, std::size_t k = 0) const { return peek(k).kind == Tok::Op && peek(k).op == op; }
  bool isKeyword(std::string_view word) const {
    return peek().kind == Tok::Keyword && peek().text == word;
  }
  bool acceptOp(Op op) {
    if (!isOp(op)) return false;
    next();
    return true;
  }
  void expectOp(Op op) {
    if (!acceptOp(op)) {
      fail("Expected '" + std::string(opText(op)) + "' but found " + shown(peek()) + ".");
    }
  }

  static std::string shown(const Token &t) {
    switch (t.kind) {
      case Tok::Eof:
        return "the end of the input";
      case Tok::Newline:
        return "the end of the line";
      case Tok::String:
        return "a string";
      case Tok::Number:
        return "the number " + t.text;
      default:
        return "'" + t.text + "'";
    }
  }

  [[noreturn]] void fail(const std::string &message) const {
    const Token &t = peek();
    bool incomplete = t.kind == Tok::Eof && (open_ > 0 || blocks_ > 0);
    throw SyntaxError(message, t.line, t.column, incomplete);
  }

  // Counts one level of nesting for as long as it lives.
  class Nest {
   public:
    explicit Nest(Parser &p) : p_(p) {
      if (++p_.depth_ > kMaxNesting) {
        p_.fail("Nesting deeper than " + std::to_string(kMaxNesting) + " levels.");
      }
    }
    ~Nest() { --p_.depth_; }
    Nest(const Nest &) = delete;
    Nest &operator=(const Nest &) = delete;

   private:
    Parser &p_;
  };

  // --- statements ---
  bool atSeparator() const {
    return peek().kind == Tok::Newline || isOp(Op::Comma) || isOp(Op::Semicolon);
  }

  Block block(std::initializer_list<std::string_view> enders) {
    Block b;
    while (true) {
      while (atSeparator()) next();
      if (peek().kind == Tok::Eof) return b;
      if (peek().kind == Tok::Keyword &&
          std::find(enders.begin(), enders.end(), peek().text) != enders.end()) {
        return b;
      }
      b.push_back(statement());
    }
  }

  StmtPtr statement() {
    Nest nest(*this);
    int line = peek().line;
    StmtPtr s;
    if (peek().kind == Tok::Keyword) {
      s = keywordStatement();
    } else if (isOp(Op::LBracket) && isAssignmentAfterClose(p_)) {
      s = multiAssign();
    } else if (peek().kind == Tok::Name && !peek().command.empty()) {
      s = command();
    } else if (peek().kind == Tok::Name && isAssignmentTarget(p_)) {
      s = assign();
    } else {
      s = std::make_unique<Stmt>();
      s->value = expr();
    }
    s->line = line;
    if (s->kind != Stmt::Kind::Function) endStatement(*s);
    return s;
  }

  // `name word1 word2`: the call name('word1', 'word2'), and the same text read as an
  // expression for when the name is a variable; an expression that does not parse is null.
  StmtPtr command() {
    const Token &name = peek();
    auto s = std::make_unique<Stmt>();
    s->command = true;
    try {
      std::vector<Token> tokens = tokenize(name.command, false);
      for (Token &t : tokens) {
        if (t.line == 1) t.column += name.column - 1;
        t.line += name.line - 1;
      }
      Parser alone(std::move(tokens));
      alone.depth_ = depth_;
      ExprPtr e = alone.expr();
      if (alone.peek().kind == Tok::Eof) s->asExpression = std::move(e);
    } catch (const SyntaxError &) {
    }
    s->value = expr();
    return s;
  }

  // A statement ends at ",", ";" or a line end, or where a block keyword follows.
  void endStatement(Stmt &s) {
    if (isOp(Op::Semicolon)) {
      s.show = false;
      next();
      return;
    }
    if (atSeparator()) {
      next();
      return;
    }
    if (peek().kind == Tok::Eof) return;
    if (peek().kind == Tok::Keyword &&
        (peek().text == "end" || peek().text == "else" || peek().text == "elseif")) {
      return;
    }
    fail("Unexpected " + shown(peek()) + ".");
  }

  // Whether the bracket opening at token k closes and is followed by a single "=".
  bool isAssignmentAfterClose(std::size_t k) const {
    int depth = 0;
    for (std::size_t i = k; i < t_.size(); ++i) {
      const Token &t = t_[i];
      if (t.kind == Tok::Eof || t.kind == Tok::Newline) return false;
      if (t.kind != Tok::Op) continue;
      if (t.op == Op::LParen || t.op == Op::LBracket || t.op == Op::LBrace) ++depth;
      if (t.op == Op::RParen || t.op == Op::RBracket || t.op == Op::RBrace) {
        if (--depth == 0) {
          return i + 1 < t_.size() && t_[i + 1].kind == Tok::Op && t_[i + 1].op == Op::Assign;
        }
      }
    }
    return false;
  }

  // Whether the name at token k, with the subscripts and fields after it, is followed by a
  // single "=": x = ..., x(i) = ..., c{k}.a(2) = ..., s.(name) = ...
  bool isAssignmentTarget(std::size_t k) const {
    std::size_t i = k + 1;
    auto opAt = [&](std::size_t at, Op op) {
      return at < t_.size() && t_[at].kind == Tok::Op && t_[at].op == op;
    };
    auto closing = [&](std::size_t at) -> std::size_t {  // the token after the group at `at`
      int depth = 0;
      for (std::size_t j = at; j < t_.size(); ++j) {
        const Token &t = t_[j];
        if (t.kind == Tok::Eof || t.kind == Tok::Newline) return t_.size();
        if (t.kind != Tok::Op) continue;
        if (t.op == Op::LParen || t.op == Op::LBracket || t.op == Op::LBrace) ++depth;
        if ((t.op == Op::RParen || t.op == Op::RBracket || t.op == Op::RBrace) && --depth == 0)
          return j + 1;
      }
      return t_.size();
    };
    while (i < t_.size()) {
      if (opAt(i, Op::LParen) || opAt(i, Op::LBrace)) {
        i = closing(i);
      } else if (opAt(i, Op::Dot) && i + 1 < t_.size() && t_[i + 1].kind == Tok::Name) {
        i += 2;
      } else if (opAt(i, Op::Dot) && opAt(i + 1, Op::LParen)) {
        i = closing(i + 1);
      } else {
        break;
      }
    }
    return opAt(i, Op::Assign);
  }

  StmtPtr assign() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::Assign;
    Stmt::Target target;
    target.name = peek().text;
    if (isOp(Op::Assign, 1)) {
      next();
    } else {
      target.place = nameOrCall();
    }
    expectOp(Op::Assign);
    s->targets.push_back(std::move(target));
    s->value = expr();
    return s;
  }

  StmtPtr multiAssign() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::MultiAssign;
    expectOp(Op::LBracket);
    ++open_;
    while (!isOp(Op::RBracket)) {
      if (acceptOp(Op::Comma)) continue;
      Stmt::Target target;
      if (acceptOp(Op::Not)) {
        s->targets.push_back(std::move(target));
        continue;
      }
      if (peek().kind != Tok::Name)
        fail("Expected a variable name but found " + shown(peek()) + ".");
      target.name = next().text;
      s->targets.push_back(std::move(target));
    }
    --open_;
    expectOp(Op::RBracket);
    expectOp(Op::Assign);
    if (s->targets.empty()) fail("Expected at least one variable to assign to.");
    s->value = expr();
    if (s->value->kind != Expr::Kind::Call && s->value->kind != Expr::Kind::Name) {
      fail("Several results can only come from a function call.");
    }
    return s;
  }

  StmtPtr keywordStatement() {
    const std::string word = peek().text;
    if (word == "if") return ifStatement();
    if (word == "for") return forStatement();
    if (word == "while") return whileStatement();
    if (word == "function") return functionDefinition();
    if (word == "try") return tryStatement();
    auto s = std::make_unique<Stmt>();
    if (word == "break" || word == "continue" || word == "return") {
      next();
      s->kind = word == "break"      ? Stmt::Kind::Break
                : word == "continue" ? Stmt::Kind::Continue
                                     : Stmt::Kind::Return;
      return s;
    }
    fail("Unexpected '" + word + "'.");
  }

  void expectEnd(const char *what, int line) {
    if (isKeyword("end")) {
      next();
      return;
    }
    fail(std::string("Missing 'end' for the '") + what + "' of line " + std::to_string(line) + ".");
  }

  StmtPtr ifStatement() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::If;
    int line = next().line;
    ++blocks_;
    s->conditions.push_back(expr());
    s->blocks.push_back(block({"elseif", "else", "end"}));
    while (isKeyword("elseif")) {
      next();
      s->conditions.push_back(expr());
      s->blocks.push_back(block({"elseif", "else", "end"}));
    }
    if (isKeyword("else")) {
      next();
      s->blocks.push_back(block({"end"}));
    }
    expectEnd("if", line);
    --blocks_;
    return s;
  }

  StmtPtr forStatement() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::For;
    int line = next().line;
    ++blocks_;
    if (peek().kind != Tok::Name) fail("Expected a loop variable but found " + shown(peek()) + ".");
    Stmt::Target target;
    target.name = next().text;
    s->targets.push_back(std::move(target));
    expectOp(Op::Assign);
    s->value = expr();
    s->blocks.push_back(block({"end"}));
    expectEnd("for", line);
    --blocks_;
    return s;
  }

  // function name, function name(a, b), function y = name(...), function [y, z] = name(...)
  StmtPtr functionDefinition() {
    auto f = std::make_shared<FunctionDef>();
    f->line = next().line;
    if (blocks_ > 0) fail("A function cannot be defined inside a block.");
    ++blocks_;
    auto nameHere = [&](const char *what) {
      if (peek().kind != Tok::Name)
        fail(std::string("Expected ") + what + " but found " + shown(peek()) + ".");
      return next().text;
    };
    if (acceptOp(Op::LBracket)) {
      while (!acceptOp(Op::RBracket)) {
        if (acceptOp(Op::Comma)) continue;
        f->outputs.push_back(nameHere("an output name"));
      }
      expectOp(Op::Assign);
      f->name = nameHere("the function name");
    } else {
      f->name = nameHere("the function name");
      if (acceptOp(Op::Assign)) {
        f->outputs.push_back(f->name);
        f->name = nameHere("the function name");
      }
    }
    if (acceptOp(Op::LParen)) {
      while (!acceptOp(Op::RParen)) {
        if (acceptOp(Op::Comma)) continue;
        f->params.push_back(acceptOp(Op::Not) ? std::string() : nameHere("a parameter name"));
      }
    }
    f->body = block({"end", "function"});
    if (isKeyword("end")) next();
    --blocks_;
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::Function;
    s->function = std::move(f);
    return s;
  }

  // try, statements, optionally catch [name] and statements, end.
  StmtPtr tryStatement() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::Try;
    int line = next().line;
    ++blocks_;
    s->blocks.push_back(block({"catch", "end"}));
    Stmt::Target error;
    if (isKeyword("catch")) {
      int catchLine = next().line;
      // `catch err` names the error only on the catch's own line.
      if (peek().kind == Tok::Name && peek().line == catchLine) error.name = next().text;
      s->blocks.push_back(block({"end"}));
    } else {
      s->blocks.emplace_back();
    }
    s->targets.push_back(std::move(error));
    expectEnd("try", line);
    --blocks_;
    return s;
  }

  StmtPtr whileStatement() {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Kind::While;
    int line = next().line;
    ++blocks_;
    s->conditions.push_back(expr());
    s->blocks.push_back(block({"end"}));
    expectEnd("while", line);
    --blocks_;
    return s;
  }

  // --- expressions ---
  ExprPtr node(Expr::Kind kind, const Token &at) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->line = at.line;
    e->column = at.column;
    return e;
  }

  // A node over args; text names a call's function or a field.
  ExprPtr withArgs(Expr::Kind kind, const Token &at, std::string text, std::vector<ExprPtr> args) {
    ExprPtr e = node(kind, at);
    e->text = std::move(text);
    int h = 0;
    for (const auto &a : args) h = std::max(h, a->height);
    e->height = h + 1;
    if (e->height > kMaxHeight) {
      throw SyntaxError("Expression nested deeper than " + std::to_string(kMaxHeight) + " levels.",
                        at.line, at.column);
    }
    e->args = std::move(args);
    return e;
  }

  // The operator of token at over args; the text keeps its spelling for messages.
  ExprPtr operation(Expr::Kind kind, const Token &at, std::vector<ExprPtr> args) {
    ExprPtr e = withArgs(kind, at, std::string(opText(at.op)), std::move(args));
    e->op = at.op;
    return e;
  }

  ExprPtr binary(const Token &at, ExprPtr a, ExprPtr b) {
    std::vector<ExprPtr> args;
    args.push_back(std::move(a));
    args.push_back(std::move(b));
    return operation(Expr::Kind::Binary, at, std::move(args));
  }

  ExprPtr expr() {
    Nest nest(*this);
    return leftAssoc(0);
  }

  // The binary levels of operators.h from loosest to tightest, below the unary operators;
  // the range level sits between comparisons and addition and is handled on its own.
  bool atLevel(int level) const {
    return peek().kind == Tok::Op && binaryLevel(peek().op) == level;
  }

  ExprPtr operand(int level) {
    if (level + 1 == kRangeLevel) return range();
    if (level + 1 < kUnaryLevel) return leftAssoc(level + 1);
    return unary();
  }

  ExprPtr leftAssoc(int level) {
    if (level == kRangeLevel) return range();
    ExprPtr left = operand(level);
    while (atLevel(level)) {
      const Token &op = next();
      if (op.op == Op::Ldivide) {
        throw SyntaxError("The operator '" + op.text + "' is not supported.", op.line, op.column);
      }
      left = binary(op, std::move(left), operand(level));
    }
    return left;
  }

  // a:b or a:s:b; a lone ":" subscript is handled by the argument list.
  ExprPtr range() {
    ExprPtr first = leftAssoc(kRangeLevel + 1);
    if (!isOp(Op::Colon) || inArgumentColon()) return first;
    const Token &at = next();
    std::vector<ExprPtr> parts;
    parts.push_back(std::move(first));
    parts.push_back(leftAssoc(kRangeLevel + 1));
    if (isOp(Op::Colon) && !inArgumentColon()) {
      next();
      parts.push_back(leftAssoc(kRangeLevel + 1));
    }
    return withArgs(Expr::Kind::Range, at, ":", std::move(parts));
  }

  // "x(1, :)": a colon right before "," or ")" cannot start a range's end.
  bool inArgumentColon() const {
    return isOp(Op::Comma, 1) || isOp(Op::RParen, 1) || isOp(Op::RBrace, 1);
  }

  ExprPtr unary() {
    if (isOp(Op::Minus) || isOp(Op::Plus) || isOp(Op::Not)) {
      Nest nest(*this);
      const Token &op = next();
      std::vector<ExprPtr> args;
      args.push_back(unary());
      return operation(Expr::Kind::Unary, op, std::move(args));
    }
    return power();
  }

  ExprPtr power() {
    ExprPtr base = postfix();
    while (isOp(Op::Mpower) || isOp(Op::Power)) {
      const Token &op = next();
      base = binary(op, std::move(base), powerOperand());
    }
    return base;
  }

  // The exponent may carry its own sign: 2^-1.
  ExprPtr powerOperand() {
    if (isOp(Op::Minus) || isOp(Op::Plus) || isOp(Op::Not)) {
      Nest nest(*this);
      const Token &op = next();
      std::vector<ExprPtr> args;
      args.push_back(powerOperand());
      return operation(Expr::Kind::Unary, op, std::move(args));
    }
    return postfix();
  }

  ExprPtr postfix() {
    ExprPtr e = primary();
    while (isOp(Op::Ctranspose) || isOp(Op::Transpose)) {
      const Token &op = next();
      std::vector<ExprPtr> args;
      args.push_back(std::move(e));
      e = operation(Expr::Kind::Transpose, op, std::move(args));
    }
    if (isOp(Op::LParen)) fail("Only a named variable or function can be indexed or called.");
    return e;
  }

  ExprPtr primary() {
    const Token &t = peek();
    switch (t.kind) {
      case Tok::Number: {
        ExprPtr e = node(Expr::Kind::Number, next());
        e->number = t.number;
        e->imaginary = t.imaginary;
        return e;
      }
      case Tok::String: {
        ExprPtr e = node(Expr::Kind::String, next());
        e->text = t.text;
        return e;
      }
      case Tok::Name:
        return nameOrCall();
      case Tok::Keyword:
        if (t.text == "end" && subscripts_ > 0) return node(Expr::Kind::End, next());
        break;
      case Tok::Op:
        if (t.op == Op::LParen) return parenthesised();
        if (t.op == Op::LBracket) return matrix();
        if (t.op == Op::LBrace) return matrix(Expr::Kind::Cell, Op::RBrace);
        if (t.op == Op::At) return handle();
        break;
      default:
        break;
    }
    if (t.kind == Tok::Eof) fail("Expected an expression but the input ended.");
    fail("Unexpected " + shown(t) + ".");
  }

  // @name, or @(params) body: the body ends where an expression ends.
  ExprPtr handle() {
    const Token &at = next();
    if (peek().kind == Tok::Name) {
      ExprPtr e = node(Expr::Kind::Handle, at);
      e->text = next().text;
      return e;
    }
    if (!isOp(Op::LParen))
      fail("Expected a function name or '(' after '@' but found " + shown(peek()) + ".");
    next();
    auto lambda = std::make_shared<Lambda>();
    while (!acceptOp(Op::RParen)) {
      if (acceptOp(Op::Comma)) continue;
      if (peek().kind != Tok::Name)
        fail("Expected a parameter name but found " + shown(peek()) + ".");
      lambda->params.push_back(next().text);
    }
    // Inside the body `end` is no subscript of anything outside it.
    int subscripts = subscripts_;
    subscripts_ = 0;
    lambda->body = expr();
    subscripts_ = subscripts;
    ExprPtr e = node(Expr::Kind::Lambda, at);
    e->height = lambda->body->height + 1;
    e->lambda = std::move(lambda);
    return e;
  }

  ExprPtr parenthesised() {
    next();
    ++open_;
    ExprPtr e = expr();
    --open_;
    expectOp(Op::RParen);
    return e;
  }

  // A name, called or indexed, then any chain of c{...}, s.name, s.(expr) and (...) after it.
  ExprPtr nameOrCall() {
    const Token &name = next();
    ExprPtr e;
    if (!isOp(Op::LParen)) {
      e = node(Expr::Kind::Name, name);
      e->text = name.text;
    } else {
      e = withArgs(Expr::Kind::Call, name, name.text, arguments());
    }
    while (true) {
      const Token &at = peek();
      if (isOp(Op::LBrace) || (isOp(Op::LParen) && e->kind != Expr::Kind::Name)) {
        Expr::Kind kind = isOp(Op::LBrace) ? Expr::Kind::CellIndex : Expr::Kind::Index;
        std::vector<ExprPtr> args;
        args.push_back(std::move(e));
        for (ExprPtr &a : arguments(kind == Expr::Kind::CellIndex ? Op::RBrace : Op::RParen)) {
          args.push_back(std::move(a));
        }
        e = withArgs(kind, at, "", std::move(args));
      } else if (isOp(Op::Dot)) {
        next();
        std::vector<ExprPtr> args;
        args.push_back(std::move(e));
        std::string field;
        if (peek().kind == Tok::Name) {
          field = next().text;
        } else {
          args.push_back(parenthesised());
        }
        e = withArgs(Expr::Kind::Field, at, field, std::move(args));
      } else {
        return e;
      }
    }
  }

  // (a, b, ...) or, with close "}", {a, b, ...}.
  std::vector<ExprPtr> arguments(Op close = Op::RParen) {
    expectOp(close == Op::RParen ? Op::LParen : Op::LBrace);
    ++open_;
    ++subscripts_;
    std::vector<ExprPtr> args;
    if (!isOp(close)) {
      while (true) {
        if (isOp(Op::Colon) && inArgumentColon()) {
          args.push_back(node(Expr::Kind::Colon, next()));
        } else {
          args.push_back(expr());
        }
        if (!acceptOp(Op::Comma)) break;
      }
    }
    --subscripts_;
    --open_;
    expectOp(close);
    return args;
  }

  // [rows] or, as a cell array, {rows}.
  ExprPtr matrix(Expr::Kind kind = Expr::Kind::Matrix, Op close = Op::RBracket) {
    ExprPtr e = node(kind, next());
    const std::string missing = "Missing '" + std::string(opText(close)) + "'.";
    const char *what = kind == Expr::Kind::Cell ? " in a cell array." : " in a matrix.";
    ++open_;
    std::vector<ExprPtr> row;
    auto endRow = [&] {
      if (!row.empty()) e->rows.push_back(std::move(row));
      row.clear();
    };
    int h = 0;
    while (!isOp(close)) {
      if (acceptOp(Op::Comma)) continue;
      if (acceptOp(Op::Semicolon)) {
        endRow();
        continue;
      }
      if (peek().kind == Tok::Eof) fail(missing);
      row.push_back(expr());
      h = std::max(h, row.back()->height);
      if (isOp(Op::Comma) || isOp(Op::Semicolon) || isOp(close)) continue;
      if (peek().kind == Tok::Eof) fail(missing);
      fail("Unexpected " + shown(peek()) + what);
    }
    endRow();
    --open_;
    next();
    e->height = h + 1;
    return e;
  }

  std::vector<Token> t_;
  std::size_t p_ = 0;
  int depth_ = 0;       // nesting of expressions and statements
  int open_ = 0;        // brackets open
  int blocks_ = 0;      // blocks open
  int subscripts_ = 0;  // argument lists open, where `end` is a subscript
};

}  // namespace

Block parse(std::string_view text) { return Parser(tokenize(text)).program(); }

}  // namespace shell
