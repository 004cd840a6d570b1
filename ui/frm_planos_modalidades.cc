#include "ui/frm_planos_modalidades.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "ui/componentes.h"
#include "ui/texto_qt.h"

namespace kor::ui {

TfrmPlanosModalidades::TfrmPlanosModalidades(QWidget* parent)
    : TModelo(parent), qrPlanos(BD().Conexao), qrModalidades(BD().Conexao), cmdCadastra(BD().Conexao) {
  setObjectName(QStringLiteral("frmPlanosModalidades"));
  setWindowTitle(QStringLiteral(" Modalidades e Planos do KOR Online"));
  setClientSize(540, 200);
  suiPageControl1 = PaginaControle(corpo(), "suiPageControl1", 10, 10, 520, 135);
  suiTabSheet1 = Pagina(suiPageControl1, "suiTabSheet1", QString::fromUtf8("Vínculo das Modalidades aos Planos"));
  Label1 = Rotulo(suiTabSheet1, "Label1", QStringLiteral("Plano"), 15, 20);
  txtPlanos = Mostrador(suiTabSheet1, "txtPlanos", 60, 16, 440, 50);
  Label2 = Rotulo(suiTabSheet1, "Label2", QStringLiteral("Modalidade"), 15, 55);
  cbModalidades = Lista(suiTabSheet1, "cbModalidades", 15, 75, 485);
  btVincular = Botao(corpo(), "btVincular", QStringLiteral("Vincular"), 320, 160);
  btFechar = Botao(corpo(), "btFechar", QStringLiteral("Fechar"), 430, 160);
  connect(btVincular, &QPushButton::clicked, this, &TfrmPlanosModalidades::btVincularClick);
  connect(btFechar, &QPushButton::clicked, this, &TfrmPlanosModalidades::btFecharClick);
  connect(this, &TModelo::PrimeiraExibicao, this, [this] {
    MostraPlano();
    CarregaModalidades();
  });

  qrPlanos.Add("Select Plano from Online_Planos");
  qrPlanos.Add("Where CodigoPlano = :P1");
  qrModalidades.SetText("Select * from Online_Modalidades");
  cmdCadastra.CommandText =
      "INSERT INTO Online_PlanosModalidades (CodigoPlano, CodigoModalidade) VALUES (:P1, :P2)";
}

void TfrmPlanosModalidades::MostraPlano() {
  // A name that cannot be read stays empty.
  try {
    qrPlanos.Close();
    qrPlanos.SetParametro(0, vCodigoPlano);
    qrPlanos.Open();
    if (!qrPlanos.Eof()) txtPlanos->setText(QStringLiteral(" ") + Qt1252(Trim(qrPlanos.FieldByName("Plano").AsString())));
  } catch (const std::exception&) {
  }
}

void TfrmPlanosModalidades::CarregaModalidades() {
  // A list that cannot be read stays with its blank entry only.
  cbModalidades->addItem(QString(), 0);
  try {
    qrModalidades.Close();
    qrModalidades.Open();
    for (qrModalidades.First(); !qrModalidades.Eof(); qrModalidades.Next()) {
      cbModalidades->addItem(Qt1252(qrModalidades.FieldByName("Modalidade").AsString()),
                             qrModalidades.FieldByName("CodigoModalidade").AsInteger());
    }
    qrModalidades.Close();
  } catch (const std::exception&) {
  }
}

int32_t TfrmPlanosModalidades::ExisteVinculo() {
  return RetornaTotal("Select Count(CodigoPlano) as Total From Online_PlanosModalidades Where CodigoPlano = " +
                      std::to_string(vCodigoPlano) + " and CodigoModalidade = " + std::to_string(vCodigoModalidade));
}

void TfrmPlanosModalidades::btVincularClick() {
  Protegido([this] {
    // The entry's own code, not a lookup of its text: a stored name that the
    // lookup would not find again (a trailing blank) still links the right
    // modality, and an entry without a code is no choice.
    const int32_t codigo = cbModalidades->currentIndex() < 1 ? 0 : cbModalidades->currentData().toInt();
    if (codigo <= 0) {
      msg_atencao(Utf8ParaWin1252("Selecione a modalidade que será vinculada ao plano!"));
      return;
    }
    vCodigoModalidade = codigo;
    if (ExisteVinculo() != 0) {
      msg_atencao(Utf8ParaWin1252("Atenção! Essa a modalidade já foi vinculada ao plano!"));
      return;
    }
    CadastraVinculo();
  });
}

void TfrmPlanosModalidades::CadastraVinculo() {
  try {
    cmdCadastra.SetParametro(0, vCodigoPlano);
    cmdCadastra.SetParametro(1, vCodigoModalidade);
    cmdCadastra.Execute();
  } catch (const std::exception&) {
    msg_atencao("Falha ao cadastrar! Tente novamente!");
    return;
  }
  msg_info("Modalidade vinculada com sucesso!");
  vGravou = 1;
  cbModalidades->setCurrentIndex(0);
}

void TfrmPlanosModalidades::btFecharClick() {
  if (qrModalidades.Active()) qrModalidades.Close();
  if (qrPlanos.Active()) qrPlanos.Close();
  close();
}

}  // namespace kor::ui
