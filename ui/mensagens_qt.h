// The four message dialogs as Qt dialogs, and the one place every window
// takes its dialogs from.
//
// Windows never build a message box themselves: the form base and the export
// window ask Mensagens*() below, which answer the Qt dialogs unless a test
// has put scripted ones (MensagensRoteiro) in their place.
#pragma once

#include <string>

#include "common/mensagens.h"

namespace kor::ui {

class MensagensQt : public Mensagens {
 public:
  enum class Estilo {
    Modelo,     // windows of the form base: Tahoma, msg_info "  Atenção"
    Principal,  // the export window: Verdana, msg_info "  Informação"
  };
  explicit MensagensQt(Estilo estilo = Estilo::Modelo) : estilo_(estilo) {}

  int msg_info(const std::string& texto) override;
  int msg_sn(const std::string& texto) override;
  int msg_atencao(const std::string& texto) override;
  bool msg_procura(std::string& texto) override;

 private:
  Estilo estilo_;
};

// The dialogs of the windows of the form base, and those of the export window.
Mensagens& MensagensModelo();
Mensagens& MensagensPrincipal();
// Puts `m` in place of both sets of Qt dialogs (nullptr gives them back). The
// caller keeps `m` alive while it is in place.
void DefineMensagens(Mensagens* m);

}  // namespace kor::ui
