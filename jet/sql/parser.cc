// The parser of Jet SQL (see parser.h).
#include "jet/sql/parser.h"

#include <cmath>
#include <cstdlib>
#include <map>

#include "jet/sql/regional.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/error.h"

namespace jet::sql {

namespace {

constexpr int kMaxDepth = 200;

// Words that end an expression or a name list; never taken as an alias.
bool reservedWord(const std::string& upper) {
  static const char* words[] = {"SELECT", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "ON", "INNER",
                                "LEFT", "RIGHT", "JOIN", "OUTER", "AND", "OR", "NOT", "AS", "BY", "IN", "IS",
                                "LIKE", "BETWEEN", "INTO", "VALUES", "SET", "ASC", "DESC", "XOR", "EQV", "IMP",
                                "MOD", "NULL", "DISTINCT", "TOP", "ALL", "EXISTS", "CROSS", "FULL", nullptr};
  for (int i = 0; words[i]; ++i)
    if (upper == words[i]) return true;
  return false;
}

std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

class Parser {
 public:
  Parser(std::string_view sql, const LexOptions& options) : sql_(sql), toks_(tokenize(sql, options)) {}

  Statement parse() {
    Statement st;
    const Token& t = peek();
    std::string w = t.kind == TokenKind::Name ? upperAscii(t.text) : "";
    if (t.kind == TokenKind::Symbol && t.text == "(") {
      clause_ = "SELECT";
      st.kind = Statement::Kind::Select;
      st.select = parseSelect();
    } else if (w == "SELECT") {
      clause_ = "SELECT";
      st.kind = Statement::Kind::Select;
      st.select = parseSelect();
    } else if (w == "INSERT") {
      parseInsert(st);
    } else if (w == "UPDATE") {
      parseUpdate(st);
    } else if (w == "DELETE") {
      parseDelete(st);
    } else if (w == "CREATE") {
      parseCreate(st);
    } else if (w == "ALTER") {
      parseAlter(st);
    } else if (w == "DROP") {
      parseDrop(st);
    } else {
      throw Error("Instrução SQL inválida; esperava-se 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT' ou 'UPDATE'.");
    }
    if (isSymbol(";")) next();
    if (peek().kind != TokenKind::End) {
      if (st.kind == Statement::Kind::Select || st.kind == Statement::Kind::Update ||
          st.kind == Statement::Kind::Delete)
        syntaxError();
      throw Error("Caracteres encontrados após o final da instrução SQL.");
    }
    st.parameterCount = static_cast<int>(params_.size()) + positional_;
    return st;
  }

 private:
  // --- token helpers ---------------------------------------------------------
  const Token& peek(size_t k = 0) const { return toks_[std::min(pos_ + k, toks_.size() - 1)]; }
  const Token& next() {
    const Token& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  bool isSymbol(const char* s, size_t k = 0) const {
    const Token& t = peek(k);
    return t.kind == TokenKind::Symbol && t.text == s;
  }
  bool isWord(const char* w, size_t k = 0) const {
    const Token& t = peek(k);
    return t.kind == TokenKind::Name && upperAscii(t.text) == w;
  }
  bool acceptWord(const char* w) {
    if (!isWord(w)) return false;
    next();
    return true;
  }
  bool acceptSymbol(const char* s) {
    if (!isSymbol(s)) return false;
    next();
    return true;
  }
  void expectWord(const char* w) {
    if (!acceptWord(w)) syntaxError();
  }
  void expectSymbol(const char* s) {
    if (!acceptSymbol(s)) syntaxError();
  }

  [[noreturn]] void syntaxError() {
    if (clause_ == "WHERE" || clause_ == "FROM" || clause_ == "ORDER BY" || clause_ == "GROUP BY" ||
        clause_ == "HAVING" || clause_ == "JOIN")
      throw Error(clause_ == "JOIN" ? "Erro de sintaxe na operação JOIN."
                                    : "Erro de sintaxe na cláusula " + clause_ + ".");
    if (clause_ == "SELECT") {
      const Token& t = peek();
      std::string near = t.kind == TokenKind::End ? std::string(sql_.substr(exprStart_, 60))
                                                  : std::string(sql_.substr(exprStart_, std::min<size_t>(60, t.end - exprStart_)));
      throw Error("Erro de sintaxe (operador faltando) na expressão de consulta '" + near + "'.");
    }
    throw Error("Erro de sintaxe na instrução " + clause_ + ".");
  }

  // A name: bare (not a reserved word) or in brackets.
  std::string parseName() {
    const Token& t = peek();
    if (t.kind == TokenKind::QuotedName) return next().text;
    if (t.kind == TokenKind::Name && !reservedWord(upperAscii(t.text))) return next().text;
    syntaxError();
  }
  bool atName() const {
    const Token& t = peek();
    return t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Name && !reservedWord(upperAscii(t.text)));
  }

