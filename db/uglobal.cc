#include "db/uglobal.h"

#include <cmath>

#include "db/bd.h"
#include "jet/sql/value_ops.h"

namespace kor {

std::string ExecutaSQL(const std::string& sql) {
  std::string status = "FALHA!";
  try {
    TComando cmd(BD().Conexao);
    cmd.ParamCheck = false;
    cmd.CommandText = sql;
    cmd.Execute();
    status = "OK";
  } catch (const ErroBanco& e) {
    status = e.what();
  } catch (const std::exception& e) {
    status = e.what();
  }
  return status;
}

int32_t RetornaTotal(const std::string& sql) {
  try {
    TConsulta q(BD().Conexao);
    q.ParamCheck = false;
    q.SetText(sql);
    q.Open();
    if (q.RecordCount() <= 0) return 0;
    jet::Value v = q.FieldByName("Total").Value();
    if (v.isNull()) return 0;
    double d = jet::sql::toDouble(v);
    double r = std::nearbyint(d);  // the default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return 0;
    return static_cast<int32_t>(r);
  } catch (...) {
    return 0;
  }
}

namespace {

int32_t lookup(TConsulta& q) {
  if (q.Active()) q.Close();
  q.Open();
  int32_t r = 0;
  if (!q.Eof()) r = static_cast<int32_t>(std::nearbyint(q.Fields(0).AsFloat()));
  q.Close();
  return r;
}

}  // namespace

int32_t BuscaCodigoModalidade(const std::string& nome) {
  TConsulta& q = BD().qrBuscaModalidade;
  q.Close();
  q.SetParametro(0, nome);
  return lookup(q);
}

int32_t BuscaCodigoPlano(const std::string& nome) {
  TConsulta& q = BD().qrNomePlanos;
  q.Close();
  q.SetParametro(0, nome);
  return lookup(q);
}

int32_t BuscaPlanoValor(int32_t codigoPlano, int32_t meses) {
  TConsulta& q = BD().qrBuscaPlanosValores;
  q.Close();
  q.SetParametro(0, codigoPlano);
  q.SetParametro(1, meses);
  return lookup(q);
}

}  // namespace kor
