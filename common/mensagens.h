// The four message dialogs every window carries, as one interface.
//
// Windows talk to the user only through these. The Qt implementation shows
// real dialogs; MensagensRoteiro (below) records every text and answers
// msg_sn as a test says, so that every handler runs headless.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace kor {

inline constexpr int kRespostaOk = 1;
inline constexpr int kRespostaSim = 6;
inline constexpr int kRespostaNao = 7;

class Mensagens {
 public:
  virtual ~Mensagens() = default;
  // Information and success ("  Atenção"; the export window's "  Informação"). Returns 1.
  virtual int msg_info(const std::string& texto) = 0;
  // Yes/no question ("  Atenção"): 6 for "Sim", 7 for "Não".
  virtual int msg_sn(const std::string& texto) = 0;
  // Refusal or failure (" Atenção"). Returns 1.
  virtual int msg_atencao(const std::string& texto) = 0;
  // Input ("  Procurar", prompt "Procurar por:"); false when cancelled.
  virtual bool msg_procura(std::string& texto) = 0;
};

// A scripted implementation: records what was shown and answers questions
// from a queue (Sim when the queue is empty).
class MensagensRoteiro : public Mensagens {
 public:
  struct Exibida {
    std::string dialogo;  // "msg_info", "msg_sn", "msg_atencao", "msg_procura"
    std::string texto;
  };

  int msg_info(const std::string& texto) override;
  int msg_sn(const std::string& texto) override;
  int msg_atencao(const std::string& texto) override;
  bool msg_procura(std::string& texto) override;

  // Answers for the next msg_sn calls, in order (6 or 7).
  void responder(std::vector<int> respostas);
  const std::vector<Exibida>& exibidas() const { return exibidas_; }
  // The texts shown in one dialog, in order.
  std::vector<std::string> textos(const std::string& dialogo) const;
  void limpar() { exibidas_.clear(); }

 private:
  std::vector<Exibida> exibidas_;
  std::deque<int> respostas_;
};

}  // namespace kor
