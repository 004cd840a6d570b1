// Helpers of the window tests: scripted message dialogs in place of the Qt
// ones, acting on a modal window from inside its own loop, and finding a
// window's components by name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
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

#include <filesystem>

#include "apoio.h"
#include "app/inicio.h"
#include "db/uglobal.h"
#include "common/globais.h"

namespace kor::ui::teste {

// A prepared sample academy (start-up run: catalogue tables added, legacy
// modalities converted, no catalogue yet), made once per test program and
// copied into a fresh installation folder for each test, with the data
// module connected to it and the hand-off variables zeroed.
class Academia : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (amostra_) return;
    amostra_ = new kor::teste::PastaTemporaria("ui_amostra");
    kor::teste::geraAcademia(CaminhoBanco(amostra_->str()), 40, /*suja=*/false);
    MensagensRoteiro m;
    ASSERT_TRUE(PreparaInicio(amostra_->str(), m));
    kor::teste::desconecta();
  }
  static void TearDownTestSuite() {
    delete amostra_;
    amostra_ = nullptr;
  }
  void SetUp() override {
    LimpaGlobais();
    std::filesystem::copy_file(CaminhoBanco(amostra_->str()), CaminhoBanco(pasta_.str()));
    kor::teste::conecta(CaminhoBanco(pasta_.str()));
  }
  void TearDown() override {
    kor::teste::desconecta();
    LimpaGlobais();
  }

  // Runs a statement that must succeed.
  static void executa(const std::string& sql) { ASSERT_EQ(ExecutaSQL(Utf8ParaWin1252(sql)), "OK") << sql; }
  // Query rows in UTF-8, each row's values joined by TABs.
  static std::vector<std::string> linhas(const std::string& sql) {
    std::vector<std::string> out;
    for (const std::string& l : kor::teste::linhas(Utf8ParaWin1252(sql))) out.push_back(Win1252ParaUtf8(l));
    return out;
  }

  Roteiro roteiro_;
  kor::teste::PastaTemporaria pasta_{"ui_instalacao"};

 private:
  static inline kor::teste::PastaTemporaria* amostra_ = nullptr;
};

// Shows a window and waits until it is the active one.
inline void Mostra(QWidget& w) {
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// Types into a box after giving it the focus, one key per character
// (accented letters too).
inline void Digita(QWidget* w, const QString& texto) {
  w->setFocus();
  for (QChar c : texto) {
    if (c.unicode() < 128) {
      QTest::keyClick(w, static_cast<char>(c.unicode()));
    } else {
      QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }
}

}  // namespace kor::ui::teste