  std::string textOf(size_t fromTok) const {
    size_t a = toks_[fromTok].pos;
    size_t b = pos_ > fromTok ? toks_[pos_ - 1].end : a;
    return std::string(sql_.substr(a, b - a));
  }

  struct DepthGuard {
    Parser& p;
    explicit DepthGuard(Parser& pp) : p(pp) {
      if (++p.depth_ > kMaxDepth) throw Error("Consulta muito complexa.");
    }
    ~DepthGuard() { --p.depth_; }
  };

  // --- SELECT ----------------------------------------------------------------
  std::unique_ptr<SelectStmt> parseSelect() {
    DepthGuard g(*this);
    auto stmt = std::make_unique<SelectStmt>();
    std::string saved = clause_;
    while (true) {
      if (isSymbol("(") && isWord("SELECT", 1)) {
        // A parenthesised block of a union.
        next();
        auto inner = parseSelect();
        expectSymbol(")");
        for (auto& c : inner->cores) stmt->cores.push_back(std::move(c));
        for (bool b : inner->unionAll) stmt->unionAll.push_back(b);
      } else {
        stmt->cores.push_back(parseCore());
      }
      if (acceptWord("UNION")) {
        bool all = acceptWord("ALL");
        stmt->unionAll.push_back(all);
        clause_ = "SELECT";
        continue;
      }
      break;
    }
    if (isWord("ORDER")) {
      next();
      clause_ = "ORDER BY";
      expectWord("BY");
      do {
        OrderItem o;
        o.expr = parseExpr();
        if (acceptWord("DESC")) o.descending = true;
        else acceptWord("ASC");
        stmt->orderBy.push_back(std::move(o));
      } while (acceptSymbol(","));
    }
    clause_ = saved;
    return stmt;
  }

  SelectCore parseCore() {
    SelectCore core;
    clause_ = "SELECT";
    expectWord("SELECT");
    while (true) {
      if (acceptWord("DISTINCT")) core.distinct = true;
      else if (acceptWord("DISTINCTROW")) core.distinctRow = true;
      else if (acceptWord("ALL")) {}
      else if (isWord("TOP")) {
        next();
        const Token& t = peek();
        if (t.kind != TokenKind::Number || !t.isInteger) syntaxError();
        core.top = std::strtoll(next().text.c_str(), nullptr, 10);
        if (acceptWord("PERCENT")) core.topPercent = true;
      } else break;
    }
    do {
      SelectItem item;
      exprStart_ = peek().pos;
      if (isSymbol("*")) {
        next();
        item.star = true;
      } else if ((peek().kind == TokenKind::Name || peek().kind == TokenKind::QuotedName) && isSymbol(".", 1) &&
                 isSymbol("*", 2)) {
        item.star = true;
        item.starQualifier = next().text;
        next();
        next();
      } else {
        item.expr = parseExpr();
        if (acceptWord("AS")) {
          item.alias = parseAliasName();
        } else if (atName()) {
          item.alias = parseName();
        }
      }
      core.items.push_back(std::move(item));
    } while (acceptSymbol(","));
    if (acceptWord("FROM")) {
      clause_ = "FROM";
      do {
        core.from.push_back(parseTableRef());
      } while (acceptSymbol(","));
    }
    if (acceptWord("WHERE")) {
      clause_ = "WHERE";
      core.where = parseExpr();
    }
    if (isWord("GROUP")) {
      next();
      clause_ = "GROUP BY";
      expectWord("BY");
      do core.groupBy.push_back(parseExpr());
      while (acceptSymbol(","));
    }
    if (acceptWord("HAVING")) {
      clause_ = "HAVING";
      core.having = parseExpr();
    }
    return core;
  }

