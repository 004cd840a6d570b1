#include "ui/plataforma.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace kor::plataforma {

std::string PastaInstalacao() {
#ifdef _WIN32
  return "C:\\MERIDATONIX\\KOR";
#else
  const passwd* pw = ::getpwuid(::getuid());
  std::string casa = pw && pw->pw_dir ? pw->pw_dir : "/";
  if (casa.size() > 1 && casa.back() == '/') casa.pop_back();
  return casa + "/MERIDATONIX/KOR";
#endif
}

bool AbrePasta(const std::string& pasta) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::fromNativeSeparators(QString::fromLocal8Bit(pasta))));
}

#ifdef _WIN32

Calculadora AbreCalculadora() {
  if (HWND janela = ::FindWindowW(L"SciCalc", nullptr)) {
    ::ShowWindow(janela, SW_SHOWNORMAL);
    ::SetForegroundWindow(janela);
    return Calculadora::Trazida;
  }
  return QProcess::startDetached(QStringLiteral("calc.exe"), {}) ? Calculadora::Iniciada : Calculadora::Ausente;
}

#else

Calculadora AbreCalculadora() {
  // The calculator this program started, while it runs. A window of another
  // program cannot be raised portably here, so a running one is left as it is
  // rather than started a second time.
  static QProcess* aberta = nullptr;
  if (aberta && aberta->state() != QProcess::NotRunning) return Calculadora::Trazida;
  for (const char* nome : {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-gtk", "xcalc"}) {
    const QString programa = QStandardPaths::findExecutable(QString::fromLatin1(nome));
    if (programa.isEmpty()) continue;
    if (!aberta) aberta = new QProcess();  // lives as long as the program
    aberta->start(programa, {});
    if (aberta->waitForStarted(3000)) return Calculadora::Iniciada;
  }
  return Calculadora::Ausente;
}

#endif

}  // namespace kor::plataforma
