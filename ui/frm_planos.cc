#include "ui/frm_planos.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "catalogue/catalogo.h"
#include "catalogue/vinculos.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "ui/componentes.h"
#include "ui/texto_qt.h"

namespace kor::ui {

TfrmPlanos::TfrmPlanos(QWidget* parent) : TModelo(parent), qrLista(BD().Conexao), cmdCadastra(BD().Conexao) {
  setObjectName(QStringLiteral("frmPlanos"));
  setWindowTitle(QStringLiteral(" Planos do KOR Online"));
  setClientSize(540, 230);
  suiPageControl1 = PaginaControle(corpo(), "suiPageControl1", 10, 10, 520, 165);
  suiTabSheet1 = Pagina(suiPageControl1, "suiTabSheet1", QStringLiteral("Cadastro de Planos"));
  Label1 = Rotulo(suiTabSheet1, "Label1", QStringLiteral("Plano"), 15, 15);
  txtPlano = Coloca(new TEditNome(suiTabSheet1, 50), "txtPlano", 15, 35, 485, 22);
  Label3 = Rotulo(suiTabSheet1, "Label3", QStringLiteral("Tipo"), 15, 72);
  cbTipo = Lista(suiTabSheet1, "cbTipo", 15, 92, 230);
  cbTipo->addItems({QString(), QStringLiteral("MENSALIDADE"), QString::fromUtf8("DIÁRIA")});
  Label2 = Rotulo(suiTabSheet1, "Label2", QString::fromUtf8("Situação"), 270, 72);
  cbSituacao = Lista(suiTabSheet1, "cbSituacao", 270, 92, 230);
  cbSituacao->addItems({QString(), QStringLiteral("ATIVO"), QStringLiteral("INATIVO")});
  btCadastrar = Botao(corpo(), "btCadastrar", QStringLiteral("Cadastrar"), 320, 190);
  btFechar = Botao(corpo(), "btFechar", QStringLiteral("Fechar"), 430, 190);
  connect(btCadastrar, &QPushButton::clicked, this, &TfrmPlanos::btCadastrarClick);
  connect(btFechar, &QPushButton::clicked, this, &TfrmPlanos::btFecharClick);
  connect(this, &TModelo::PrimeiraExibicao, this, [this] { Protegido([this] { FormShow(); }); });

  qrLista.SetText("Select * from Online_Planos Where CodigoPlano = :P1");
  cmdCadastra.CommandText = "INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES (:P1, :P2, :P3)";
}

void TfrmPlanos::FormShow() {
  if (vModo == 1) {
    btCadastrar->setText(QStringLiteral("Cadastrar"));
    suiPageControl1->setTabText(0, QStringLiteral("Cadastro de Planos"));
    txtPlano->setFocus();
    cbSituacao->setCurrentIndex(1);
    cbTipo->setCurrentIndex(1);
  } else {
    suiPageControl1->setTabText(0, QString::fromUtf8("Alteração de Plano"));
    btCadastrar->setText(QStringLiteral("Alterar"));
    CarregaPlano();
  }
}

void TfrmPlanos::CarregaPlano() {
  qrLista.Close();
  qrLista.SetParametro(0, vCodigo);
  qrLista.Open();
  if (qrLista.Eof()) return;
  txtPlano->setText(Qt1252(qrLista.FieldByName("Plano").AsString()));
  tipoCarregado_ = qrLista.FieldByName("Tipo").AsString();
  if (const int i = catalogo::IndiceTipo(tipoCarregado_)) cbTipo->setCurrentIndex(i);
  const std::string situacao = qrLista.FieldByName("Situacao").AsString();
  cbSituacao->setCurrentIndex(situacao == "1" ? 1 : situacao == "2" ? 2 : 0);
}

void TfrmPlanos::btCadastrarClick() {
  Protegido([this] {
    vPlano = catalogo::LimpaNome(Win1252(txtPlano->text()));
    if (cbSituacao->currentIndex() < 1 || cbTipo->currentIndex() < 1 || vPlano.empty()) {
      msg_atencao("Preencha todos os campos!");
      return;
    }
    if (vModo != 1 && catalogo::TipoDoIndice(cbTipo->currentIndex()) != tipoCarregado_ &&
        catalogo::PrecosDoPlano(vCodigo) > 0) {
      msg_atencao(Utf8ParaWin1252(
          "Atenção! Esse plano possui valores cadastrados! O tipo do plano não pode ser alterado enquanto ele "
          "tiver valores!"));
      return;
    }
    if (BuscaCodigoPlano(vPlano) > 0) {
      msg_atencao(Utf8ParaWin1252("Atenção! Esse plano já está cadastrado!"));
      txtPlano->setFocus();
      return;
    }
    if (vModo == 1) {
      CadastraPlano();
    } else {
      AlteraPlano();
    }
  });
}

void TfrmPlanos::CadastraPlano() {
  try {
    cmdCadastra.SetParametro(0, vPlano);
    cmdCadastra.SetParametro(1, catalogo::TipoDoIndice(cbTipo->currentIndex()));
    cmdCadastra.SetParametro(2, std::to_string(cbSituacao->currentIndex()));
    cmdCadastra.Execute();
  } catch (const std::exception&) {
    msg_atencao("Falha ao cadastrar! Tente novamente!");
    return;
  }
  msg_info("Cadastro realizado com sucesso!");
  vGravou = 1;
  txtPlano->clear();
  cbSituacao->setCurrentIndex(1);
  txtPlano->setFocus();
}

void TfrmPlanos::AlteraPlano() {
  const std::string tipo = catalogo::TipoDoIndice(cbTipo->currentIndex());
  const std::string sql = "Update Online_Planos set Plano = " + AspasSimples(vPlano) + ", Tipo = " +
                          AspasSimples(tipo) + ", Situacao = " + std::to_string(cbSituacao->currentIndex()) +
                          " Where CodigoPlano = " + std::to_string(vCodigo);
  if (ExecutaSQL(sql) != "OK") {
    msg_atencao("Falha ao alterar! Tente novamente!");
    return;
  }
  msg_info("Plano alterado com sucesso!");
  vGravou = 1;
  tipoCarregado_ = tipo;
}

void TfrmPlanos::btFecharClick() {
  if (qrLista.Active()) qrLista.Close();
  close();
}

}  // namespace kor::ui
