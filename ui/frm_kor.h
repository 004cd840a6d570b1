// TfrmKOR: links desktop modalities to online plan prices.
//
// Two pages; the one showing when "Vincular" is pressed decides what is
// linked. "Modalidades e Planos": the desktop modality vCodigo (read when the
// dialog is shown) gets the chosen price. "Periodicidades e Planos": every
// unlinked desktop modality of the chosen desktop periodicity gets it, in one
// statement that matches the periodicity's code, month count and day count
// (a Null count as Null). Each list entry carries its price code or its
// periodicity. Sets vCodigoPlano to the chosen price, vPlanoDesktop and
// vMesesDesktop to a bulk link's periodicity, and vGravou to 1 when a link
// was written, after which the dialog closes.
#pragma once

#include <vector>

#include "catalogue/catalogo.h"
#include "db/conexao.h"
#include "ui/modelo.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kor::ui {

class TfrmKOR : public TModelo {
  Q_OBJECT

 public:
  explicit TfrmKOR(QWidget* parent = nullptr);

  QTabWidget* suiPageControl1;
  QWidget* suiTabSheet1;
  QLabel* Label2;
  QLineEdit* txtModalidade;
  QLabel* Label1;
  QComboBox* cbPlanos;
  QWidget* suiTabSheet2;
  QLabel* Label4;
  QComboBox* cbPeriodicidade;
  QLabel* Label3;
  QComboBox* cbPlanosOnline;
  QPushButton* btVincular;
  QPushButton* btFechar;

 private slots:
  void btVincularClick();
  void btFecharClick();

 private:
  void FormShow();
  void CarregaPlanosValores();
  void CarregaPeriodicidades();
  void CarregaModalidadeDesktop();
  void VinculaModalidade();
  void VinculaPeriodicidade();

  TConsulta qrLista;
  TConsulta qrPlanos;
  TConsulta qrPeriodicidade;
  // The periodicities of cbPeriodicidade's entries (entry i is element i - 1).
  std::vector<catalogo::PeriodicidadeDesktop> periodicidades_;
  int32_t modalidadeID_ = 0;
};

}  // namespace kor::ui
