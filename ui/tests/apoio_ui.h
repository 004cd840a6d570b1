// Helpers of the window tests: scripted message dialogs in place of the Qt
// ones, acting on a modal window from inside its own loop, and finding a
// window's components by name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "common/mensagens.h"
#include "common/texto.h"
#include "ui/mensagens_qt.h"

namespace kor::ui::teste {

// Scripted dialogs for every window while the object lives.
class Roteiro : public MensagensRoteiro {
 public:
  Roteiro() { DefineMensagens(this); }
  ~Roteiro() override { DefineMensagens(nullptr); }
  Roteiro(const Roteiro&) = delete;
  Roteiro& operator=(const Roteiro&) = delete;
  // The last text shown in `dialogo`, in UTF-8 ("" when none).
  std::string ultima(const std::string& dialogo) const {
    const auto t = textos(dialogo);
    return t.empty() ? "" : Win1252ParaUtf8(t.back());
  }
};

// Runs `acao` on the first modal window of class T to open (a window opened
// with exec() runs its own loop; the action runs inside it). Gives up after
// about five seconds.
template <class T>
void QuandoAbrir(std::function<void(T&)> acao) {
  auto* timer = new QTimer();
  auto tentativas = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tentativas, acao]() {
    if (T* janela = qobject_cast<T*>(QApplication::activeModalWidget())) {
      if (janela->isVisible()) {
        timer->stop();
        timer->deleteLater();
        acao(*janela);
        return;
      }
    }
    if (++*tentativas > 500) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal window of the expected class opened";
    }
  });
  timer->start(10);
}

// The component `nome` of class W inside `janela`; fails the test when absent.
template <class W>
W* Componente(QWidget& janela, const char* nome) {
  W* w = janela.findChild<W*>(QString::fromLatin1(nome));
  EXPECT_NE(w, nullptr) << "no component " << nome;
  return w;
}

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace kor::ui::teste
