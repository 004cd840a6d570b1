#include "common/mensagens.h"

namespace kor {

int MensagensRoteiro::msg_info(const std::string& texto) {
  exibidas_.push_back({"msg_info", texto});
  return kRespostaOk;
}

int MensagensRoteiro::msg_sn(const std::string& texto) {
  exibidas_.push_back({"msg_sn", texto});
  if (respostas_.empty()) return kRespostaSim;
  int r = respostas_.front();
  respostas_.pop_front();
  return r;
}

int MensagensRoteiro::msg_atencao(const std::string& texto) {
  exibidas_.push_back({"msg_atencao", texto});
  return kRespostaOk;
}

bool MensagensRoteiro::msg_procura(std::string& texto) {
  exibidas_.push_back({"msg_procura", texto});
  return false;
}

void MensagensRoteiro::responder(std::vector<int> respostas) {
  respostas_.insert(respostas_.end(), respostas.begin(), respostas.end());
}

std::vector<std::string> MensagensRoteiro::textos(const std::string& dialogo) const {
  std::vector<std::string> out;
  for (const auto& e : exibidas_) {
    if (e.dialogo == dialogo) out.push_back(e.texto);
  }
  return out;
}

}  // namespace kor
