// TfrmPlanosValores: gives a plan its prices, one per periodicity, or alters
// one price (count, value, situation).
//
// Inputs, read when the dialog is shown: vModo (1 create, otherwise alter),
// vCodigoPlano (the plan), vTipoPlano (its kind: "M" counts months, "D" day
// passes) and, to alter, vCodigo (the CodigoPlanoValor). Sets vGravou to 1
// after every save; it stays open. A negative value is refused: price
// captions elsewhere are split at "-".
#pragma once

#include <cstdint>

#include "db/conexao.h"
#include "ui/modelo.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kor::ui {

class TEditValor;

class TfrmPlanosValores : public TModelo {
  Q_OBJECT

 public:
  explicit TfrmPlanosValores(QWidget* parent = nullptr);

  QTabWidget* suiPageControl1;
  QWidget* suiTabSheet1;
  QLabel* Label1;
  QLineEdit* txtPlanos;
  QLabel* Label2;
  TEditValor* txtValor;
  QLabel* Label3;
  QComboBox* cbPeriocidade;
  QLabel* Label4;
  QComboBox* cbSituacao;
  QPushButton* btCadastrar;
  QPushButton* btFechar;

 private slots:
  void btCadastrarClick();
  void btFecharClick();

 private:
  void FormShow();
  void PreenchePeriodicidades();
  void MostraPlano();
  void CarregaPlanoValor();
  void CadastraPlanoValor();
  void AlteraPlanoValor();
  // Tab caption and periodicity label for the plan's kind.
  void Legendas(const char* acao);

  TConsulta qrPlanos;
  TConsulta qrLista;
  TComando cmdCadastra;
  int32_t vMeses = 0;
};

}  // namespace kor::ui
