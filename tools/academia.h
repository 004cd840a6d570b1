// Sample academy databases: a generator of realistic desktop databases of
// any size, written as real password-protected .mdb files by our engine.
//
// The data is an academy's: students with Brazilian names, their enrolments
// in modalities of every periodicity, receivables of enrolments, sales and
// other charges, receipts paid in cash, cheque and card, card instalments,
// card-machine calls, lock periods, employees and the company record. It is
// internally consistent: every reference points to an existing row, paid
// receivables are covered by receipts, amounts add up.
//
// The same options always give the same rows (the generator draws from its
// own seeded generator and never from the clock; dates are relative to a
// fixed reference day). A clean database refuses no export check; the dirty
// variant adds the defects that the tool's start-up repairs fix.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace kor::amostra {

struct OpcoesAcademia {
  int64_t alunos = 200;
  uint64_t semente = 1;
  // Adds rows with the defects that the start-up repairs fix.
  bool suja = false;
  // Leaves the database as the wizard does once the user has built the
  // online catalogue and linked every desktop modality with enrolments: the
  // start-up's tables and columns exist, legacy modalities are converted,
  // and the catalogue holds the prices the modalities point to.
  bool pronta = false;
  std::string senha = "lumpa";
  // Called now and then with the students written so far and the total.
  std::function<void(int64_t, int64_t)> progresso;
};

struct ResumoAcademia {
  // The address held by an active student and an active employee with
  // access: the one to give as the account e-mail.
  std::string emailConta;
  std::map<std::string, int64_t> linhas;  // rows written per table
};

// The reference day of the generated data ("today" for it): dates before it
// are the past, due dates after it the future. An OLE Automation date.
double diaReferencia();

// Writes a new database at `caminho`, which must not exist. Throws
// jet::Error (or std::runtime_error) on failure, leaving no half-written
// file behind.
ResumoAcademia geraAcademia(const std::string& caminho, const OpcoesAcademia& opcoes);

}  // namespace kor::amostra
