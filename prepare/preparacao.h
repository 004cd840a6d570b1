// Preparation of the desktop database at every start: the fixed list of
// repair and schema statements, the job-code fix for employees, and the
// conversion of legacy modalities into modalities of fixed periodicity.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kor {

// Told of every statement the preparation runs: its text, its status ("OK" or
// the engine's message) and the rows it changed (-1 when it failed).
using ObservadorPreparacao = std::function<void(const std::string& sql, const std::string& status, int64_t linhas)>;

// Runs the repair and schema statements in their fixed order (each failure is
// ignored), then gives employees without a valid job the job "OUTROS".
// `antesDaLonga` runs before the one long statement (to show an hourglass).
void AtualizaBanco(const ObservadorPreparacao& observador = {}, const std::function<void()>& antesDaLonga = {});

// Gives every legacy modality (periodicity 0) one new modality per payment
// form its enrolments use and moves those enrolments onto it; enrolments
// without a form (Null or empty) share one new modality. Engine errors of its
// queries propagate (as ErroBanco).
void ConverteModalidades(const ObservadorPreparacao& observador = {});

// The periodicity given to a payment form that names no periodicity and holds
// no digit (the empty form included): monthly.
inline constexpr int kPlanoFormaDesconhecida = 1;

}  // namespace kor
