#include "ui/edit_valor.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <cstdlib>

#include "catalogue/catalogo.h"
#include "jet/sql/regional.h"
#include "ui/texto_qt.h"

namespace kor::ui {

namespace {

// The plain text of an amount: digits, a comma and two decimals.
std::string Simples(int64_t valor) {
  const int64_t centavos = (valor >= 0 ? valor + 50 : valor - 50) / 100;
  const int64_t abs = std::llabs(centavos);
  std::string s;
  if (centavos < 0) s += '-';
  s += std::to_string(abs / 100);
  s += ',';
  const int64_t resto = abs % 100;
  s += static_cast<char>('0' + resto / 10);
  s += static_cast<char>('0' + resto % 10);
  return s;
}

}  // namespace

TEditValor::TEditValor(QWidget* parent) : QLineEdit(parent) {
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,13}(,[0-9]{0,2})?")), this));
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Mostra();
}

std::optional<int64_t> TEditValor::Le() const {
  const std::string t = Win1252(text());
  if (t.empty() || t == "-") return std::nullopt;
  std::optional<int64_t> v = jet::sql::parseCurrency(t);
  if (!v || *v == 0) return std::nullopt;
  return v;
}

std::optional<int64_t> TEditValor::Valor() const { return hasFocus() ? Le() : valor_; }

void TEditValor::setValor(std::optional<int64_t> valor) {
  valor_ = valor && *valor != 0 ? valor : std::nullopt;
  Mostra();
}

std::string TEditValor::Texto() const {
  const std::optional<int64_t> v = Valor();
  return v ? Simples(*v) : "";
}

void TEditValor::Mostra() {
  QFont f = font();
  if (hasFocus()) {
    f.setBold(false);
    setFont(f);
    setText(valor_ ? Qt1252(Simples(*valor_)) : QString());
    return;
  }
  f.setBold(true);
  setFont(f);
  if (!valor_) {
    setText(QString());
  } else if (*valor_ < 0) {
    setText(QStringLiteral("- ") + Qt1252(catalogo::FormataValor(-*valor_).substr(3)));
  } else {
    setText(Qt1252(catalogo::FormataValor(*valor_)));
  }
}

bool TEditValor::event(QEvent* e) {
  // Esc belongs to the box: the window's shortcut must not see it.
  if (e->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
    e->accept();
    return true;
  }
  return QLineEdit::event(e);
}

void TEditValor::focusInEvent(QFocusEvent* e) {
  aoEntrar_ = valor_;
  QLineEdit::focusInEvent(e);
  Mostra();
}

void TEditValor::focusOutEvent(QFocusEvent* e) {
  valor_ = Le();
  QLineEdit::focusOutEvent(e);
  Mostra();
}

void TEditValor::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    valor_ = aoEntrar_;
    Mostra();
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

}  // namespace kor::ui
