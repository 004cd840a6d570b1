// TModelo: the common form base of the wizard, the catalogue dialogs and the
// result form.
//
// A frameless dialog that draws its own skinned frame: a blue border, a
// title bar with the caption and four image buttons (two minimise buttons,
// the hidden turnstile button and the close button), and a body in which the
// derived window places its components (corpo()). It carries the keyboard
// rules every window shares (Esc closes the window unless a numeric or date
// entry box has the focus; Ctrl+Shift+C brings up the calculator), the
// owner-window rule (a window opened without an owner is owned by the window
// that is active when it is created, and stays above it), and the four
// message dialogs, which it takes from MensagensModelo().
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPoint>
#include <exception>
#include <string>

class QToolButton;

namespace kor::ui {

class TModelo : public QDialog {
  Q_OBJECT

 public:
  // Title bar height and border width of the frame.
  static constexpr int kBarra = 29;
  static constexpr int kBorda = 3;

  explicit TModelo(QWidget* parent = nullptr);

  // The client area, below the title bar and inside the border. Positions
  // of the derived windows' components are relative to it.
  QWidget* corpo() const { return corpo_; }
  // Sets the client area's size (606 x 408 unless a window sets its own);
  // the window is as large as that plus its frame, and keeps that size.
  void setClientSize(int largura, int altura);

  // The message dialogs (caption, icon and answers as the system's own).
  int msg_info(const std::string& texto);
  int msg_sn(const std::string& texto);  // 6 "Sim", 7 "Não"
  int msg_atencao(const std::string& texto);
  bool msg_procura(std::string& texto);

  // Services over the components that `dono` holds (at any depth): edit
  // boxes become read-only and lists and check boxes disabled; the edit
  // boxes' texts cleared; one control's background made white.
  static void BloqueiaComponentes(QWidget* dono);
  static void LimpaEdits(QWidget* dono);
  static void semfocus(QWidget* controle);

  // The title-bar buttons.
  QToolButton* btXMinimizarX;
  QToolButton* btYMinimizarY;
  QToolButton* btZCatracaZ;  // hidden in every window
  QToolButton* btYFechar;

 signals:
  // The window is being shown for the first time: derived windows read their
  // hand-off variables and fill their controls then.
  void PrimeiraExibicao();

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void changeEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

  // Runs a handler. An engine error that the handler itself does not catch
  // ends it and is shown with the engine's text.
  template <class F>
  void Protegido(F&& handler) {
    try {
      handler();
    } catch (const std::exception& e) {
      msg_atencao(e.what());
    }
  }

 private slots:
  void Esc();
  void Calculadora();
  void btXMinimizarXClick();
  void btYMinimizarYClick();
  void btZCatracaZClick();
  void btYFecharClick();

 private:
  void PosicionaBotoes();

  QWidget* corpo_;
  bool exibido_ = false;
  bool arrastando_ = false;
  QPoint origemArraste_;
};

// Opens a window of class T modally, owned by the active window, and releases
// it when it closes. Every call opens a fresh window, which takes its inputs
// from the hand-off variables when it is shown.
template <class T>
void AbreFormulario() {
  T janela(QApplication::activeWindow());
  janela.exec();
}

}  // namespace kor::ui
