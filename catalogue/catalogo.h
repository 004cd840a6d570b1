// The online catalogue: what the academy will sell in the online service.
//
// Four tables that the start-up adds to the desktop database hold it:
// Online_Modalidades (CodigoModalidade, Modalidade), Online_Planos
// (CodigoPlano, Plano, Tipo "M" months or "D" day passes, Situacao "1" active
// or "2" inactive), Online_PlanosModalidades (the modalities each plan
// includes) and Online_PlanosValores (CodigoPlanoValor, CodigoPlano, Meses,
// Valor, Situacao: a plan's price for one periodicity). A desktop modality
// points to one price through Modalidades.CodigoPlanoValor (0: not linked).
//
// This file holds the forms in which codes, names, periodicities and prices
// are shown, the cleaning of typed names, and the texts of the link lists.
// All text is Windows-1252.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kor::catalogo {

// A code as the grids show it: at least four digits, zero padded ("0007",
// "12345").
std::string FormataCodigo(int64_t codigo);

// Plan kinds and their list indexes (1 "MENSALIDADE" = "M", 2 "DIÁRIA" = "D").
inline constexpr std::string_view kMensal = "M";
inline constexpr std::string_view kDiaria = "D";
std::string NomeTipo(std::string_view tipo);      // "" for any other kind
int IndiceTipo(std::string_view tipo);            // 0 for any other kind
std::string TipoDoIndice(int indice);             // "" outside 1 and 2

// Situations: "1" active, "2" inactive. The editors name them "ATIVO" and
// "INATIVO", the grids' "Ativa" column "SIM" and "NÃO"; "" for other values.
std::string NomeSituacao(std::string_view situacao);
std::string NomeAtiva(std::string_view situacao);

// The highest periodicity count of a kind: 24 months, 29 day passes, 0 for
// any other kind. Counts run from 1.
int MaximoMeses(std::string_view tipo);

// The name of a price's count for its plan's kind ("MENSAL" ... "BIENAL",
// "1 DIÁRIA", "2 DIÁRIAS" ... "29 DIÁRIAS"); "" outside the kind's range or
// for any other kind.
std::string NomePeriodicidade(std::string_view tipo, int64_t meses);

// The price editor's periodicity list: a blank entry, then the month names
// (kind "M" and any other) or the bare numbers "1" to "29" (kind "D"), so
// that the index of an entry is its count.
std::vector<std::string> ListaPeriodicidades(std::string_view tipo);

// A price as "R$ " and the amount with thousands dots and two decimals
// ("R$ 1.234,50"). `valor` is a currency amount scaled by 10 000.
std::string FormataValor(int64_t valor);

// The periodicity of a desktop modality: its code (1 to 8) and its month and
// day counts as stored (Null is nullopt).
struct PeriodicidadeDesktop {
  double plano = 0;
  std::optional<double> meses;
  std::optional<double> dias;
  friend bool operator==(const PeriodicidadeDesktop&, const PeriodicidadeDesktop&) = default;
};

// "MENSAL" ... "ANUAL" for codes 1 to 6, the month count and " MESES" for 7,
// the day-pass name of the day count for 8; "" otherwise.
std::string NomePeriodicidadeDesktop(const PeriodicidadeDesktop& p);

// The captions of the link lists. A price: plan, " - ", periodicity name,
// " - ", value, then 88 blanks, "-" and the price code (pushed out of the
// list's visible width). A desktop periodicity: its name, 98 blanks, "-",
// the code, "-" and the month count (0 when Null).
std::string LegendaPreco(std::string_view plano, std::string_view tipo, int64_t meses, int64_t valor,
                         int32_t codigoPlanoValor);
std::string LegendaPeriodicidadeDesktop(const PeriodicidadeDesktop& p);

// Name rules of modalities and plans.
// The keys that the name boxes ignore while typing: ! , - . ; = ?
bool TeclaIgnorada(char c);
// The text without any "-" (applied when the name box is left).
std::string RemoveHifens(std::string_view texto);
// The name as stored and compared: trimmed, passed through the name alphabet
// (accents dropped, characters outside it left out), runs of blanks reduced
// to one, and trimmed again, so that no name ends in a blank left by a
// dropped character. Empty when nothing is left: such a name is refused.
std::string LimpaNome(std::string_view digitado);

// The statement that links every unlinked desktop modality of one
// periodicity to a price. All three stored values must match, a Null one
// through "is null", so that day-pass modalities of different counts and
// modalities with a Null count are told apart.
std::string SqlVinculoEmMassa(int32_t codigoPlanoValor, const PeriodicidadeDesktop& p);

}  // namespace kor::catalogo