  std::string parseAliasName() {
    const Token& t = peek();
    if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::Name) return next().text;
    if (t.kind == TokenKind::Text) return next().text;
    syntaxError();
  }

  std::unique_ptr<TableRef> parseTablePrimary() {
    DepthGuard g(*this);
    if (acceptSymbol("(")) {
      if (isWord("SELECT")) {
        auto ref = std::make_unique<TableRef>();
        ref->kind = TableRef::Kind::Derived;
        std::string saved = clause_;
        ref->derived = parseSelect();
        clause_ = saved;
        expectSymbol(")");
        acceptWord("AS");
        if (atName()) ref->alias = parseName();
        return ref;
      }
      auto inner = parseJoinChain();
      expectSymbol(")");
      return inner;
    }
    auto ref = std::make_unique<TableRef>();
    ref->kind = TableRef::Kind::Table;
    ref->name = parseName();
    if (acceptWord("AS")) ref->alias = parseName();
    else if (atName()) ref->alias = parseName();
    return ref;
  }

  std::unique_ptr<TableRef> parseJoinChain() {
    auto left = parseTablePrimary();
    while (true) {
      JoinType type;
      if (acceptWord("INNER")) type = JoinType::Inner;
      else if (acceptWord("LEFT")) {
        acceptWord("OUTER");
        type = JoinType::Left;
      } else if (acceptWord("RIGHT")) {
        acceptWord("OUTER");
        type = JoinType::Right;
      } else if (isWord("JOIN")) {
        type = JoinType::Inner;
      } else break;
      std::string saved = clause_;
      clause_ = "JOIN";
      expectWord("JOIN");
      auto right = parseTablePrimary();
      expectWord("ON");
      auto j = std::make_unique<TableRef>();
      j->kind = TableRef::Kind::Join;
      j->joinType = type;
      j->left = std::move(left);
      j->right = std::move(right);
      j->on = parseExpr();
      clause_ = saved;
      left = std::move(j);
    }
    return left;
  }

  std::unique_ptr<TableRef> parseTableRef() { return parseJoinChain(); }

  // --- expressions ---------------------------------------------------------------
  ExprPtr makeBinary(const std::string& op, ExprPtr a, ExprPtr b, size_t fromTok) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Binary;
    e->op = op;
    e->args.push_back(std::move(a));
    e->args.push_back(std::move(b));
    e->text = textOf(fromTok);
    return e;
  }

  ExprPtr parseExpr() {
    DepthGuard g(*this);
    return parseImp();
  }

  ExprPtr parseImp() {
    size_t start = pos_;
    auto a = parseEqv();
    while (isWord("IMP")) {
      next();
      a = makeBinary("IMP", std::move(a), parseEqv(), start);
    }
    return a;
  }
  ExprPtr parseEqv() {
    size_t start = pos_;
    auto a = parseXor();
    while (isWord("EQV")) {
      next();
      a = makeBinary("EQV", std::move(a), parseXor(), start);
    }
    return a;
  }
  ExprPtr parseXor() {
    size_t start = pos_;
    auto a = parseOr();
    while (isWord("XOR")) {
      next();
      a = makeBinary("XOR", std::move(a), parseOr(), start);
    }
    return a;
  }
  ExprPtr parseOr() {
    size_t start = pos_;
    auto a = parseAnd();
    while (isWord("OR")) {
      next();
      a = makeBinary("OR", std::move(a), parseAnd(), start);
    }
    return a;
  }
  ExprPtr parseAnd() {
    size_t start = pos_;
    auto a = parseNot();
    while (isWord("AND")) {
      next();
      a = makeBinary("AND", std::move(a), parseNot(), start);
    }
    return a;
  }
  ExprPtr parseNot() {
    size_t start = pos_;
    if (isWord("NOT")) {
      DepthGuard g(*this);
      next();
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::Unary;
      e->op = "NOT";
      e->args.push_back(parseNot());
      e->text = textOf(start);
      return e;
    }
    return parseComparison();
  }

