#include "ui/frm_kor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "common/globais.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "ui/componentes.h"
#include "ui/texto_qt.h"

namespace kor::ui {

namespace {

std::optional<double> Numero(const TCampo& campo) {
  if (campo.IsNull()) return std::nullopt;
  return campo.AsFloat();
}

}  // namespace

TfrmKOR::TfrmKOR(QWidget* parent)
    : TModelo(parent), qrLista(BD().Conexao), qrPlanos(BD().Conexao), qrPeriodicidade(BD().Conexao) {
  setObjectName(QStringLiteral("frmKOR"));
  setWindowTitle(QString::fromUtf8(" Vínculo de Molidades aos Planos"));
  setClientSize(600, 215);
  suiPageControl1 = PaginaControle(corpo(), "suiPageControl1", 10, 10, 580, 150);
  suiTabSheet1 = Pagina(suiPageControl1, "suiTabSheet1", QStringLiteral("Modalidades e Planos"));
  Label2 = Rotulo(suiTabSheet1, "Label2", QStringLiteral("Modalidade Desktop"), 15, 15);
  txtModalidade = Mostrador(suiTabSheet1, "txtModalidade", 15, 35, 545, 50);
  Label1 = Rotulo(suiTabSheet1, "Label1", QStringLiteral("Planos do Online"), 15, 65);
  cbPlanos = Lista(suiTabSheet1, "cbPlanos", 15, 85, 545);
  suiTabSheet2 = Pagina(suiPageControl1, "suiTabSheet2", QStringLiteral("Periodicidades e Planos"));
  Label4 = Rotulo(suiTabSheet2, "Label4", QStringLiteral("Periodicidade Desktop"), 15, 15);
  // Narrower than the price lists, so that the codes after the blanks stay
  // out of sight as they do there.
  cbPeriodicidade = Lista(suiTabSheet2, "cbPeriodicidade", 15, 35, 330);
  Label3 = Rotulo(suiTabSheet2, "Label3", QStringLiteral("Plano do Online"), 15, 65);
  cbPlanosOnline = Lista(suiTabSheet2, "cbPlanosOnline", 15, 85, 545);
  btVincular = Botao(corpo(), "btVincular", QStringLiteral("Vincular"), 380, 175);
  btFechar = Botao(corpo(), "btFechar", QStringLiteral("Fechar"), 490, 175);
  connect(btVincular, &QPushButton::clicked, this, &TfrmKOR::btVincularClick);
  connect(btFechar, &QPushButton::clicked, this, &TfrmKOR::btFecharClick);
  connect(this, &TModelo::PrimeiraExibicao, this, [this] { Protegido([this] { FormShow(); }); });

  qrLista.Add("Select modalidadeID, modalidadeNome, CodigoPlanoValor from Modalidades");
  qrLista.Add("Where modalidadeID = :P1");
  qrPlanos.Add(
      "SELECT Online_PlanosValores.CodigoPlanoValor, Online_PlanosValores.CodigoPlano, Online_Planos.Plano, "
      "Online_PlanosValores.Meses, Online_PlanosValores.Valor, Online_Planos.Tipo");
  qrPlanos.Add(
      "FROM Online_PlanosValores INNER JOIN Online_Planos ON Online_PlanosValores.CodigoPlano = "
      "Online_Planos.CodigoPlano");
  qrPlanos.Add("WHERE Online_PlanosValores.Situacao = '1'");
  qrPlanos.Add("ORDER BY Online_PlanosValores.CodigoPlanoValor");
  qrPeriodicidade.Add("Select modalidadePlano, modalidadeMeses, modalidadeDias from Modalidades");
  qrPeriodicidade.Add("Where CodigoPlanoValor = 0 and modalidadePlano > 0 and modalidadePlano <= 8");
  qrPeriodicidade.Add("Group by modalidadePlano, modalidadeMeses, modalidadeDias");
}

void TfrmKOR::FormShow() {
  CarregaPlanosValores();
  CarregaPeriodicidades();
  btVincular->setText(QStringLiteral("Vincular"));
  cbPlanos->setCurrentIndex(0);
  vGravou = 0;
  CarregaModalidadeDesktop();
}

void TfrmKOR::CarregaPlanosValores() {
  qrPlanos.Close();
  qrPlanos.Open();
  cbPlanos->clear();
  cbPlanosOnline->clear();
  cbPlanos->addItem(QString(), 0);
  cbPlanosOnline->addItem(QString(), 0);
  for (qrPlanos.First(); !qrPlanos.Eof(); qrPlanos.Next()) {
    const int32_t codigo = qrPlanos.FieldByName("CodigoPlanoValor").AsInteger();
    const QString legenda = Qt1252(catalogo::LegendaPreco(
        qrPlanos.FieldByName("Plano").AsString(), qrPlanos.FieldByName("Tipo").AsString(),
        qrPlanos.FieldByName("Meses").AsInteger(), qrPlanos.FieldByName("Valor").AsCurrency().scaled, codigo));
    cbPlanos->addItem(legenda, codigo);
    cbPlanosOnline->addItem(legenda, codigo);
  }
  qrPlanos.Close();
}

void TfrmKOR::CarregaPeriodicidades() {
  qrPeriodicidade.Close();
  qrPeriodicidade.Open();
  cbPeriodicidade->clear();
  periodicidades_.clear();
  cbPeriodicidade->addItem(QString());
  for (qrPeriodicidade.First(); !qrPeriodicidade.Eof(); qrPeriodicidade.Next()) {
    catalogo::PeriodicidadeDesktop p;
    p.plano = qrPeriodicidade.FieldByName("modalidadePlano").AsFloat();
    p.meses = Numero(qrPeriodicidade.FieldByName("modalidadeMeses"));
    p.dias = Numero(qrPeriodicidade.FieldByName("modalidadeDias"));
    periodicidades_.push_back(p);
    cbPeriodicidade->addItem(Qt1252(catalogo::LegendaPeriodicidadeDesktop(p)));
  }
  qrPeriodicidade.Close();
}

void TfrmKOR::CarregaModalidadeDesktop() {
  qrLista.Close();
  qrLista.SetParametro(0, vCodigo);
  qrLista.Open();
  if (qrLista.Eof()) return;
  modalidadeID_ = qrLista.FieldByName("modalidadeID").AsInteger();
  txtModalidade->setText(QStringLiteral(" ") + Qt1252(qrLista.FieldByName("modalidadeNome").AsString()));
}

void TfrmKOR::btVincularClick() {
  Protegido([this] {
    if (suiPageControl1->currentIndex() == 0) {
      VinculaModalidade();
    } else {
      VinculaPeriodicidade();
    }
  });
}

void TfrmKOR::VinculaModalidade() {
  if (cbPlanos->currentIndex() < 1) {
    msg_atencao(Utf8ParaWin1252("Selecione qual plano que será vinculado a modalidade!"));
    return;
  }
  vCodigoPlano = cbPlanos->currentData().toInt();
  if (ExecutaSQL("Update Modalidades set CodigoPlanoValor = " + std::to_string(vCodigoPlano) +
                 " Where modalidadeID = " + std::to_string(modalidadeID_)) != "OK") {
    msg_atencao("Falha ao vincular! Tente novamente!");
    return;
  }
  msg_info("Modalidade vinculada com sucesso!");
  vGravou = 1;
  close();
}

void TfrmKOR::VinculaPeriodicidade() {
  const int escolhida = cbPeriodicidade->currentIndex();
  if (escolhida < 1 || escolhida > static_cast<int>(periodicidades_.size())) return;
  if (cbPlanosOnline->currentIndex() < 1) {
    msg_atencao(Utf8ParaWin1252("Selecione qual plano que será vinculado a modalidade!"));
    return;
  }
  const catalogo::PeriodicidadeDesktop& p = periodicidades_[escolhida - 1];
  vCodigoPlano = cbPlanosOnline->currentData().toInt();
  vPlanoDesktop = static_cast<int32_t>(p.plano);
  vMesesDesktop = p.meses ? static_cast<int32_t>(*p.meses) : 0;
  if (msg_sn(Utf8ParaWin1252(
          "Confirma o vínculo de todos os planos dessa periodicidade do Desktop ao plano do Online?")) != kRespostaSim)
    return;
  int64_t vinculadas = 0;
  try {
    TComando cmd(BD().Conexao);
    cmd.ParamCheck = false;
    cmd.CommandText = catalogo::SqlVinculoEmMassa(vCodigoPlano, p);
    vinculadas = cmd.Execute();
  } catch (const std::exception&) {
    return;  // the dialog stays open for another try
  }
  if (vinculadas == 0) {
    msg_atencao(Utf8ParaWin1252(
        "Nenhuma modalidade foi vinculada! Não há modalidade sem vínculo com essa periodicidade."));
    return;
  }
  msg_info(Utf8ParaWin1252("Modalidades vinculadas com sucesso!"));
  vGravou = 1;
  close();
}

void TfrmKOR::btFecharClick() {
  if (qrLista.Active()) qrLista.Close();
  if (qrPlanos.Active()) qrPlanos.Close();
  close();
}

}  // namespace kor::ui
