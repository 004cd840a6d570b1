#include "export/arquivamento.h"

#include <zip.h>

#include <filesystem>
#include <system_error>

#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"

namespace kor {

namespace fs = std::filesystem;

namespace {

std::string erroZip(zip_t* zip) { return zip_error_strerror(zip_get_error(zip)); }

}  // namespace

bool CompactaPasta(const std::vector<std::string>& arquivos, std::string& erro) {
  const std::string destino = vPastaExportacao + ".kor";
  const std::string temporario = destino + ".tmp";
  std::error_code ec;
  fs::remove(temporario, ec);
  int codigo = 0;
  zip_t* zip = zip_open(temporario.c_str(), ZIP_CREATE | ZIP_EXCL, &codigo);
  if (!zip) {
    zip_error_t e;
    zip_error_init_with_code(&e, codigo);
    erro = std::string(zip_error_strerror(&e)) + ": " + temporario;
    zip_error_fini(&e);
    return false;
  }
  for (const std::string& nome : arquivos) {
    const std::string caminho = vPastaExportacao + "/" + nome;
    zip_source_t* fonte = zip_source_file(zip, caminho.c_str(), 0, -1);
    zip_int64_t indice = fonte ? zip_file_add(zip, nome.c_str(), fonte, ZIP_FL_ENC_GUESS) : -1;
    if (indice < 0) {
      erro = erroZip(zip) + ": " + caminho;
      if (fonte) zip_source_free(fonte);
      zip_discard(zip);
      fs::remove(temporario, ec);
      return false;
    }
    if (zip_set_file_compression(zip, static_cast<zip_uint64_t>(indice), ZIP_CM_DEFLATE, 9) < 0) {
      erro = erroZip(zip);
      zip_discard(zip);
      fs::remove(temporario, ec);
      return false;
    }
  }
  // The files are read and deflated here.
  if (zip_close(zip) < 0) {
    erro = erroZip(zip);
    zip_discard(zip);
    fs::remove(temporario, ec);
    return false;
  }
  fs::rename(temporario, destino, ec);
  if (ec) {
    erro = ec.message() + ": " + destino;
    fs::remove(temporario, ec);
    return false;
  }
  vExportou = 1;
  return true;
}

void LimpaExportacao() {
  ApagaPasta(vPastaExportacao);
  ExecutaSQL("DROP TABLE Online_RecibosRecebimentos");
}

ResultadoExportacao ResultadoAtual() {
  ResultadoExportacao r;
  r.mensagem = Utf8ParaWin1252("Exportação Realizada com Sucesso!");
  if (vExportou == 1) {
    r.segundoPainel = true;
    r.arquivo = "\"migracao_" + vNomeEmpresa + "_sistema.kor\"";
  }
  if (vDuplicados > 0) {
    r.segundoPainel = false;
    r.mensagem = "Verifique os cadastros antes de continuar!";
  }
  return r;
}

}  // namespace kor