  ExprPtr parseComparison() {
    size_t start = pos_;
    auto a = parseConcat();
    while (true) {
      const Token& t = peek();
      if (t.kind == TokenKind::Symbol && (t.text == "=" || t.text == "<>" || t.text == "<" || t.text == ">" ||
                                          t.text == "<=" || t.text == ">=")) {
        std::string op = next().text;
        a = makeBinary(op, std::move(a), parseConcat(), start);
        continue;
      }
      bool neg = false;
      if (isWord("NOT") && (isWord("IN", 1) || isWord("BETWEEN", 1) || isWord("LIKE", 1))) {
        next();
        neg = true;
      }
      if (isWord("IS")) {
        next();
        bool isNot = acceptWord("NOT");
        expectWord("NULL");
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::IsNull;
        e->negated = isNot;
        e->args.push_back(std::move(a));
        e->text = textOf(start);
        a = std::move(e);
        continue;
      }
      if (isWord("LIKE")) {
        next();
        a = makeBinary("LIKE", std::move(a), parseConcat(), start);
        a->negated = neg;
        continue;
      }
      if (isWord("BETWEEN")) {
        next();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Between;
        e->negated = neg;
        e->args.push_back(std::move(a));
        e->args.push_back(parseConcat());
        expectWord("AND");
        e->args.push_back(parseConcat());
        e->text = textOf(start);
        a = std::move(e);
        continue;
      }
      if (isWord("IN")) {
        next();
        expectSymbol("(");
        auto e = std::make_unique<Expr>();
        e->negated = neg;
        e->args.push_back(std::move(a));
        if (isWord("SELECT")) {
          e->kind = ExprKind::InSubquery;
          std::string saved = clause_;
          e->subquery = parseSelect();
          clause_ = saved;
        } else {
          e->kind = ExprKind::InList;
          do e->args.push_back(parseExpr());
          while (acceptSymbol(","));
        }
        expectSymbol(")");
        e->text = textOf(start);
        a = std::move(e);
        continue;
      }
      if (neg) syntaxError();
      break;
    }
    return a;
  }

  ExprPtr parseConcat() {
    size_t start = pos_;
    auto a = parseAdditive();
    while (isSymbol("&")) {
      next();
      a = makeBinary("&", std::move(a), parseAdditive(), start);
    }
    return a;
  }
  ExprPtr parseAdditive() {
    size_t start = pos_;
    auto a = parseMod();
    while (isSymbol("+") || isSymbol("-")) {
      std::string op = next().text;
      a = makeBinary(op, std::move(a), parseMod(), start);
    }
    return a;
  }
  ExprPtr parseMod() {
    size_t start = pos_;
    auto a = parseIntDiv();
    while (isWord("MOD")) {
      next();
      a = makeBinary("MOD", std::move(a), parseIntDiv(), start);
    }
    return a;
  }
  ExprPtr parseIntDiv() {
    size_t start = pos_;
    auto a = parseMul();
    while (isSymbol("\\")) {
      next();
      a = makeBinary("\\", std::move(a), parseMul(), start);
    }
    return a;
  }
  ExprPtr parseMul() {
    size_t start = pos_;
    auto a = parseUnary();
    while (isSymbol("*") || isSymbol("/")) {
      std::string op = next().text;
      a = makeBinary(op, std::move(a), parseUnary(), start);
    }
    return a;
  }
  ExprPtr parseUnary() {
    size_t start = pos_;
    if (isSymbol("-") || isSymbol("+")) {
      DepthGuard g(*this);
      std::string op = next().text;
      auto operand = parseUnary();
      if (op == "-" && operand->kind == ExprKind::Literal && isNumberLike(operand->value)) {
        operand->value = negate(operand->value);
        operand->text = textOf(start);
        return operand;
      }
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::Unary;
      e->op = op;
      e->args.push_back(std::move(operand));
      e->text = textOf(start);
      return e;
    }
    return parsePower();
  }
  ExprPtr parsePower() {
    size_t start = pos_;
    auto a = parsePrimary();
    while (isSymbol("^")) {
      next();
      a = makeBinary("^", std::move(a), parsePrimary(), start);
    }
    return a;
  }

