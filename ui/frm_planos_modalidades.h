// TfrmPlanosModalidades: adds online modalities to one plan, one at a time.
//
// Input, read when the dialog is shown: vCodigoPlano (the plan). Each entry of
// the modality list carries its modality's code, so that the link written is
// the one chosen whatever its name. Sets vCodigoModalidade to the chosen code
// and vGravou to 1 after each link it writes; it stays open.
#pragma once

#include "db/conexao.h"
#include "ui/modelo.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kor::ui {

class TfrmPlanosModalidades : public TModelo {
  Q_OBJECT

 public:
  explicit TfrmPlanosModalidades(QWidget* parent = nullptr);

  QTabWidget* suiPageControl1;
  QWidget* suiTabSheet1;
  QLabel* Label1;
  QLineEdit* txtPlanos;
  QLabel* Label2;
  QComboBox* cbModalidades;
  QPushButton* btVincular;
  QPushButton* btFechar;

 private slots:
  void btVincularClick();
  void btFecharClick();

 private:
  void MostraPlano();
  void CarregaModalidades();
  int32_t ExisteVinculo();
  void CadastraVinculo();

  TConsulta qrPlanos;
  TConsulta qrModalidades;
  TComando cmdCadastra;
};

}  // namespace kor::ui
