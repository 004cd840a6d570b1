// TfrmModalidades: creates online modalities, or renames one.
//
// Inputs, read when the dialog is shown: vModo (1 create, otherwise alter)
// and, to alter, vCodigo (the CodigoModalidade). Sets vGravou to 1 after
// every name it saves; it stays open for the next one.
#pragma once

#include <string>

#include "db/conexao.h"
#include "ui/modelo.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kor::ui {

class TfrmModalidades : public TModelo {
  Q_OBJECT

 public:
  explicit TfrmModalidades(QWidget* parent = nullptr);

  QTabWidget* suiPageControl1;
  QWidget* suiTabSheet1;
  QLabel* Label1;
  QLineEdit* txtModalidades;
  QPushButton* btCadastrar;
  QPushButton* btFechar;

 private slots:
  void btCadastrarClick();
  void btFecharClick();

 private:
  void FormShow();
  void CadastraModalidade();
  void AlteraModalidade();
  void CarregaModalidade();

  TComando cmdCadastra;
  TConsulta qrLista;
  std::string vModalidade;  // the cleaned name between the checks and the write
};

}  // namespace kor::ui