  ExprPtr literal(Value v, size_t start) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Literal;
    e->value = std::move(v);
    e->text = textOf(start);
    return e;
  }

  ExprPtr parsePrimary() {
    DepthGuard g(*this);
    size_t start = pos_;
    const Token& t = peek();
    switch (t.kind) {
      case TokenKind::Number: {
        std::string s = next().text;
        if (t.isInteger) {
          errno = 0;
          long long v = std::strtoll(s.c_str(), nullptr, 10);
          if (errno == 0 && v >= INT32_MIN && v <= INT32_MAX) return literal(Value(static_cast<int32_t>(v)), start);
        }
        return literal(Value(std::strtod(s.c_str(), nullptr)), start);
      }
      case TokenKind::Text:
        return literal(Value::text(next().text), start);
      case TokenKind::Date: {
        std::string s = next().text;
        auto d = parseDateLiteral(s);
        if (!d) throw Error("Erro de sintaxe na data na expressão de consulta '#" + s + "#'.");
        return literal(Value::date(*d), start);
      }
      case TokenKind::Param: {
        std::string name = next().text;
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Param;
        if (name == "?") {
          e->paramIndex = static_cast<int>(params_.size()) + positional_++;
        } else {
          std::string key = upperAscii(name);
          auto it = params_.find(key);
          if (it == params_.end()) it = params_.emplace(key, static_cast<int>(params_.size()) + positional_).first;
          e->paramIndex = it->second;
        }
        e->name = name;
        e->text = textOf(start);
        return e;
      }
      case TokenKind::Symbol:
        if (t.text == "(") {
          next();
          if (isWord("SELECT")) {
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::Subquery;
            std::string saved = clause_;
            e->subquery = parseSelect();
            clause_ = saved;
            expectSymbol(")");
            e->text = textOf(start);
            return e;
          }
          auto inner = parseExpr();
          expectSymbol(")");
          inner->text = textOf(start);
          return inner;
        }
        syntaxError();
      case TokenKind::Name:
      case TokenKind::QuotedName:
        break;
      case TokenKind::End:
        syntaxError();
    }
    bool bracketed = t.kind == TokenKind::QuotedName;
    std::string word = next().text;
    std::string upper = upperAscii(word);
    if (!bracketed) {
      if (upper == "TRUE") return literal(Value(true), start);
      if (upper == "FALSE") return literal(Value(false), start);
      if (upper == "NULL") return literal(Value(), start);
      if (upper == "EXISTS") {
        expectSymbol("(");
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Exists;
        std::string saved = clause_;
        if (!isWord("SELECT")) syntaxError();
        e->subquery = parseSelect();
        clause_ = saved;
        expectSymbol(")");
        e->text = textOf(start);
        return e;
      }
      if (reservedWord(upper)) {
        --pos_;
        syntaxError();
      }
      if (isSymbol("(")) {
        next();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Call;
        e->name = upper;
        if (isSymbol("*")) {
          next();
          e->star = true;
        } else if (!isSymbol(")")) {
          acceptWord("DISTINCT") ? (void)(e->negated = true) : (void)0;
          do e->args.push_back(parseExpr());
          while (acceptSymbol(","));
        }
        expectSymbol(")");
        e->text = textOf(start);
        return e;
      }
      if (upper == "NOW" || upper == "DATE" || upper == "TIME") {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Call;
        e->name = upper;
        e->text = textOf(start);
        // A bare Now/Date/Time is the function unless it is a qualified name.
        if (!isSymbol(".") && !isSymbol("!")) return e;
        --pos_;
        next();
      }
    }
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Column;
    if (isSymbol(".") || isSymbol("!")) {
      next();
      e->qualifier = word;
      const Token& n2 = peek();
      if (n2.kind != TokenKind::Name && n2.kind != TokenKind::QuotedName) syntaxError();
      e->name = next().text;
    } else {
      e->name = word;
    }
    e->text = textOf(start);
    return e;
  }

  // --- INSERT / UPDATE / DELETE ----------------------------------------------------
  void parseInsert(Statement& st) {
    clause_ = "INSERT INTO";
    next();
    expectWord("INTO");
    st.kind = Statement::Kind::Insert;
    st.table = parseName();
    if (isSymbol("(") && !isWord("SELECT", 1)) {
      next();
      do st.columns.push_back(parseName());
      while (acceptSymbol(","));
      expectSymbol(")");
    }
    if (acceptWord("VALUES")) {
      do {
        expectSymbol("(");
        std::vector<ExprPtr> row;
        do row.push_back(parseExpr());
        while (acceptSymbol(","));
        expectSymbol(")");
        st.values.push_back(std::move(row));
      } while (acceptSymbol(","));
    } else if (isWord("SELECT") || isSymbol("(")) {
      st.select = parseSelect();
      clause_ = "INSERT INTO";
    } else {
      syntaxError();
    }
  }

  void parseUpdate(Statement& st) {
    clause_ = "UPDATE";
    next();
    st.kind = Statement::Kind::Update;
    st.table = parseName();
    expectWord("SET");
    do {
      std::string col = parseName();
      if (acceptSymbol(".")) col = parseName();  // Table.column
      expectSymbol("=");
      st.sets.emplace_back(col, parseExpr());
    } while (acceptSymbol(","));
    if (acceptWord("WHERE")) {
      clause_ = "WHERE";
      st.where = parseExpr();
    }
  }

  void parseDelete(Statement& st) {
    clause_ = "DELETE";
    next();
    st.kind = Statement::Kind::Delete;
    if (acceptSymbol("*")) {
    } else if (atName() && isSymbol(".", 1) && isSymbol("*", 2)) {
      next();
      next();
      next();
    }
    expectWord("FROM");
    st.table = parseName();
    if (acceptWord("WHERE")) {
      clause_ = "WHERE";
      st.where = parseExpr();
    }
  }

  // --- DDL ----------------------------------------------------------------------------
  ColumnDefAst parseColumnDef() {
    ColumnDefAst c;
    c.name = parseName();
    const Token& t = peek();
    if (t.kind != TokenKind::Name) syntaxError();
    c.typeName = upperAscii(next().text);
    // Two-word type names.
    if ((c.typeName == "DOUBLE" && acceptWord("PRECISION")) ||
        (c.typeName == "CHARACTER" && acceptWord("VARYING")) ||
        (c.typeName == "LONG" && (isWord("TEXT") || isWord("BINARY") || isWord("VARCHAR")))) {
      if (c.typeName == "LONG") c.typeName = "LONG" + upperAscii(next().text);
    }
    if (acceptSymbol("(")) {
      const Token& n = peek();
      if (n.kind != TokenKind::Number || !n.isInteger) syntaxError();
      long v = std::strtol(next().text.c_str(), nullptr, 10);
      if (v < 0 || v > 65535) syntaxError();
      c.size = static_cast<unsigned>(v);
      if (acceptSymbol(",")) {
        if (peek().kind != TokenKind::Number) syntaxError();
        next();
      }
      expectSymbol(")");
    }
    while (true) {
      if (isWord("NOT") && isWord("NULL", 1)) {
        next();
        next();
        c.notNull = true;
      } else if (acceptWord("NULL")) {
      } else if (isWord("PRIMARY")) {
        next();
        expectWord("KEY");
        c.primaryKey = true;
      } else if (acceptWord("UNIQUE")) {
        c.unique = true;
      } else if (isWord("CONSTRAINT")) {
        next();
        parseName();
        if (isWord("PRIMARY")) {
          next();
          expectWord("KEY");
          c.primaryKey = true;
        } else if (acceptWord("UNIQUE")) {
          c.unique = true;
        } else {
          syntaxError();
        }
      } else if (acceptWord("WITH")) {
        if (!acceptWord("COMPRESSION") && !acceptWord("COMP")) syntaxError();
      } else if (acceptWord("DEFAULT")) {
        parseExpr();
      } else break;
    }
    return c;
  }

  std::vector<std::string> parseNameList() {
    std::vector<std::string> out;
    expectSymbol("(");
    do {
      out.push_back(parseName());
      if (!acceptWord("ASC")) acceptWord("DESC");
    } while (acceptSymbol(","));
    expectSymbol(")");
    return out;
  }

  bool parseConstraint(ConstraintAst& k) {
    if (acceptWord("CONSTRAINT")) k.name = parseName();
    if (isWord("PRIMARY")) {
      next();
      expectWord("KEY");
      k.kind = ConstraintAst::Kind::PrimaryKey;
    } else if (acceptWord("UNIQUE")) {
      k.kind = ConstraintAst::Kind::Unique;
    } else if (isWord("FOREIGN")) {
      next();
      expectWord("KEY");
      k.kind = ConstraintAst::Kind::ForeignKey;
      k.columns = parseNameList();
      expectWord("REFERENCES");
      parseName();
      if (isSymbol("(")) parseNameList();
      return true;
    } else {
      return false;
    }
    k.columns = parseNameList();
    return true;
  }

  void parseCreate(Statement& st) {
    next();
    if (acceptWord("TABLE")) {
      clause_ = "CREATE TABLE";
      st.kind = Statement::Kind::CreateTable;
      st.table = parseName();
      expectSymbol("(");
      do {
        if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("UNIQUE") || isWord("FOREIGN")) {
          ConstraintAst k;
          if (!parseConstraint(k)) syntaxError();
          st.constraints.push_back(std::move(k));
        } else {
          st.columnDefs.push_back(parseColumnDef());
        }
      } while (acceptSymbol(","));
      expectSymbol(")");
      return;
    }
    clause_ = "CREATE INDEX";
    if (acceptWord("UNIQUE")) st.uniqueIndex = true;
    if (!acceptWord("INDEX")) {
      clause_ = "CREATE TABLE";
      syntaxError();
    }
    st.kind = Statement::Kind::CreateIndex;
    st.indexName = parseName();
    expectWord("ON");
    st.table = parseName();
    expectSymbol("(");
    do {
      std::string col = parseName();
      bool asc = true;
      if (acceptWord("DESC")) asc = false;
      else acceptWord("ASC");
      st.indexColumns.emplace_back(col, asc);
    } while (acceptSymbol(","));
    expectSymbol(")");
    if (acceptWord("WITH")) {
      do {
        if (acceptWord("PRIMARY")) st.primaryIndex = true;
        else if (acceptWord("DISALLOW")) expectWord("NULL");
        else if (acceptWord("IGNORE")) expectWord("NULL");
        else syntaxError();
      } while (true && (isWord("PRIMARY") || isWord("DISALLOW") || isWord("IGNORE")));
    }
  }

  void parseAlter(Statement& st) {
    clause_ = "ALTER TABLE";
    next();
    expectWord("TABLE");
    st.table = parseName();
    if (acceptWord("ADD")) {
      if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("UNIQUE") || isWord("FOREIGN")) {
        st.kind = Statement::Kind::AlterAddConstraint;
        ConstraintAst k;
        if (!parseConstraint(k)) syntaxError();
        st.constraints.push_back(std::move(k));
        return;
      }
      acceptWord("COLUMN");
      st.kind = Statement::Kind::AlterAddColumn;
      st.columnDefs.push_back(parseColumnDef());
      return;
    }
    if (acceptWord("DROP")) {
      acceptWord("COLUMN");
      st.kind = Statement::Kind::AlterDropColumn;
      st.column = parseName();
      return;
    }
    syntaxError();
  }

  void parseDrop(Statement& st) {
    next();
    if (acceptWord("TABLE")) {
      clause_ = "DROP TABLE";
      st.kind = Statement::Kind::DropTable;
      st.table = parseName();
      return;
    }
    if (acceptWord("INDEX")) {
      clause_ = "DROP INDEX";
      st.kind = Statement::Kind::DropIndex;
      st.indexName = parseName();
      expectWord("ON");
      st.table = parseName();
      return;
    }
    clause_ = "DROP TABLE";
    syntaxError();
  }

  std::string_view sql_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string clause_ = "SELECT";
  size_t exprStart_ = 0;
  std::map<std::string, int> params_;
  int positional_ = 0;
};

}  // namespace

Statement parseStatement(std::string_view sql, const LexOptions& options) {
  Parser p(sql, options);
  return p.parse();
}

}  // namespace jet::sql
