// The shell's operators and punctuation: one enumeration from the lexer through the parser to
// the evaluator, with each one's text (for messages and a function handle's text) and, for a
// binary operator, how tightly it binds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shell {

// Named after the runtime operation each arithmetic operator maps onto (* is mclMtimes,
// .* mclTimes).
enum class Op : std::uint8_t {
  None,
  Plus,        // +
  Minus,       // -
  Mtimes,      // *
  Mrdivide,    // /
  Mldivide,    // \ (left division)
  Mpower,      // ^
  Times,       // .*
  Rdivide,     // ./
  Ldivide,     // .\ (element-wise left division)
  Power,       // .^
  Ctranspose,  // '
  Transpose,   // .'
  Eq,          // ==
  Ne,          // ~= (also written !=)
  Lt,          // <
  Le,          // <=
  Gt,          // >
  Ge,          // >=
  And,         // &
  Or,          // |
  AndAnd,      // &&
  OrOr,        // ||
  Not,         // ~ (also written !)
  Colon,       // :
  Assign,      // =
  LParen,      // (
  RParen,      // )
  LBracket,    // [
  RBracket,    // ]
  LBrace,      // {
  RBrace,      // }
  Comma,       // ,
  Semicolon,   // ;
  Dot,         // . before a field name
  At,          // @
};

// Binding levels, loosest first. Binary operators of one level associate to the left; the
// range, the unary operators and the postfix ones have levels of their own between them.
inline constexpr int kRangeLevel = 5;
inline constexpr int kUnaryLevel = 8;
inline constexpr int kPowerLevel = 9;
inline constexpr int kPostfixLevel = 11;  // transposes, subscripts, and anything atomic

struct OpInfo {
  Op op;
  std::string_view text;
  int level;  // as a binary operator, or -1
};

inline constexpr std::array<OpInfo, 36> kOperators = {{
    {Op::None, "", -1},
    {Op::Plus, "+", 6},
    {Op::Minus, "-", 6},
    {Op::Mtimes, "*", 7},
    {Op::Mrdivide, "/", 7},
    {Op::Mldivide, "\\", 7},
    {Op::Mpower, "^", 9},
    {Op::Times, ".*", 7},
    {Op::Rdivide, "./", 7},
    {Op::Ldivide, ".\\", 7},
    {Op::Power, ".^", 9},
    {Op::Ctranspose, "'", -1},
    {Op::Transpose, ".'", -1},
    {Op::Eq, "==", 4},
    {Op::Ne, "~=", 4},
    {Op::Lt, "<", 4},
    {Op::Le, "<=", 4},
    {Op::Gt, ">", 4},
    {Op::Ge, ">=", 4},
    {Op::And, "&", 3},
    {Op::Or, "|", 2},
    {Op::AndAnd, "&&", 1},
    {Op::OrOr, "||", 0},
    {Op::Not, "~", -1},
    {Op::Colon, ":", kRangeLevel},
    {Op::Assign, "=", -1},
    {Op::LParen, "(", -1},
    {Op::RParen, ")", -1},
    {Op::LBracket, "[", -1},
    {Op::RBracket, "]", -1},
    {Op::LBrace, "{", -1},
    {Op::RBrace, "}", -1},
    {Op::Comma, ",", -1},
    {Op::Semicolon, ";", -1},
    {Op::Dot, ".", -1},
    {Op::At, "@", -1},
}};

constexpr bool operatorsInOrder() {
  for (std::size_t k = 0; k < kOperators.size(); ++k) {
    if (static_cast<std::size_t>(kOperators[k].op) != k) return false;
  }
  return true;
}
static_assert(operatorsInOrder(), "kOperators lists the operators in the order of Op");

constexpr std::string_view opText(Op op) { return kOperators[static_cast<std::size_t>(op)].text; }
constexpr int binaryLevel(Op op) { return kOperators[static_cast<std::size_t>(op)].level; }

// The operator a text spells, or Op::None.
constexpr Op opOf(std::string_view text) {
  for (const OpInfo &o : kOperators) {
    if (o.op != Op::None && o.text == text) return o.op;
  }
  return Op::None;
}

}  // namespace shell
