#include "export/arquivamento.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>

#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"

namespace kor {

namespace fs = std::filesystem;

// One entry of the archive, deflated ahead of libzip: libzip then copies the
// deflated bytes as they are (its own deflate runs on one core only, and at
// level 9 that is most of the export's time on a large academy).
struct EntradaZip {
  std::string nome;      // bare file name
  std::string caminho;   // file to read
  uint64_t tamanho = 0;  // bytes read
  uint32_t crc = 0;
  time_t mtime = 0;
  std::string deflado;   // raw deflate stream
  std::string erro;      // set when reading or deflating failed
  size_t lidos = 0;      // position of libzip's reading in `deflado`
};

namespace {

// Reads the file in blocks and deflates it (level 9, raw stream) into
// e.deflado: memory stays bounded by the deflated size.
void deflaEntrada(EntradaZip& e) {
  std::FILE* f = std::fopen(e.caminho.c_str(), "rb");
  if (!f) {
    e.erro = std::string(std::strerror(errno)) + ": " + e.caminho;
    return;
  }
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    std::fclose(f);
    e.erro = "deflateInit2";
    return;
  }
  std::vector<unsigned char> entrada(1 << 18), saida(1 << 18);
  uLong crc = crc32(0L, Z_NULL, 0);
  int flush = Z_NO_FLUSH;
  do {
    const size_t n = std::fread(entrada.data(), 1, entrada.size(), f);
    if (std::ferror(f)) {
      e.erro = std::string(std::strerror(errno)) + ": " + e.caminho;
      break;
    }
    flush = std::feof(f) ? Z_FINISH : Z_NO_FLUSH;
    crc = crc32(crc, entrada.data(), static_cast<uInt>(n));
    e.tamanho += n;
    z.next_in = entrada.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = saida.data();
      z.avail_out = static_cast<uInt>(saida.size());
      deflate(&z, flush);
      e.deflado.append(reinterpret_cast<const char*>(saida.data()), saida.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  std::fclose(f);
  e.crc = static_cast<uint32_t>(crc);
}

// A libzip source that hands over an entry's deflated bytes, with the stat
// that tells libzip they are deflated already (and their CRC and size).
zip_int64_t fonteDeflada(void* dados, void* buffer, zip_uint64_t tamanho, zip_source_cmd_t comando) {
  EntradaZip& e = *static_cast<EntradaZip*>(dados);
  switch (comando) {
    case ZIP_SOURCE_OPEN:
      e.lidos = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const size_t n = std::min<size_t>(tamanho, e.deflado.size() - e.lidos);
      std::memcpy(buffer, e.deflado.data() + e.lidos, n);
      e.lidos += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(buffer);
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_MTIME;
      st->size = e.tamanho;
      st->comp_size = e.deflado.size();
      st->comp_method = ZIP_CM_DEFLATE;
      st->crc = e.crc;
      st->mtime = e.mtime;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
      // Bits 1-2 of the general purpose flags: deflated at maximum compression.
      auto* at = static_cast<zip_file_attributes_t*>(buffer);
      at->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
      at->general_purpose_bit_flags = 0x0002;
      at->general_purpose_bit_mask = 0x0006;
      return 0;
    }
    case ZIP_SOURCE_ERROR:  // no error of its own
      std::memset(buffer, 0, 2 * sizeof(int));
      return 2 * sizeof(int);
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
      return -1;
  }
}

std::string erroZip(zip_t* zip) { return zip_error_strerror(zip_get_error(zip)); }

// Writes the entries, in order, into a new archive at `caminho`.
bool gravaZip(const std::string& caminho, const std::vector<std::unique_ptr<EntradaZip>>& entradas, std::string& erro) {
  int codigo = 0;
  zip_t* zip = zip_open(caminho.c_str(), ZIP_CREATE | ZIP_EXCL, &codigo);
  if (!zip) {
    zip_error_t e;
    zip_error_init_with_code(&e, codigo);
    erro = std::string(zip_error_strerror(&e)) + ": " + caminho;
    zip_error_fini(&e);
    return false;
  }
  for (const auto& entrada : entradas) {
    EntradaZip& e = *entrada;
    zip_source_t* fonte = zip_source_function(zip, fonteDeflada, &e);
    const zip_int64_t indice = fonte ? zip_file_add(zip, e.nome.c_str(), fonte, ZIP_FL_ENC_GUESS) : -1;
    if (indice < 0 || zip_set_file_compression(zip, static_cast<zip_uint64_t>(indice), ZIP_CM_DEFLATE, 9) < 0) {
      erro = erroZip(zip) + ": " + e.nome;
      if (fonte && indice < 0) zip_source_free(fonte);
      zip_discard(zip);
      return false;
    }
  }
  if (zip_close(zip) < 0) {
    erro = erroZip(zip) + ": " + caminho;
    zip_discard(zip);
    return false;
  }
  return true;
}

}  // namespace

Compactador::Compactador() {
  // The run's own thread goes on with the next table meanwhile.
  const unsigned nucleos = std::thread::hardware_concurrency();
  for (unsigned t = 0; t < std::max(1u, nucleos > 1 ? nucleos - 1 : 1u); ++t) threads_.emplace_back([this] { trabalha(); });
}

Compactador::~Compactador() {
  {
    std::lock_guard<std::mutex> trava(mutex_);
    parar_ = true;
    fila_.clear();
  }
  sinal_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void Compactador::trabalha() {
  for (;;) {
    EntradaZip* e = nullptr;
    {
      std::unique_lock<std::mutex> trava(mutex_);
      sinal_.wait(trava, [this] { return parar_ || !fila_.empty(); });
      if (fila_.empty()) return;
      e = fila_.front();
      fila_.pop_front();
    }
    deflaEntrada(*e);
  }
}

void Compactador::Adiciona(const std::string& nome) {
  auto e = std::make_unique<EntradaZip>();
  e->nome = nome;
  e->caminho = vPastaExportacao + "/" + nome;
  std::error_code ec;
  const auto quando = fs::last_write_time(e->caminho, ec);
  e->mtime = ec ? std::time(nullptr) : std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(quando));
  {
    std::lock_guard<std::mutex> trava(mutex_);
    fila_.push_back(e.get());
    entradas_.push_back(std::move(e));
  }
  sinal_.notify_one();
}

bool Compactador::Conclui(std::string& erro) {
  // This thread deflates too, then waits for the entries still in hand.
  for (;;) {
    EntradaZip* e = nullptr;
    {
      std::lock_guard<std::mutex> trava(mutex_);
      if (fila_.empty()) break;
      e = fila_.front();
      fila_.pop_front();
    }
    deflaEntrada(*e);
  }
  {
    std::lock_guard<std::mutex> trava(mutex_);
    parar_ = true;
  }
  sinal_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();

  for (const auto& e : entradas_) {
    if (!e->erro.empty()) {
      erro = e->erro;
      return false;
    }
  }
  const std::string destino = vPastaExportacao + ".kor";
  const std::string temporario = destino + ".tmp";
  std::error_code ec;
  fs::remove(temporario, ec);
  if (!gravaZip(temporario, entradas_, erro)) {
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

bool CompactaPasta(const std::vector<std::string>& arquivos, std::string& erro) {
  Compactador compactador;
  for (const std::string& nome : arquivos) compactador.Adiciona(nome);
  return compactador.Conclui(erro);
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
