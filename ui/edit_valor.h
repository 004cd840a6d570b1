// TEditValor: the numeric currency edit box.
//
// While it has the focus it holds a plain decimal number with a decimal comma
// and at most two decimals ("1234,5", "-3"); without the focus it shows the
// amount as "R$ 1.234,50" (negative "- 1.234,50") in bold, and an empty box
// for zero. Esc while it has the focus restores the value it had when it got
// the focus, and does not reach the window.
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <optional>
#include <string>

namespace kor::ui {

class TEditValor : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEditValor(QWidget* parent = nullptr);

  // The amount (scaled by 10 000), nullopt for an empty box or zero.
  std::optional<int64_t> Valor() const;
  void setValor(std::optional<int64_t> valor);
  // The plain decimal text of the amount ("1234,50"), "" for none: what the
  // window validates and stores.
  std::string Texto() const;
  // Empties the box.
  void Limpa() { setValor(std::nullopt); }

 protected:
  bool event(QEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Mostra();
  std::optional<int64_t> Le() const;

  std::optional<int64_t> valor_;
  std::optional<int64_t> aoEntrar_;
};

}  // namespace kor::ui
