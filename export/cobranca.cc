#include "export/cobranca.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "export/datas.h"

namespace kor {

namespace {

// What the computation reads of one enrolment.
struct Inscricao {
  int32_t id = 0;
  double inicio = 0;        // matriculaDtInicio (Null: the zero date)
  double fim = 0;           // matriculaDtFim
  double encerramento = 0;  // matriculaDtEncerramento
  bool encerrada = false;   // matriculaSituacao = "ENCERRADA", case included
  bool mensal = false;      // matriculaForma = "MENSAL", case included
  bool valorZero = false;   // matriculaValor = 0 or Null
  std::string diaVencimento;  // matriculaDiaVencimento as text ("" for Null)
};

std::vector<Inscricao> leInscricoes() {
  TConsulta q(BD().Conexao);
  q.Add("SELECT Matricula.matriculaID, Matricula.alunoID, Matricula.matriculaNumero, Matricula.matriculaDtInicio, "
        "Matricula.matriculaDtFim, Matricula.matriculaValor, Matricula.matriculaForma, Matricula.matriculaSituacao, "
        "Matricula.matriculaDiaVencimento, Matricula.matriculaExcluida, Matricula.matriculaDtEncerramento");
  q.Add("FROM Matricula WHERE Matricula.matriculaID in (Select Recebimentos.idRelaciona from Recebimentos where "
        "Recebimentos.planoID = 1 and Recebimentos.recebFuncIdIsentou = 0 and Recebimentos.recebExcluido = False) "
        "or Matricula.matriculaExcluida = False");
  q.Add("ORDER BY Matricula.matriculaID");
  q.Open();
  const TCampo id = q.FieldByName("matriculaID"), inicio = q.FieldByName("matriculaDtInicio"),
               fim = q.FieldByName("matriculaDtFim"), valor = q.FieldByName("matriculaValor"),
               forma = q.FieldByName("matriculaForma"), situacao = q.FieldByName("matriculaSituacao"),
               dia = q.FieldByName("matriculaDiaVencimento"), encerramento = q.FieldByName("matriculaDtEncerramento");
  std::vector<Inscricao> out;
  for (; !q.Eof(); q.Next()) {
    Inscricao m;
    m.id = id.AsInteger();
    m.inicio = inicio.AsDateTime();
    m.fim = fim.AsDateTime();
    m.encerramento = encerramento.AsDateTime();
    m.encerrada = situacao.AsString() == "ENCERRADA";
    m.mensal = forma.AsString() == "MENSAL";
    m.valorZero = valor.AsCurrency().scaled == 0;
    m.diaVencimento = dia.AsString();
    out.push_back(std::move(m));
  }
  return out;
}

// The latest due date of each enrolment's non-deleted enrolment receivables
// (those with a due date), by matriculaID: one pass over the receivables
// instead of one query per enrolment.
std::unordered_map<int32_t, double> leUltimosVencimentos() {
  TConsulta q(BD().Conexao);
  q.Add("Select idRelaciona, MAX(recebDtVencimento) as DtVencimento from Recebimentos");
  q.Add("Where recebExcluido = False and planoID = 1 Group by idRelaciona");
  q.Open();
  const TCampo matricula = q.Fields(0), vencimento = q.Fields(1);
  std::unordered_map<int32_t, double> out;
  for (; !q.Eof(); q.Next()) {
    if (matricula.IsNull() || vencimento.IsNull()) continue;
    out.emplace(matricula.AsInteger(), vencimento.AsDateTime());
  }
  return out;
}

// The failure of a due day that gives no date, as the date routines word it.
[[noreturn]] void falhaDoDia(const Inscricao& m, const std::string& texto, const char* motivo) {
  std::string msg = "'";
  msg += texto;
  msg += Utf8ParaWin1252(motivo);
  msg += std::to_string(m.id);
  msg += ").";
  throw ErroBanco(msg);
}

// The due day in month `mes` (13: January of the next year) of `ano`, cut to
// the month's last day. A due day that is not a number, or below 1, gives no
// date: ErroBanco.
double proximoVencimento(const Inscricao& m, int mes, int ano) {
  if (mes == 13) {
    mes = 1;
    ++ano;
  }
  int dia = 0;
  const std::string& texto = m.diaVencimento;
  auto [fimNumero, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), dia);
  if (texto.empty() || erro != std::errc() || fimNumero != texto.data() + texto.size()) {
    falhaDoDia(m, texto, "' não é um valor inteiro válido (dia de vencimento da matrícula ");
  }
  if (ano <= 9999) dia = std::min(dia, DiasDoMes(ano, mes));
  if (dia < 1 || ano > 9999) {
    std::string data = std::to_string(dia);
    data += '/';
    data += std::to_string(mes);
    data += '/';
    data += std::to_string(ano);
    falhaDoDia(m, data, "' não é uma data válida (dia de vencimento da matrícula ");
  }
  return OleDe({ano, mes, dia});
}

double proximoVencimentoApos(const Inscricao& m, double ultimo) {
  const DataCivil u = DataDe(ultimo);
  return proximoVencimento(m, u.mes + 1, u.ano);
}

double dataDaCobranca(const Inscricao& m, const double* ultimo, const DataCivil& hoje) {
  if (m.encerrada) {
    double d = m.mensal && ultimo ? proximoVencimentoApos(m, *ultimo) : m.fim;
    const DataCivil c = DataDe(d);
    if (c.ano == 1899 && c.mes == 12 && c.dia == 30) d = m.encerramento;
    return d;
  }
  if (!m.mensal) return m.fim;
  if (ultimo) return proximoVencimentoApos(m, *ultimo);
  return m.valorZero ? proximoVencimento(m, hoje.mes, hoje.ano) : m.inicio;
}

DataCivil hojeDaMaquina() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void calcula(const DataCivil& hoje) {
  const std::vector<Inscricao> inscricoes = leInscricoes();
  const std::unordered_map<int32_t, double> ultimos = leUltimosVencimentos();
  // Thousands of one-row updates: one transaction, so the file is written once.
  TTransacao transacao(BD().Conexao);
  std::optional<ErroBanco> falha;
  for (const Inscricao& m : inscricoes) {
    auto u = ultimos.find(m.id);
    double d;
    try {
      d = dataDaCobranca(m, u == ultimos.end() ? nullptr : &u->second, hoje);
    } catch (const ErroBanco& e) {
      falha = e;
      break;
    }
    ExecutaSQL("Update Matricula set ProximaGeracaoCobranca = #" + DataSQL(d) + "# Where matriculaID = " +
               std::to_string(m.id));
  }
  transacao.Commit();
  if (falha) throw *falha;
}

}  // namespace

void CalculaProximaCobranca() { calcula(hojeDaMaquina()); }

void CalculaProximaCobranca(double hoje) { calcula(DataDe(hoje)); }

}  // namespace kor
