#include "ui/frm_planos_valores.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "catalogue/catalogo.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "ui/componentes.h"
#include "ui/edit_valor.h"
#include "ui/texto_qt.h"

namespace kor::ui {

TfrmPlanosValores::TfrmPlanosValores(QWidget* parent)
    : TModelo(parent), qrPlanos(BD().Conexao), qrLista(BD().Conexao), cmdCadastra(BD().Conexao) {
  setObjectName(QStringLiteral("frmPlanosValores"));
  setWindowTitle(QStringLiteral(" Configurando os Planos do KOR Online"));
  setClientSize(540, 235);
  suiPageControl1 = PaginaControle(corpo(), "suiPageControl1", 10, 10, 520, 170);
  suiTabSheet1 = Pagina(suiPageControl1, "suiTabSheet1", QStringLiteral(" Valor e Periodicidade do Plano"));
  Label1 = Rotulo(suiTabSheet1, "Label1", QStringLiteral("Plano"), 15, 20);
  txtPlanos = Mostrador(suiTabSheet1, "txtPlanos", 60, 16, 440, 50);
  Label2 = Rotulo(suiTabSheet1, "Label2", QStringLiteral("Valor"), 15, 58);
  txtValor = Coloca(new TEditValor(suiTabSheet1), "txtValor", 60, 54, 160, 22);
  txtValor->setFont(FontePixels(QStringLiteral("Tahoma"), 12));
  Label3 = Rotulo(suiTabSheet1, "Label3", QStringLiteral("Periodicidade"), 15, 88);
  cbPeriocidade = Lista(suiTabSheet1, "cbPeriocidade", 15, 108, 230);
  Label4 = Rotulo(suiTabSheet1, "Label4", QString::fromUtf8("Situação"), 270, 88);
  cbSituacao = Lista(suiTabSheet1, "cbSituacao", 270, 108, 230);
  cbSituacao->addItems({QString(), QStringLiteral("ATIVO"), QStringLiteral("INATIVO")});
  // As designed: a blank entry and the month names.
  for (const std::string& nome : catalogo::ListaPeriodicidades(catalogo::kMensal)) cbPeriocidade->addItem(Qt1252(nome));
  btCadastrar = Botao(corpo(), "btCadastrar", QStringLiteral("Cadastrar"), 320, 195);
  btFechar = Botao(corpo(), "btFechar", QStringLiteral("Fechar"), 430, 195);
  connect(btCadastrar, &QPushButton::clicked, this, &TfrmPlanosValores::btCadastrarClick);
  connect(btFechar, &QPushButton::clicked, this, &TfrmPlanosValores::btFecharClick);
  connect(this, &TModelo::PrimeiraExibicao, this, [this] { Protegido([this] { FormShow(); }); });

  qrPlanos.Add("Select * from Online_Planos");
  qrPlanos.Add("Where CodigoPlano = :P1");
  qrLista.Add(
      "SELECT Online_PlanosValores.CodigoPlanoValor, Online_PlanosValores.CodigoPlano, Online_PlanosValores.Meses, "
      "Online_PlanosValores.Valor, Online_PlanosValores.Situacao, Online_Planos.Plano");
  qrLista.Add(
      "FROM Online_Planos INNER JOIN Online_PlanosValores ON Online_Planos.CodigoPlano = "
      "Online_PlanosValores.CodigoPlano");
  qrLista.Add("Where Online_PlanosValores.CodigoPlanoValor = :P1");
  cmdCadastra.CommandText =
      "INSERT INTO Online_PlanosValores (CodigoPlano, Meses, Valor, Situacao) VALUES (:P1, :P2, :P3, :P4)";
}

void TfrmPlanosValores::PreenchePeriodicidades() {
  if (vTipoPlano != catalogo::kMensal && vTipoPlano != catalogo::kDiaria) return;
  cbPeriocidade->clear();
  for (const std::string& nome : catalogo::ListaPeriodicidades(vTipoPlano)) cbPeriocidade->addItem(Qt1252(nome));
  cbPeriocidade->setCurrentIndex(0);
}

void TfrmPlanosValores::Legendas(const char* acao) {
  if (vTipoPlano == catalogo::kMensal) {
    suiPageControl1->setTabText(0, QString::fromUtf8(acao) + QStringLiteral(" de Valor e Periocidade do Plano"));
    Label3->setText(QStringLiteral("Periodicidade"));
  } else if (vTipoPlano == catalogo::kDiaria) {
    suiPageControl1->setTabText(0, QString::fromUtf8(acao) + QString::fromUtf8(" de Valor e Diárias do Plano"));
    Label3->setText(QString::fromUtf8("Nº de Diárias"));
  }
  Label3->adjustSize();
}

void TfrmPlanosValores::FormShow() {
  PreenchePeriodicidades();
  if (vModo == 1) {
    MostraPlano();
    Legendas("Cadastro");
    btCadastrar->setText(QStringLiteral("Cadastrar"));
    txtValor->setFocus();
    cbSituacao->setCurrentIndex(1);
  } else {
    CarregaPlanoValor();
    Legendas("Alteração");
    btCadastrar->setText(QStringLiteral("Alterar"));
  }
}

void TfrmPlanosValores::MostraPlano() {
  qrPlanos.Close();
  qrPlanos.SetParametro(0, vCodigoPlano);
  qrPlanos.Open();
  if (!qrPlanos.Eof()) txtPlanos->setText(Qt1252(qrPlanos.FieldByName("Plano").AsString()));
}

void TfrmPlanosValores::CarregaPlanoValor() {
  qrLista.Close();
  qrLista.SetParametro(0, vCodigo);
  qrLista.Open();
  if (qrLista.Eof()) return;
  txtPlanos->setText(QStringLiteral(" ") + Qt1252(Trim(qrLista.FieldByName("Plano").AsString())));
  txtValor->setValor(qrLista.FieldByName("Valor").AsCurrency().scaled);
  const std::string situacao = qrLista.FieldByName("Situacao").AsString();
  cbSituacao->setCurrentIndex(situacao == "1" ? 1 : situacao == "2" ? 2 : 0);
  vMeses = qrLista.FieldByName("Meses").AsInteger();
  // A count outside the list (stored by hand) leaves the blank entry.
  cbPeriocidade->setCurrentIndex(vMeses >= 0 && vMeses < cbPeriocidade->count() ? vMeses : 0);
}

void TfrmPlanosValores::btCadastrarClick() {
  Protegido([this] {
    if (cbPeriocidade->currentIndex() < 1 || Trim(txtValor->Texto()).empty() || cbSituacao->currentIndex() < 1) {
      msg_atencao(Utf8ParaWin1252("Atenção! Preencha todos os campos!"));
      return;
    }
    if (*txtValor->Valor() < 0) {
      msg_atencao(Utf8ParaWin1252("Atenção! O valor do plano não pode ser negativo!"));
      txtValor->setFocus();
      return;
    }
    vMeses = cbPeriocidade->currentIndex();
    if (BuscaPlanoValor(vCodigoPlano, vMeses) >= 1) {
      msg_atencao(Utf8ParaWin1252("Atenção! Essa periodicidade já está cadastrada!"));
      return;
    }
    if (vModo == 1) {
      CadastraPlanoValor();
    } else {
      AlteraPlanoValor();
    }
  });
}

void TfrmPlanosValores::CadastraPlanoValor() {
  // The value is bound as a currency amount: no text conversion by the engine.
  try {
    cmdCadastra.SetParametro(0, vCodigoPlano);
    cmdCadastra.SetParametro(1, vMeses);
    cmdCadastra.SetParametro(2, std::string());
    cmdCadastra.Parameters[2] = jet::Value::currency(*txtValor->Valor());
    cmdCadastra.SetParametro(3, std::to_string(cbSituacao->currentIndex()));
    cmdCadastra.Execute();
  } catch (const std::exception&) {
    msg_atencao("Falha ao cadastrar! Tente novamente!");
    return;
  }
  vGravou = 1;
  msg_info("Cadastro realizado com sucesso!");
  txtValor->Limpa();
  cbSituacao->setCurrentIndex(1);
  cbPeriocidade->setCurrentIndex(0);
}

void TfrmPlanosValores::AlteraPlanoValor() {
  TComando cmd(BD().Conexao);
  cmd.CommandText = "Update Online_PlanosValores set CodigoPlano = " + std::to_string(vCodigoPlano) +
                    ", Meses = " + std::to_string(vMeses) + ", Valor = :P1, Situacao = " +
                    std::to_string(cbSituacao->currentIndex()) + " Where CodigoPlanoValor = " + std::to_string(vCodigo);
  try {
    cmd.SetParametro(0, std::string());
    cmd.Parameters[0] = jet::Value::currency(*txtValor->Valor());
    cmd.Execute();
  } catch (const std::exception&) {
    msg_atencao("Falha ao alterar plano! Tente novamente!");
    return;
  }
  msg_info("Plano alterado com sucesso!");
  vGravou = 1;
}

void TfrmPlanosValores::btFecharClick() {
  if (qrLista.Active()) qrLista.Close();
  close();
}

}  // namespace kor::ui
