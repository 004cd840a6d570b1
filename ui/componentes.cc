#include "ui/componentes.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "catalogue/catalogo.h"
#include "ui/texto_qt.h"

namespace kor::ui {

TEditNome::TEditNome(QWidget* parent, int maximo) : QLineEdit(parent) {
  setMaxLength(maximo);
  setFont(FontePixels(QStringLiteral("Tahoma"), 12, true));
  // Upper case as it is typed or pasted.
  connect(this, &QLineEdit::textEdited, this, [this](const QString& t) {
    const QString maiusculo = t.toUpper();
    if (maiusculo == t) return;
    const int cursor = cursorPosition();
    setText(maiusculo.left(maxLength()));
    setCursorPosition(cursor);
  });
}

void TEditNome::keyPressEvent(QKeyEvent* e) {
  const QString t = e->text();
  if (t.size() == 1 && t[0].unicode() < 128 && catalogo::TeclaIgnorada(static_cast<char>(t[0].unicode()))) {
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void TEditNome::focusOutEvent(QFocusEvent* e) {
  if (!text().isEmpty()) setText(QString(text()).remove(QLatin1Char('-')));
  QLineEdit::focusOutEvent(e);
}

QTabWidget* PaginaControle(QWidget* pai, const char* nome, int x, int y, int w, int h) {
  auto* t = Coloca(new QTabWidget(pai), nome, x, y, w, h);
  t->setFont(FontePixels(QStringLiteral("Tahoma"), 11, true));
  return t;
}

QWidget* Pagina(QTabWidget* controle, const char* nome, const QString& titulo) {
  auto* p = new QWidget();
  p->setObjectName(QString::fromLatin1(nome));
  p->setAutoFillBackground(true);
  QPalette pal = p->palette();
  pal.setColor(QPalette::Window, QColor(235, 235, 235));
  p->setPalette(pal);
  controle->addTab(p, titulo);
  return p;
}

QLabel* Rotulo(QWidget* pai, const char* nome, const QString& texto, int x, int y) {
  auto* l = new QLabel(texto, pai);
  l->setObjectName(QString::fromLatin1(nome));
  l->setFont(FontePixels(QStringLiteral("Tahoma"), 11, true));
  l->setStyleSheet(QStringLiteral("color: rgb(0, 44, 200);"));
  l->move(x, y);
  l->adjustSize();
  return l;
}

QPushButton* Botao(QWidget* pai, const char* nome, const QString& texto, int x, int y, int w, int h) {
  auto* b = Coloca(new QPushButton(texto, pai), nome, x, y, w, h);
  b->setFont(FontePixels(QStringLiteral("Tahoma"), 11, true));
  b->setCursor(Qt::PointingHandCursor);
  return b;
}

QComboBox* Lista(QWidget* pai, const char* nome, int x, int y, int w) {
  auto* c = Coloca(new QComboBox(pai), nome, x, y, w, 22);
  c->setFont(FontePixels(QStringLiteral("Tahoma"), 11, true));
  return c;
}

QLineEdit* Mostrador(QWidget* pai, const char* nome, int x, int y, int w, int maximo) {
  auto* e = Coloca(new QLineEdit(pai), nome, x, y, w, 21);
  e->setMaxLength(maximo);
  e->setReadOnly(true);
  e->setEnabled(false);
  e->setFrame(false);
  e->setFont(FontePixels(QStringLiteral("Tahoma"), 12, true));
  QPalette p = e->palette();
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0, 44, 200));
  p.setColor(QPalette::Disabled, QPalette::Base, QColor(235, 235, 235));
  e->setPalette(p);
  return e;
}

}  // namespace kor::ui
