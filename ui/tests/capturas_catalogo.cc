// kor_capturas_catalogo: the screenshots of the form base, the message
// dialogs and the catalogue dialogs, taken by scripts/screenshots under Xvfb.
//
//   kor_capturas_catalogo OUT_DIR
//
// Writes a sample academy with its catalogue ready, opens each dialog on it
// as the wizard would (hand-off variables set) and saves it as
// OUT_DIR/modelo-*.png and OUT_DIR/frm-*.png.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <iostream>

#include "apoio.h"
#include "app/inicio.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"
#include "ui/edit_valor.h"
#include "ui/frm_kor.h"
#include "ui/frm_modalidades.h"
#include "ui/frm_planos.h"
#include "ui/frm_planos_modalidades.h"
#include "ui/frm_planos_valores.h"
#include "ui/mensagens_qt.h"
#include "ui/modelo.h"

namespace {

using namespace kor;
using namespace kor::ui;

QString pastaSaida;
bool ok = true;

void Salva(QWidget& w, const char* nome) {
  QTest::qWait(80);
  const QString caminho = QDir(pastaSaida).filePath(QString::fromLatin1(nome) + ".png");
  const bool salvo = w.grab().save(caminho);
  std::cout << (salvo ? "  " : "  FALHOU ") << caminho.toStdString() << std::endl;
  ok &= salvo;
}

// Shows a dialog, lets `prepara` choose what it shows, and saves it.
template <class T>
void Captura(const char* nome, const std::function<void(T&)>& prepara = {}) {
  T janela;
  janela.show();
  ok &= QTest::qWaitForWindowExposed(&janela);
  if (prepara) prepara(janela);
  Salva(janela, nome);
  janela.close();
}

// A Qt message dialog, saved while it is open and then answered.
void CapturaMensagem(const char* nome, const std::function<void(Mensagens&)>& mostra) {
  QTimer::singleShot(200, [nome] {
    if (auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Salva(*caixa, nome);
      caixa->buttons().front()->click();
    }
  });
  mostra(MensagensModelo());
}

int32_t Total(const std::string& sql) { return RetornaTotal(sql); }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::cerr << "uso: kor_capturas_catalogo PASTA\n";
    return 2;
  }
  pastaSaida = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(pastaSaida);

  kor::teste::PastaTemporaria pasta("capturas_catalogo");
  amostra::OpcoesAcademia o;
  o.alunos = 60;
  o.pronta = true;
  amostra::geraAcademia(CaminhoBanco(pasta.str()), o);
  {
    MensagensRoteiro m;
    if (!PreparaInicio(pasta.str(), m)) return 1;
  }

  {
    TModelo base;
    base.setWindowTitle(QStringLiteral(" Janela do sistema"));
    base.show();
    ok &= QTest::qWaitForWindowExposed(&base);
    Salva(base, "modelo-base");
    CapturaMensagem("modelo-msg-info", [](Mensagens& m) { m.msg_info("Cadastro realizado com sucesso!"); });
    CapturaMensagem("modelo-msg-sn", [](Mensagens& m) {
      m.msg_sn(Utf8ParaWin1252("Confirma o vínculo de todos os planos dessa periodicidade do Desktop ao plano do Online?"));
    });
    CapturaMensagem("modelo-msg-atencao", [](Mensagens& m) {
      m.msg_atencao(Utf8ParaWin1252("Atenção! Essa modalidade já está cadastrada!"));
    });
  }

  // The dialogs' own messages are not shown while capturing.
  MensagensRoteiro roteiro;
  DefineMensagens(&roteiro);

  vModo = 1;
  Captura<TfrmModalidades>("frm-modalidades", [](TfrmModalidades& f) { f.txtModalidades->setText(QStringLiteral("PILATES")); });
  vModo = 2;
  vCodigo = Total("Select Min(CodigoModalidade) as Total from Online_Modalidades");
  Captura<TfrmModalidades>("frm-modalidades-alterar");

  vModo = 1;
  Captura<TfrmPlanos>("frm-planos", [](TfrmPlanos& f) { f.txtPlano->setText(QStringLiteral("PLANO OURO")); });
  vModo = 2;
  vCodigo = Total("Select Min(CodigoPlano) as Total from Online_Planos");
  Captura<TfrmPlanos>("frm-planos-alterar");

  vCodigoPlano = vCodigo;
  Captura<TfrmPlanosModalidades>("frm-planos-modalidades", [](TfrmPlanosModalidades& f) {
    f.cbModalidades->setCurrentIndex(f.cbModalidades->count() > 1 ? 1 : 0);
  });

  vModo = 1;
  vTipoPlano = "D";
  Captura<TfrmPlanosValores>("frm-planos-valores", [](TfrmPlanosValores& f) {
    f.txtValor->setValor(1500000);
    f.cbPeriocidade->setCurrentIndex(5);
  });
  vModo = 2;
  vTipoPlano = "M";
  vCodigo = Total("Select Min(CodigoPlanoValor) as Total from Online_PlanosValores");
  Captura<TfrmPlanosValores>("frm-planos-valores-alterar");

  // Some desktop modalities left unlinked, so that both pages have entries.
  ExecutaSQL("Update Modalidades set CodigoPlanoValor = 0 Where modalidadePlano > 0");
  vCodigo = Total("Select Min(modalidadeID) as Total from Modalidades");
  Captura<TfrmKOR>("frm-kor", [](TfrmKOR& f) { f.cbPlanos->setCurrentIndex(f.cbPlanos->count() > 1 ? 1 : 0); });
  Captura<TfrmKOR>("frm-kor-periodicidades", [](TfrmKOR& f) {
    f.suiPageControl1->setCurrentIndex(1);
    f.cbPeriodicidade->setCurrentIndex(f.cbPeriodicidade->count() > 1 ? 1 : 0);
    f.cbPlanosOnline->setCurrentIndex(f.cbPlanosOnline->count() > 1 ? 1 : 0);
  });

  DefineMensagens(nullptr);
  kor::teste::desconecta();
  return ok ? 0 : 1;
}
