#include "ui/mensagens_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "ui/texto_qt.h"

namespace kor::ui {

namespace {

Mensagens* roteiro = nullptr;

QString Familia(MensagensQt::Estilo e) {
  return e == MensagensQt::Estilo::Principal ? QStringLiteral("Verdana") : QStringLiteral("Tahoma");
}

void CentraNaTela(QWidget& w) {
  w.adjustSize();
  if (QScreen* tela = QGuiApplication::primaryScreen()) {
    const QRect area = tela->availableGeometry();
    w.move(area.center() - w.rect().center());
  }
}

// One message box: caption, icon, bold message and buttons, each button with
// the answer it gives.
int Mostra(MensagensQt::Estilo estilo, const char* titulo, QMessageBox::Icon icone, const std::string& texto,
           std::initializer_list<std::pair<const char*, int>> botoes) {
  QMessageBox caixa(QApplication::activeWindow());
  caixa.setWindowTitle(QString::fromUtf8(titulo));
  caixa.setIcon(icone);
  // The texts hold CR as line breaks.
  caixa.setText(Qt1252(texto).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  caixa.setFont(FontePixels(Familia(estilo), 12, true));
  QPushButton* primeiro = nullptr;
  std::vector<std::pair<QAbstractButton*, int>> respostas;
  for (const auto& [rotulo, resposta] : botoes) {
    QPushButton* b = caixa.addButton(QString::fromUtf8(rotulo), QMessageBox::AcceptRole);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(FontePixels(Familia(estilo), 12, true));
    if (!primeiro) primeiro = b;
    respostas.emplace_back(b, resposta);
  }
  caixa.setDefaultButton(primeiro);
  CentraNaTela(caixa);
  caixa.exec();
  for (const auto& [b, resposta] : respostas) {
    if (caixa.clickedButton() == b) return resposta;
  }
  // Closed without a button (Esc on a question): the last button's answer.
  return respostas.back().second;
}

}  // namespace

int MensagensQt::msg_info(const std::string& texto) {
  const char* titulo = estilo_ == Estilo::Principal ? "  Informação" : "  Atenção";
  return Mostra(estilo_, titulo, QMessageBox::Information, texto, {{"OK", kRespostaOk}});
}

int MensagensQt::msg_sn(const std::string& texto) {
  return Mostra(estilo_, "  Atenção", QMessageBox::Question, texto, {{"Sim", kRespostaSim}, {"Não", kRespostaNao}});
}

int MensagensQt::msg_atencao(const std::string& texto) {
  return Mostra(estilo_, " Atenção", QMessageBox::Critical, texto, {{"OK", kRespostaOk}});
}

bool MensagensQt::msg_procura(std::string& texto) {
  QInputDialog d(QApplication::activeWindow());
  d.setWindowTitle(QStringLiteral("  Procurar"));
  d.setLabelText(QStringLiteral("Procurar por:"));
  d.setOkButtonText(QStringLiteral("OK"));
  d.setCancelButtonText(QStringLiteral("Cancelar"));
  d.setTextValue(Qt1252(texto));
  d.setFont(FontePixels(Familia(estilo_), 12, false));
  CentraNaTela(d);
  if (d.exec() != QDialog::Accepted) return false;
  texto = Win1252(d.textValue());
  return true;
}

Mensagens& MensagensModelo() {
  static MensagensQt qt(MensagensQt::Estilo::Modelo);
  return roteiro ? *roteiro : qt;
}

Mensagens& MensagensPrincipal() {
  static MensagensQt qt(MensagensQt::Estilo::Principal);
  return roteiro ? *roteiro : qt;
}

void DefineMensagens(Mensagens* m) { roteiro = m; }

}  // namespace kor::ui
