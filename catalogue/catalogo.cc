#include "catalogue/catalogo.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/texto.h"
#include "jet/sql/format.h"

namespace kor::catalogo {

namespace {

// A stored number as SQL writes it: the shortest exact form with a point.
std::string NumeroSql(double v) {
  char buf[32];
  auto [fim, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, fim);
}

// A stored count as the captions show it: the nearest whole number.
int64_t Inteiro(double v) { return std::llround(v); }

const char* const kNomesMeses[] = {"",          "MENSAL",    "BIMESTRAL", "TRIMESTRAL", "QUADRIMESTRAL",
                                   "QUIMESTRAL", "SEMESTRAL", "",          "",           "",
                                   "",          "",          "ANUAL"};

}  // namespace

std::string FormataCodigo(int64_t codigo) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(codigo));
  return buf;
}

std::string NomeTipo(std::string_view tipo) {
  if (tipo == kMensal) return "MENSALIDADE";
  if (tipo == kDiaria) return Utf8ParaWin1252("DIÁRIA");
  return "";
}

int IndiceTipo(std::string_view tipo) { return tipo == kMensal ? 1 : tipo == kDiaria ? 2 : 0; }

std::string TipoDoIndice(int indice) {
  return indice == 1 ? std::string(kMensal) : indice == 2 ? std::string(kDiaria) : "";
}

std::string NomeSituacao(std::string_view situacao) {
  return situacao == "1" ? "ATIVO" : situacao == "2" ? "INATIVO" : "";
}

std::string NomeAtiva(std::string_view situacao) {
  return situacao == "1" ? "SIM" : situacao == "2" ? Utf8ParaWin1252("NÃO") : "";
}

int MaximoMeses(std::string_view tipo) { return tipo == kMensal ? 24 : tipo == kDiaria ? 29 : 0; }

namespace {

std::string NomeMes(int64_t n) {
  if (n < 1 || n > 24) return "";
  if (n == 24) return "BIENAL";
  if (n <= 12 && *kNomesMeses[n]) return kNomesMeses[n];
  return std::to_string(n) + " MESES";
}

std::string NomeDiarias(int64_t n) {
  if (n == 1) return Utf8ParaWin1252("1 DIÁRIA");
  if (n >= 2 && n <= 29) return std::to_string(n) + Utf8ParaWin1252(" DIÁRIAS");
  return "";
}

}  // namespace

std::string NomePeriodicidade(std::string_view tipo, int64_t meses) {
  if (tipo == kMensal) return NomeMes(meses);
  if (tipo == kDiaria) return NomeDiarias(meses);
  return "";
}

std::vector<std::string> ListaPeriodicidades(std::string_view tipo) {
  std::vector<std::string> lista{""};
  if (tipo == kDiaria) {
    for (int n = 1; n <= 29; ++n) lista.push_back(std::to_string(n));
  } else {
    for (int n = 1; n <= 24; ++n) lista.push_back(NomeMes(n));
  }
  return lista;
}

std::string FormataValor(int64_t valor) {
  const jet::Value texto = jet::sql::formatValue(jet::Value::currency(valor), ",0.00");
  return "R$ " + (texto.is<std::string>() ? Utf8ParaWin1252(texto.as<std::string>()) : std::string());
}

std::string NomePeriodicidadeDesktop(const PeriodicidadeDesktop& p) {
  const int64_t plano = Inteiro(p.plano);
  if (p.plano < 8) {
    static const char* const nomes[] = {"MENSAL", "BIMESTRAL", "TRIMESTRAL", "QUADRIMESTRAL", "SEMESTRAL", "ANUAL"};
    if (plano >= 1 && plano <= 6) return nomes[plano - 1];
    if (plano == 7) return std::to_string(p.meses ? Inteiro(*p.meses) : 0) + " MESES";
    return "";
  }
  if (p.plano == 8) return p.dias ? NomeDiarias(Inteiro(*p.dias)) : "";
  return "";
}

std::string LegendaPreco(std::string_view plano, std::string_view tipo, int64_t meses, int64_t valor,
                         int32_t codigoPlanoValor) {
  return std::string(plano) + " - " + NomePeriodicidade(tipo, meses) + " - " + FormataValor(valor) +
         std::string(88, ' ') + "-" + std::to_string(codigoPlanoValor);
}

std::string LegendaPeriodicidadeDesktop(const PeriodicidadeDesktop& p) {
  return NomePeriodicidadeDesktop(p) + std::string(98, ' ') + "-" + std::to_string(Inteiro(p.plano)) + "-" +
         std::to_string(p.meses ? Inteiro(*p.meses) : 0);
}

bool TeclaIgnorada(char c) {
  return c == '!' || c == ',' || c == '-' || c == '.' || c == ';' || c == '=' || c == '?';
}

std::string RemoveHifens(std::string_view texto) {
  std::string out;
  for (char c : texto) {
    if (c != '-') out += c;
  }
  return out;
}

std::string LimpaNome(std::string_view digitado) {
  return Trim(RemoveEspacosDuplos(RemoveAcentos(Trim(digitado))));
}

std::string SqlVinculoEmMassa(int32_t codigoPlanoValor, const PeriodicidadeDesktop& p) {
  auto igual = [](const char* coluna, const std::optional<double>& v) {
    return std::string(" AND ") + coluna + (v ? " = " + NumeroSql(*v) : std::string(" is null"));
  };
  return "Update Modalidades set CodigoPlanoValor = " + std::to_string(codigoPlanoValor) +
         " Where CodigoPlanoValor = 0 AND modalidadePlano = " + NumeroSql(p.plano) +
         igual("modalidadeMeses", p.meses) + igual("modalidadeDias", p.dias);
}

}  // namespace kor::catalogo
