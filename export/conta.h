// The account e-mail step's check: the address that will own the academy's
// account in the online service must belong to an active student and to an
// active employee who may log in.
#pragma once

#include <string>

namespace kor {

// The refusal shown (msg_atencao) when AceitaEmailConta answers false.
extern const char* const kMsgEmailConta;

// Checks the typed address (Windows-1252; blanks at either end dropped):
// deleted students holding it give it up (this stays in the database
// whatever the outcome), then it must be held by an active student and by an
// active employee with access. On success stores it in vEmailConta and
// returns true; otherwise vEmailConta stays empty and the caller shows
// kMsgEmailConta. An empty or blank address is refused before any statement.
bool AceitaEmailConta(const std::string& endereco);

}  // namespace kor
