// The form base: the Esc rule, the calculator key, the title-bar buttons'
// places, the owner-window rule, the Qt message dialogs' captions and
// answers, and the currency edit box.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "apoio_ui.h"
#include "ui/edit_valor.h"
#include "ui/modelo.h"

namespace {

using namespace kor::ui;
using namespace kor::ui::teste;

class Janela : public TModelo {
 public:
  explicit Janela(QWidget* pai = nullptr) : TModelo(pai) {
    setWindowTitle(QStringLiteral(" Janela de teste"));
    texto = new QLineEdit(corpo());
    texto->move(10, 10);
    valor = new TEditValor(corpo());
    valor->move(10, 50);
  }
  QLineEdit* texto;
  TEditValor* valor;
};

TEST(Modelo, EscClosesTheWindowUnlessANumericBoxHasTheFocus) {
  Janela j;
  Mostra(j);
  j.valor->setFocus();
  QTest::keyClicks(j.valor, "12");
  QTest::keyClick(j.valor, Qt::Key_Escape);
  EXPECT_TRUE(j.isVisible());
  j.texto->setFocus();
  QTest::keyClick(j.texto, Qt::Key_Escape);
  EXPECT_FALSE(j.isVisible());
}

TEST(Modelo, CalculatorKeyReportsWhenNoneIsInstalled) {
  Roteiro r;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", "/nonexistent");
  Janela j;
  Mostra(j);
  j.texto->setFocus();
  QTest::keyClick(j.texto, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_TRUE(r.exibidas().empty());
  QTest::keyClick(j.texto, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  qputenv("PATH", path);
  EXPECT_EQ(r.ultima("msg_atencao"), "Nenhuma calculadora está instalada!");
  EXPECT_TRUE(j.isVisible());
}

TEST(Modelo, TitleBarButtonsKeepTheirDistanceFromTheRightEdge) {
  struct Caso {
    bool catraca;
    int fechar, catracaX, minimizar, bandeja;
  };
  for (const Caso& c : {Caso{false, 47, 0, 90, 135}, Caso{true, 47, 76, 116, 157}}) {
    Janela j;
    j.btZCatracaZ->setVisible(c.catraca);
    j.setClientSize(500, 300);
    Mostra(j);
    const int w = j.width();
    EXPECT_EQ(w, 500 + 2 * TModelo::kBorda);
    EXPECT_EQ(j.btYFechar->x(), w - c.fechar);
    EXPECT_EQ(j.btYMinimizarY->x(), w - c.minimizar);
    EXPECT_EQ(j.btXMinimizarX->x(), w - c.bandeja);
    if (c.catraca) {
      EXPECT_EQ(j.btZCatracaZ->x(), w - c.catracaX);
    }
    EXPECT_EQ(j.btYFechar->y(), 5);
    EXPECT_EQ(j.btYFechar->focusPolicy(), Qt::NoFocus);
  }
  Janela j;
  EXPECT_FALSE(j.btZCatracaZ->isVisibleTo(&j));
  EXPECT_EQ(j.corpo()->size(), QSize(606, 408));
}

TEST(Modelo, CloseAndTurnstileButtons) {
  Roteiro r;
  Janela j;
  Mostra(j);
  j.btZCatracaZ->click();
  EXPECT_EQ(r.ultima("msg_atencao"), "Módulo \"Controle da Catraca\" não encontrado!");
  QTest::mouseClick(j.btYFechar, Qt::LeftButton);
  EXPECT_FALSE(j.isVisible());
}

TEST(Modelo, AWindowWithoutOwnerIsOwnedByTheActiveWindow) {
  Janela dono;
  Mostra(dono);
  Janela filha;
  EXPECT_EQ(filha.parentWidget(), &dono);
  Janela outra(filha.corpo());
  EXPECT_EQ(outra.parentWidget(), filha.corpo());
}

// The Qt dialogs: caption, icon and buttons, and the answer of each button.
TEST(MensagensQt, CaptionsIconsAndAnswers) {
  struct Caso {
    MensagensQt::Estilo estilo;
    const char* dialogo;
    const char* botao;
    const char* titulo;
    QMessageBox::Icon icone;
    int resposta;
  };
  const Caso casos[] = {
      {MensagensQt::Estilo::Modelo, "msg_info", "OK", "  Atenção", QMessageBox::Information, 1},
      {MensagensQt::Estilo::Principal, "msg_info", "OK", "  Informação", QMessageBox::Information, 1},
      {MensagensQt::Estilo::Modelo, "msg_sn", "Sim", "  Atenção", QMessageBox::Question, 6},
      {MensagensQt::Estilo::Modelo, "msg_sn", "Não", "  Atenção", QMessageBox::Question, 7},
      {MensagensQt::Estilo::Modelo, "msg_atencao", "OK", " Atenção", QMessageBox::Critical, 1},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(std::string(c.dialogo) + " " + c.botao);
    MensagensQt m(c.estilo);
    QString titulo, texto;
    QMessageBox::Icon icone{};
    QuandoAbrir<QMessageBox>([&](QMessageBox& caixa) {
      titulo = caixa.windowTitle();
      texto = caixa.text();
      icone = caixa.icon();
      for (QAbstractButton* b : caixa.buttons()) {
        if (b->text() == U(c.botao)) QTest::mouseClick(b, Qt::LeftButton);
      }
    });
    const std::string msg = kor::Utf8ParaWin1252("Linha um\r\rLinha dois é");
    int resposta = 0;
    if (std::string(c.dialogo) == "msg_info") resposta = m.msg_info(msg);
    if (std::string(c.dialogo) == "msg_sn") resposta = m.msg_sn(msg);
    if (std::string(c.dialogo) == "msg_atencao") resposta = m.msg_atencao(msg);
    EXPECT_EQ(resposta, c.resposta);
    EXPECT_EQ(titulo, U(c.titulo));
    EXPECT_EQ(icone, c.icone);
    EXPECT_EQ(texto, U("Linha um\n\nLinha dois é"));
  }
}

TEST(TEditValor, ShowsTheAmountWithoutTheFocusAndThePlainNumberWithIt) {
  Janela j;
  Mostra(j);
  j.valor->setFocus();
  QTest::keyClicks(j.valor, "1234,5");
  EXPECT_EQ(j.valor->Texto(), "1234,50");
  j.texto->setFocus();
  EXPECT_EQ(j.valor->text(), U("R$ 1.234,50"));
  EXPECT_TRUE(j.valor->font().bold());
  EXPECT_EQ(j.valor->Valor(), std::optional<int64_t>(12345000));
  j.valor->setFocus();
  EXPECT_EQ(j.valor->text(), U("1234,50"));
  // Esc gives back the value the box had when it got the focus.
  QTest::keyClicks(j.valor, "9");
  QTest::keyClick(j.valor, Qt::Key_Escape);
  EXPECT_EQ(j.valor->Texto(), "1234,50");
  // Zero is no value: the box shows empty.
  j.valor->clear();
  QTest::keyClicks(j.valor, "0,00");
  j.texto->setFocus();
  EXPECT_EQ(j.valor->text(), QString());
  EXPECT_EQ(j.valor->Texto(), "");
  // Letters and a second comma are not taken.
  j.valor->setFocus();
  QTest::keyClicks(j.valor, "-1a,2,5");
  EXPECT_EQ(j.valor->text(), U("-1,25"));
  j.texto->setFocus();
  EXPECT_EQ(j.valor->text(), U("- 1,25"));
}

}  // namespace
