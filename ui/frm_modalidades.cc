#include "ui/frm_modalidades.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "catalogue/catalogo.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "ui/componentes.h"
#include "ui/texto_qt.h"

namespace kor::ui {

TfrmModalidades::TfrmModalidades(QWidget* parent)
    : TModelo(parent), cmdCadastra(BD().Conexao), qrLista(BD().Conexao) {
  setObjectName(QStringLiteral("frmModalidades"));
  setWindowTitle(QStringLiteral(" Modalidades do KOR Online"));
  setClientSize(440, 175);
  suiPageControl1 = PaginaControle(corpo(), "suiPageControl1", 10, 10, 420, 110);
  suiTabSheet1 = Pagina(suiPageControl1, "suiTabSheet1", QStringLiteral("Cadastro de Modalidades"));
  Label1 = Rotulo(suiTabSheet1, "Label1", QStringLiteral("Modalidade"), 15, 15);
  txtModalidades = Coloca(new TEditNome(suiTabSheet1, 30), "txtModalidades", 15, 35, 385, 22);
  btCadastrar = Botao(corpo(), "btCadastrar", QStringLiteral("Cadastrar"), 220, 135);
  btFechar = Botao(corpo(), "btFechar", QStringLiteral("Fechar"), 330, 135);
  connect(btCadastrar, &QPushButton::clicked, this, &TfrmModalidades::btCadastrarClick);
  connect(btFechar, &QPushButton::clicked, this, &TfrmModalidades::btFecharClick);
  connect(this, &TModelo::PrimeiraExibicao, this, [this] { Protegido([this] { FormShow(); }); });

  cmdCadastra.CommandText = "INSERT INTO Online_Modalidades (Modalidade) VALUES (:P1)";
  qrLista.Add("Select Modalidade from Online_Modalidades");
  qrLista.Add("Where CodigoModalidade = :P1");
}

void TfrmModalidades::FormShow() {
  if (vModo == 1) {
    btCadastrar->setText(QStringLiteral("Cadastrar"));
    txtModalidades->setFocus();
    suiPageControl1->setTabText(0, QStringLiteral("Cadastro de Modalidades"));
  } else {
    suiPageControl1->setTabText(0, QString::fromUtf8("Alteração de Modalidade"));
    btCadastrar->setText(QStringLiteral("Alterar"));
    CarregaModalidade();
  }
}

void TfrmModalidades::CarregaModalidade() {
  qrLista.Close();
  qrLista.SetParametro(0, vCodigo);
  qrLista.Open();
  if (!qrLista.Eof()) txtModalidades->setText(Qt1252(qrLista.FieldByName("Modalidade").AsString()));
}

void TfrmModalidades::btCadastrarClick() {
  Protegido([this] {
    // The name is cleaned first and then tested: a name of characters the
    // cleaning drops is as empty as a blank one.
    vModalidade = catalogo::LimpaNome(Win1252(txtModalidades->text()));
    if (vModalidade.empty()) {
      msg_atencao("Informe o nome da modalidade!");
      return;
    }
    if (BuscaCodigoModalidade(vModalidade) > 0) {
      msg_atencao(Utf8ParaWin1252("Atenção! Essa modalidade já está cadastrada!"));
      txtModalidades->setFocus();
      return;
    }
    if (vModo == 1) {
      CadastraModalidade();
    } else {
      AlteraModalidade();
    }
  });
}

void TfrmModalidades::CadastraModalidade() {
  try {
    cmdCadastra.SetParametro(0, vModalidade);
    cmdCadastra.Execute();
  } catch (const std::exception&) {
    msg_atencao("Falha ao cadastrar! Tente novamente!");
    return;
  }
  msg_info("Cadastro realizado com sucesso!");
  vGravou = 1;
  txtModalidades->clear();
  txtModalidades->setFocus();
}

void TfrmModalidades::AlteraModalidade() {
  const std::string sql = "Update Online_Modalidades set Modalidade = " + AspasSimples(vModalidade) +
                          " Where CodigoModalidade = " + std::to_string(vCodigo);
  if (ExecutaSQL(sql) != "OK") {
    msg_atencao("Falha ao alterar! Tente novamente!");
    return;
  }
  msg_info("Modalidade alterada com sucesso!");
  vGravou = 1;
}

void TfrmModalidades::btFecharClick() {
  if (qrLista.Active()) qrLista.Close();
  close();
}

}  // namespace kor::ui
