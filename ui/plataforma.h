// Everything that depends on the operating system, in one place, so that the
// program builds for Linux and for Windows alike.
#pragma once

#include <string>

namespace kor::plataforma {

// The installation folder, without a trailing separator: C:\MERIDATONIX\KOR
// on Windows; on Linux MERIDATONIX/KOR in the user's home directory as the
// password database gives it (not $HOME).
std::string PastaInstalacao();

// Opens a folder in the desktop's file manager. False when no opener took it.
bool AbrePasta(const std::string& pasta);

enum class Calculadora {
  Trazida,   // one was already running: brought forward (Windows) or left as it is
  Iniciada,  // a new one was started
  Ausente,   // no calculator is installed
};

// Brings up the calculator: the running one when there is one, else a new one.
Calculadora AbreCalculadora();

}  // namespace kor::plataforma
