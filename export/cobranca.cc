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

// What the enrolment receivables (planoID 1, not deleted) tell of one
// enrolment: the latest due date among them, and whether one of them is not
// exempted (which keeps a deleted enrolment in the package).
struct Recebiveis {
  bool temVencimento = false;
  double ultimoVencimento = 0;
  bool aberto = false;
};

// One pass over the receivables, grouped by enrolment, instead of one query
// per enrolment (and of a second pass to find the exportable ones).
std::unordered_map<int32_t, Recebiveis> leRecebiveis() {
  TConsulta q(BD().Conexao);
  q.Add("Select idRelaciona, MAX(recebDtVencimento) as DtVencimento, Sum(iif(recebFuncIdIsentou = 0, 1, 0)) as "
        "Abertos from Recebimentos");
  q.Add("Where recebExcluido = False and planoID = 1 Group by idRelaciona");
  q.Open();
  const TCampo matricula = q.Fields(0), vencimento = q.Fields(1), abertos = q.Fields(2);
  std::unordered_map<int32_t, Recebiveis> out;
  for (; !q.Eof(); q.Next()) {
    if (matricula.IsNull()) continue;
    Recebiveis r;
    r.temVencimento = !vencimento.IsNull();
    r.ultimoVencimento = vencimento.AsDateTime();
    r.aberto = abertos.AsInteger() > 0;
    out.emplace(matricula.AsInteger(), r);
  }
  return out;
}

// The enrolments that are exported: not deleted, or still holding a
// non-deleted, non-exempted enrolment receivable; in matriculaID order.
std::vector<Inscricao> leInscricoes(const std::unordered_map<int32_t, Recebiveis>& recebiveis) {
  TConsulta q(BD().Conexao);
  q.Add("SELECT matriculaID, matriculaDtInicio, matriculaDtFim, matriculaValor, matriculaForma, matriculaSituacao, "
        "matriculaDiaVencimento, matriculaExcluida, matriculaDtEncerramento");
  q.Add("FROM Matricula ORDER BY matriculaID");
  q.Open();
  const TCampo id = q.FieldByName("matriculaID"), inicio = q.FieldByName("matriculaDtInicio"),
               fim = q.FieldByName("matriculaDtFim"), valor = q.FieldByName("matriculaValor"),
               forma = q.FieldByName("matriculaForma"), situacao = q.FieldByName("matriculaSituacao"),
               dia = q.FieldByName("matriculaDiaVencimento"), excluida = q.FieldByName("matriculaExcluida"),
               encerramento = q.FieldByName("matriculaDtEncerramento");
  std::vector<Inscricao> out;
  for (; !q.Eof(); q.Next()) {
    Inscricao m;
    m.id = id.AsInteger();
    auto r = recebiveis.find(m.id);
    const bool naoExcluida = !excluida.IsNull() && !excluida.AsBoolean();  // "= False": Null is not
    if (!naoExcluida && (r == recebiveis.end() || !r->second.aberto)) continue;
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
  const std::unordered_map<int32_t, Recebiveis> recebiveis = leRecebiveis();
  const std::vector<Inscricao> inscricoes = leInscricoes(recebiveis);
  // Thousands of one-row updates: one transaction, so the file is written once.
  TTransacao transacao(BD().Conexao);
  std::optional<ErroBanco> falha;
  for (const Inscricao& m : inscricoes) {
    auto r = recebiveis.find(m.id);
    const double* ultimo = r != recebiveis.end() && r->second.temVencimento ? &r->second.ultimoVencimento : nullptr;
    double d;
    try {
      d = dataDaCobranca(m, ultimo, hoje);
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
