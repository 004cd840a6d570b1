#include "ui/modelo.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTextEdit>
#include <QToolButton>

#include "common/texto.h"
#include "ui/edit_valor.h"
#include "ui/mensagens_qt.h"
#include "ui/plataforma.h"
#include "ui/texto_qt.h"

namespace kor::ui {

namespace {

enum class Desenho { Bandeja, Minimizar, Fechar, Catraca };

// The image of a title-bar button: a rounded tile in the bar's blue with a
// white glyph.
QPixmap Imagem(Desenho d, int largura, int altura) {
  QPixmap p(largura, altura);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fundo(0, 0, 0, altura);
  fundo.setColorAt(0, d == Desenho::Fechar ? QColor(232, 120, 90) : QColor(90, 150, 245));
  fundo.setColorAt(1, d == Desenho::Fechar ? QColor(190, 50, 20) : QColor(20, 80, 210));
  g.setBrush(fundo);
  g.setPen(QPen(Qt::white, 1));
  g.drawRoundedRect(QRectF(0.5, 0.5, largura - 1, altura - 1), 3, 3);
  g.setPen(QPen(Qt::white, 2));
  const int cx = largura / 2, cy = altura / 2;
  switch (d) {
    case Desenho::Bandeja:  // to the notification area: a bar with an arrow
      g.drawLine(cx - 6, cy + 5, cx + 6, cy + 5);
      g.drawLine(cx, cy - 5, cx, cy + 1);
      g.drawLine(cx - 3, cy - 2, cx, cy + 1);
      g.drawLine(cx + 3, cy - 2, cx, cy + 1);
      break;
    case Desenho::Minimizar:
      g.drawLine(cx - 6, cy + 4, cx + 6, cy + 4);
      break;
    case Desenho::Fechar:
      g.drawLine(cx - 5, cy - 5, cx + 5, cy + 5);
      g.drawLine(cx - 5, cy + 5, cx + 5, cy - 5);
      break;
    case Desenho::Catraca:
      g.drawEllipse(QPoint(cx, cy), 5, 5);
      break;
  }
  return p;
}

QToolButton* BotaoBarra(QWidget* pai, Desenho d, int largura, const char* dica) {
  auto* b = new QToolButton(pai);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  b->setCursor(Qt::PointingHandCursor);
  b->setToolTip(QString::fromUtf8(dica));
  b->setIcon(QIcon(Imagem(d, largura, 21)));
  b->setIconSize(QSize(largura, 21));
  b->setGeometry(0, 5, largura, 21);
  b->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
  return b;
}

// Whether the focused control keeps Esc for itself.
bool EntradaNumerica(const QWidget* w) {
  return qobject_cast<const TEditValor*>(w) || qobject_cast<const QAbstractSpinBox*>(w);
}

}  // namespace

TModelo::TModelo(QWidget* parent) : QDialog(parent ? parent : QApplication::activeWindow()) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setMinimumWidth(150);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, kCorCorpo);
  setPalette(p);

  corpo_ = new QWidget(this);
  corpo_->setObjectName(QStringLiteral("suiForm1"));
  corpo_->setAutoFillBackground(true);
  corpo_->setPalette(p);
  corpo_->move(kBorda, kBarra);

  btXMinimizarX = BotaoBarra(this, Desenho::Bandeja, 40, "Minimizar para a Área de Notificação");
  btXMinimizarX->setObjectName(QStringLiteral("btXMinimizarX"));
  btYMinimizarY = BotaoBarra(this, Desenho::Minimizar, 40, "Minimizar o sistema");
  btYMinimizarY->setObjectName(QStringLiteral("btYMinimizarY"));
  btZCatracaZ = BotaoBarra(this, Desenho::Catraca, 22, "Abrir o Controle da Catraca");
  btZCatracaZ->setObjectName(QStringLiteral("btZCatracaZ"));
  btZCatracaZ->hide();
  btYFechar = BotaoBarra(this, Desenho::Fechar, 40, "Fechar a janela");
  btYFechar->setObjectName(QStringLiteral("btYFechar"));
  connect(btXMinimizarX, &QToolButton::clicked, this, &TModelo::btXMinimizarXClick);
  connect(btYMinimizarY, &QToolButton::clicked, this, &TModelo::btYMinimizarYClick);
  connect(btZCatracaZ, &QToolButton::clicked, this, &TModelo::btZCatracaZClick);
  connect(btYFechar, &QToolButton::clicked, this, &TModelo::btYFecharClick);

  // Shortcuts reach the window before its focused control does.
  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(esc, &QShortcut::activated, this, &TModelo::Esc);
  auto* calc = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this);
  connect(calc, &QShortcut::activated, this, &TModelo::Calculadora);

  setClientSize(606, 408);
}

