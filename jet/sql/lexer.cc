// The lexer of Jet SQL (rules in lexer.h).
#include "jet/sql/lexer.h"

#include <cctype>

#include "jet/storage/error.h"

namespace jet::sql {

namespace {

bool nameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool nameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80 || c == '$'; }

std::string excerpt(std::string_view sql, size_t from) {
  std::string s(sql.substr(from, 40));
  return s;
}

}  // namespace

std::vector<Token> tokenize(std::string_view sql, const LexOptions& options) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = sql.size();
  while (true) {
    while (i < n && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n' || sql[i] == '\f' ||
                     sql[i] == '\v'))
      ++i;
    Token t;
    t.pos = i;
    if (i >= n) {
      t.kind = TokenKind::End;
      t.end = i;
      out.push_back(std::move(t));
      return out;
    }
    unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c == '"' || c == '\'') {
      char q = static_cast<char>(c);
      size_t j = i + 1;
      std::string s;
      bool closed = false;
      while (j < n) {
        if (sql[j] == q) {
          if (j + 1 < n && sql[j + 1] == q) {
            s += q;
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        s += sql[j++];
      }
      if (!closed)
        throw Error("Erro de sintaxe na cadeia de caracteres na expressão de consulta '" + excerpt(sql, i) + "'.");
      t.kind = TokenKind::Text;
      t.text = std::move(s);
      i = j;
    } else if (c == '#') {
      size_t j = sql.find('#', i + 1);
      if (j == std::string_view::npos)
        throw Error("Erro de sintaxe na data na expressão de consulta '" + excerpt(sql, i) + "'.");
      t.kind = TokenKind::Date;
      t.text = std::string(sql.substr(i + 1, j - i - 1));
      i = j + 1;
    } else if (c == '[') {
      size_t j = sql.find(']', i + 1);
      if (j == std::string_view::npos)
        throw Error("Nome inválido entre colchetes: '" + excerpt(sql, i) + "'.");
      t.kind = TokenKind::QuotedName;
      t.text = std::string(sql.substr(i + 1, j - i - 1));
      if (t.text.empty()) throw Error("Nome de campo inválido: '[]'.");
      i = j + 1;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])) &&
                                   (out.empty() || (out.back().kind != TokenKind::Name &&
                                                    out.back().kind != TokenKind::QuotedName &&
                                                    !(out.back().kind == TokenKind::Symbol &&
                                                      out.back().text == ")"))))) {
      size_t j = i;
      bool integer = true;
      while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
      if (j < n && sql[j] == '.' && !(j + 1 < n && nameStart(static_cast<unsigned char>(sql[j + 1])) &&
                                      sql[j + 1] != 'e' && sql[j + 1] != 'E')) {
        integer = false;
        ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
      }
      if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(sql[k]))) {
          integer = false;
          j = k;
          while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
        }
      }
      t.kind = TokenKind::Number;
      t.text = std::string(sql.substr(i, j - i));
      t.isInteger = integer;
      i = j;
    } else if (nameStart(c)) {
      size_t j = i;
      while (j < n && nameChar(static_cast<unsigned char>(sql[j]))) ++j;
      t.kind = TokenKind::Name;
      t.text = std::string(sql.substr(i, j - i));
      i = j;
    } else if (c == ':' && options.parameters && i + 1 < n && nameStart(static_cast<unsigned char>(sql[i + 1]))) {
      size_t j = i + 1;
      while (j < n && nameChar(static_cast<unsigned char>(sql[j]))) ++j;
      t.kind = TokenKind::Param;
      t.text = std::string(sql.substr(i + 1, j - i - 1));
      i = j;
    } else if (c == '?' && options.parameters) {
      t.kind = TokenKind::Param;
      t.text = "?";
      ++i;
    } else {
      static const char* two[] = {"<>", "<=", ">=", "!=", nullptr};
      t.kind = TokenKind::Symbol;
      bool matched = false;
      for (int k = 0; two[k]; ++k) {
        if (sql.substr(i, 2) == two[k]) {
          t.text = std::string(sql.substr(i, 2));
          i += 2;
          matched = true;
          break;
        }
      }
      if (!matched) {
        static const std::string_view single = "=<>+-*/\\^&(),.;!";
        if (single.find(static_cast<char>(c)) == std::string_view::npos)
          throw Error("Caractere inválido na instrução SQL: '" + std::string(1, static_cast<char>(c)) + "'.");
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      }
      if (t.text == "!=") t.text = "<>";
    }
    t.end = i;
    out.push_back(std::move(t));
  }
}

}  // namespace jet::sql
