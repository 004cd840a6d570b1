#include "ui/texto_qt.h"

#include <QFontDatabase>

#include "common/texto.h"

namespace kor::ui {

QString Qt1252(const std::string& win1252) { return QString::fromStdString(Win1252ParaUtf8(win1252)); }

std::string Win1252(const QString& texto) { return Utf8ParaWin1252(texto.toStdString()); }

namespace {

QString Familia(const QString& pedida) {
  static const QStringList familias = QFontDatabase::families();
  return familias.contains(pedida, Qt::CaseInsensitive) ? pedida : QStringLiteral("DejaVu Sans");
}

}  // namespace

QFont FontePixels(const QString& familia, int pixels, bool negrito) {
  QFont f(Familia(familia));
  f.setPixelSize(pixels);
  f.setBold(negrito);
  return f;
}

QFont FontePontos(const QString& familia, int pontos, bool negrito) {
  QFont f(Familia(familia));
  f.setPointSize(pontos);
  f.setBold(negrito);
  return f;
}

}  // namespace kor::ui
