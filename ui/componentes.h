// Building blocks of the windows: components created with their name, text,
// place and the shared look, so that each window's constructor reads as its
// list of components.
#pragma once

#include <QLineEdit>
#include <QString>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;

namespace kor::ui {

// An upper-case name box: at most `maximo` characters; the keys ! , - . ; = ?
// are ignored while typing, and every "-" is removed from its text when it
// loses the focus (which catches pasted text).
class TEditNome : public QLineEdit {
  Q_OBJECT

 public:
  TEditNome(QWidget* parent, int maximo);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
};

// A page control at (x, y) of w x h, and one page of it.
QTabWidget* PaginaControle(QWidget* pai, const char* nome, int x, int y, int w, int h);
QWidget* Pagina(QTabWidget* controle, const char* nome, const QString& titulo);

QLabel* Rotulo(QWidget* pai, const char* nome, const QString& texto, int x, int y);
QPushButton* Botao(QWidget* pai, const char* nome, const QString& texto, int x, int y, int w = 100, int h = 27);
QComboBox* Lista(QWidget* pai, const char* nome, int x, int y, int w);
// A read-only, disabled, borderless box that shows a name.
QLineEdit* Mostrador(QWidget* pai, const char* nome, int x, int y, int w, int maximo);
// Places any component and names it.
template <class W>
W* Coloca(W* w, const char* nome, int x, int y, int largura, int altura) {
  w->setObjectName(QString::fromLatin1(nome));
  w->setGeometry(x, y, largura, altura);
  return w;
}

}  // namespace kor::ui
