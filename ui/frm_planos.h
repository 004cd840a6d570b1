// TfrmPlanos: creates online plans, or alters one (name, kind, situation).
//
// Inputs, read when the dialog is shown: vModo (1 create, otherwise alter)
// and, to alter, vCodigo (the CodigoPlano). Sets vGravou to 1 after every
// save; it stays open. A plan's kind is not changed while it has prices:
// their counts would then be read as the other kind's.
#pragma once

#include <string>

#include "db/conexao.h"
#include "ui/modelo.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kor::ui {

class TfrmPlanos : public TModelo {
  Q_OBJECT

 public:
  explicit TfrmPlanos(QWidget* parent = nullptr);

  QTabWidget* suiPageControl1;
  QWidget* suiTabSheet1;
  QLabel* Label1;
  QLineEdit* txtPlano;
  QLabel* Label3;
  QComboBox* cbTipo;
  QLabel* Label2;
  QComboBox* cbSituacao;
  QPushButton* btCadastrar;
  QPushButton* btFechar;

 private slots:
  void btCadastrarClick();
  void btFecharClick();

 private:
  void FormShow();
  void CarregaPlano();
  void CadastraPlano();
  void AlteraPlano();

  TConsulta qrLista;
  TComando cmdCadastra;
  std::string vPlano;         // the cleaned name between the checks and the write
  std::string tipoCarregado_;  // the kind the altered plan had when loaded
};

}  // namespace kor::ui
