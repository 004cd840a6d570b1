// The lexer of Jet SQL: text to tokens.
//
// Lexical rules: keywords and names are case-insensitive; names may be put
// in square brackets (then they may hold blanks and any character but "]");
// text literals are enclosed in double or single quotes, the enclosing quote
// doubled inside; date literals are enclosed in "#"; numbers are decimal
// with an optional fraction and exponent. Parameters are ":Name" (and "?")
// when parameter reading is on; with it off a colon outside a literal is a
// syntax error, and a colon inside a literal is always just a character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

enum class TokenKind { End, Name, QuotedName, Number, Text, Date, Param, Symbol };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;   // name (as written), literal content, symbol, parameter name
  size_t pos = 0;     // offset in the statement
  size_t end = 0;     // one past the last character
  bool isInteger = false;  // Number without fraction or exponent
};

struct LexOptions {
  bool parameters = true;
};

// Splits `sql` into tokens, ending with an End token. Throws jet::Error with
// Jet's messages for an unterminated literal, an unterminated bracket, a
// stray character.
std::vector<Token> tokenize(std::string_view sql, const LexOptions& options = {});

}  // namespace jet::sql