void TModelo::setClientSize(int largura, int altura) {
  corpo_->setFixedSize(largura, altura);
  setFixedSize(largura + 2 * kBorda, altura + kBarra + kBorda);
  PosicionaBotoes();
}

int TModelo::msg_info(const std::string& texto) { return MensagensModelo().msg_info(texto); }
int TModelo::msg_sn(const std::string& texto) { return MensagensModelo().msg_sn(texto); }
int TModelo::msg_atencao(const std::string& texto) { return MensagensModelo().msg_atencao(texto); }
bool TModelo::msg_procura(std::string& texto) { return MensagensModelo().msg_procura(texto); }

void TModelo::BloqueiaComponentes(QWidget* dono) {
  for (QWidget* w : dono->findChildren<QWidget*>()) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setReadOnly(true);
    } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
      t->setReadOnly(true);
    } else if (auto* pt = qobject_cast<QPlainTextEdit*>(w)) {
      pt->setReadOnly(true);
    } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
      s->setReadOnly(true);
    } else if (qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w)) {
      w->setEnabled(false);
    }
  }
}

void TModelo::LimpaEdits(QWidget* dono) {
  for (QWidget* w : dono->findChildren<QWidget*>()) {
    // The line edit inside an editable list belongs to the list.
    if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->clear();
    } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
      t->clear();
    } else if (auto* pt = qobject_cast<QPlainTextEdit*>(w)) {
      pt->clear();
    } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
      s->clear();
    }
  }
}

void TModelo::semfocus(QWidget* controle) {
  QPalette p = controle->palette();
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::Window, Qt::white);
  controle->setPalette(p);
  controle->setAutoFillBackground(true);
}

void TModelo::Esc() {
  if (EntradaNumerica(QApplication::focusWidget())) return;
  close();
}

void TModelo::Calculadora() {
  if (plataforma::AbreCalculadora() == plataforma::Calculadora::Ausente)
    msg_atencao(Utf8ParaWin1252("Nenhuma calculadora está instalada!"));
}

void TModelo::btXMinimizarXClick() { btYMinimizarYClick(); }

void TModelo::btYMinimizarYClick() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) w->showMinimized();
  }
}

void TModelo::btZCatracaZClick() {
  // There is no turnstile module to open.
  msg_atencao(Utf8ParaWin1252("Módulo \"Controle da Catraca\" não encontrado!"));
}

void TModelo::btYFecharClick() { close(); }

void TModelo::PosicionaBotoes() {
  const int w = width();
  btYFechar->move(w - 47, 5);
  if (btZCatracaZ->isVisibleTo(this)) {
    btZCatracaZ->move(w - 76, 5);
    btYMinimizarY->move(w - 116, 5);
    btXMinimizarX->move(w - 157, 5);
  } else {
    btYMinimizarY->move(w - 90, 5);
    btXMinimizarX->move(w - 135, 5);
  }
}

void TModelo::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  PosicionaBotoes();
  if (QScreen* tela = screen()) move(tela->availableGeometry().center() - rect().center());
  if (!exibido_) {
    exibido_ = true;
    emit PrimeiraExibicao();
  }
}

void TModelo::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  PosicionaBotoes();
}

void TModelo::paintEvent(QPaintEvent*) {
  QPainter g(this);
  g.fillRect(rect(), kCorBorda);
  QLinearGradient barra(0, 0, 0, kBarra);
  barra.setColorAt(0, QColor(60, 130, 245));
  barra.setColorAt(0.15, QColor(0, 88, 238));
  barra.setColorAt(0.85, QColor(13, 93, 229));
  barra.setColorAt(1, QColor(0, 60, 190));
  g.fillRect(QRect(0, 0, width(), kBarra), barra);
  g.setPen(Qt::white);
  g.setFont(FontePixels(QStringLiteral("Tahoma"), 13, true));
  g.drawText(QRect(8, 0, width() - 160, kBarra), Qt::AlignVCenter | Qt::AlignLeft, windowTitle());
}

void TModelo::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  if (e->type() == QEvent::WindowTitleChange) update();
}

// The frame has no system title bar: the window is moved by dragging its own.
void TModelo::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && e->position().y() < kBarra) {
    arrastando_ = true;
    origemArraste_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    return;
  }
  QDialog::mousePressEvent(e);
}

void TModelo::mouseMoveEvent(QMouseEvent* e) {
  if (arrastando_) {
    move(e->globalPosition().toPoint() - origemArraste_);
    return;
  }
  QDialog::mouseMoveEvent(e);
}

void TModelo::mouseReleaseEvent(QMouseEvent* e) {
  arrastando_ = false;
  QDialog::mouseReleaseEvent(e);
}

}  // namespace kor::ui
