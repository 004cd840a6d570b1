#include "export/trancamentos.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "export/datas.h"

namespace kor {

namespace {

// A locked enrolment, as its lock row is built from it.
struct Trancada {
  int32_t matricula = 0;
  double data = 0;     // matriculaDtTrancamento (Null: the zero date)
  std::string motivo;  // matriculaMotivoTrancamento ("" for Null)
};

std::vector<Trancada> le(TConsulta& q) {
  q.Open();
  const TCampo id = q.Fields(0), data = q.Fields(1), motivo = q.Fields(2);
  std::vector<Trancada> out;
  for (; !q.Eof(); q.Next()) out.push_back({id.AsInteger(), data.AsDateTime(), motivo.AsString()});
  q.Close();
  return out;
}

// The reason as a Jet text literal: trimmed of blanks and control
// characters, each CR LF one blank, in apostrophes with each inner one doubled.
std::string literalDoMotivo(const std::string& motivo) {
  return AspasSimples(QuebrasPorEspaco(Trim(motivo)));
}

void gravaPeriodos(const std::vector<Trancada>& linhas) {
  if (linhas.empty()) return;
  // One transaction: a statement flushed on its own costs more than the rest.
  TTransacao transacao(BD().Conexao);
  for (const Trancada& t : linhas) {
    ExecutaSQL("INSERT INTO MatriculaTrancamentos (matriculaID, DataTrancamento, TrancadoPor, Motivo) VALUES (" +
               std::to_string(t.matricula) + ", #" + DataSQL(t.data) + "#, 0, " + literalDoMotivo(t.motivo) + ")");
  }
  transacao.Commit();
}

// Exportable enrolments: not deleted, or still holding a non-deleted,
// non-exempted enrolment receivable.
constexpr const char* kExportavel =
    "(Select Recebimentos.idRelaciona from Recebimentos where Recebimentos.planoID = 1 and "
    "Recebimentos.recebFuncIdIsentou = 0 and Recebimentos.recebExcluido = False)";

}  // namespace

void GravaTrancamentos() {
  TConsulta qrTrancamento(BD().Conexao);
  qrTrancamento.Add(
      "Select matriculaID, matriculaDtTrancamento, matriculaMotivoTrancamento, matriculaDiasTrancamento from "
      "Matricula");
  qrTrancamento.Add(std::string("Where (matriculaID in ") + kExportavel + " or (matriculaExcluida = False))");
  qrTrancamento.Add(
      "and (matriculaSituacao = 'TRANCADA') and matriculaID not in (Select matriculaID from MatriculaTrancamentos)");
  qrTrancamento.Add("Order by matriculaID");
  gravaPeriodos(le(qrTrancamento));
}

void ReabreTrancamentos() {
  TConsulta qrDestrancamento(BD().Conexao);
  qrDestrancamento.Add(
      "SELECT Matricula.matriculaID, Matricula.matriculaDtTrancamento, Matricula.matriculaMotivoTrancamento, "
      "Matricula.matriculaDiasTrancamento");
  qrDestrancamento.Add(
      "FROM MatriculaTrancamentos RIGHT JOIN Matricula ON MatriculaTrancamentos.matriculaID = Matricula.matriculaID");
  qrDestrancamento.Add(std::string("Where (Matricula.matriculaID in ") + kExportavel +
                       " or (Matricula.matriculaExcluida = False))");
  qrDestrancamento.Add(
      "and (Matricula.matriculaSituacao = 'TRANCADA') and (MatriculaTrancamentos.DataDestrancamento is not null)");
  qrDestrancamento.Add(
      "Group by Matricula.matriculaID, Matricula.matriculaDtTrancamento, Matricula.matriculaMotivoTrancamento, "
      "Matricula.matriculaDiasTrancamento");
  qrDestrancamento.Add("Order by Matricula.matriculaID");
  const std::vector<Trancada> candidatas = le(qrDestrancamento);
  if (candidatas.empty()) return;

  // Whether each enrolment's newest lock row (the highest ID) has an unlock
  // date: one pass over the lock rows instead of one query per enrolment.
  struct Maior {
    int32_t id;
    bool destrancada;
  };
  std::unordered_map<int32_t, Maior> maior;
  {
    TConsulta qrMaior(BD().Conexao);
    qrMaior.SetText("Select ID, matriculaID, DataDestrancamento from MatriculaTrancamentos");
    qrMaior.Open();
    const TCampo id = qrMaior.Fields(0), matricula = qrMaior.Fields(1), destrancamento = qrMaior.Fields(2);
    for (; !qrMaior.Eof(); qrMaior.Next()) {
      if (matricula.IsNull()) continue;
      Maior m{id.AsInteger(), !destrancamento.IsNull()};
      auto [it, nova] = maior.emplace(matricula.AsInteger(), m);
      if (!nova && m.id > it->second.id) it->second = m;
    }
  }
  std::vector<Trancada> reabrir;
  for (const Trancada& t : candidatas) {
    auto it = maior.find(t.matricula);
    if (it != maior.end() && it->second.destrancada) reabrir.push_back(t);
  }
  gravaPeriodos(reabrir);
}

}  // namespace kor
