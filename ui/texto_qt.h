// The Qt boundary of the system's text and the look shared by every window.
//
// The system's text is Windows-1252 (std::string, one byte one character);
// Qt's is UTF-16. Windows convert at their edges only, through these two.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <string>

namespace kor::ui {

QString Qt1252(const std::string& win1252);
// A character that Windows-1252 lacks becomes "?".
std::string Win1252(const QString& texto);

// The family asked for ("Tahoma", "Verdana") when the machine has it, else
// DejaVu Sans, at a size in pixels or in points.
QFont FontePixels(const QString& familia, int pixels, bool negrito = false);
QFont FontePontos(const QString& familia, int pontos, bool negrito = false);

// Colours of the form base.
inline const QColor kCorBorda(13, 93, 229);
inline const QColor kCorCorpo(239, 235, 222);

}  // namespace kor::ui
