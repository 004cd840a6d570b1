// The package files. Each value of a row goes through, in this order:
//   1. its text form, trimmed of blanks and control characters;
//   2. each CR LF replaced by one blank;
//   3. the character filter (FiltraCaracteres);
//   4. the fix-ups of its table and column. In any column but the last:
//        a  Alunos 8, 9                digits only (phone numbers)
//        b  Matricula 26, 28           trimmed and deciphered (card columns),
//                                      then TAB, CR and LF dropped
//        c  Recibos 3                  "30/12/1899" -> "14/07/2004"
//        d  Recebimentos 0             recorded in Online_RecibosRecebimentos.recebID
//        e  Recebimentos 5             "30/12/1899" -> "14/07/2004"
//        f  Recebimentos 9             "" -> "-"
//        g  Recibos 13                 16 to 24 characters -> "2"
//        h  every table                "30/12/1899" -> ""
//        i  Recibos 4                  "" -> "30/12/1899 12:00:00"
//      In the last column:
//        j  CartaoParcelas 15          "" -> "Master"
//        k  Funcionarios               "" -> the instruction to set the e-mail,
//                                      once the employee e-mail check has run
//        l  RecibosRecebimentos 1      recorded in Online_RecibosRecebimentos.reciboID
// The online service reads the files with these rules; the order of the
// fix-ups decides what each value becomes (h never sees what c or e wrote, i
// runs after h).
//
// The file is written as the rows are read, through a buffer, under a
// temporary name that replaces the file only when it is complete. The rows
// for Online_RecibosRecebimentos go in batches, in one transaction per file.
#include "export/arquivo.h"

#include <array>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/criptografia.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "export/porta.h"

namespace kor {

namespace {

// The filter as a table: the character each byte becomes, 0 for dropped.
constexpr std::array<char, 256> montaFiltro() {
  std::array<char, 256> t{};
  auto keep = [&t](unsigned char de, unsigned char ate) {
    for (unsigned c = de; c <= ate; ++c) t[c] = static_cast<char>(c);
  };
  keep(' ', ' ');
  keep('0', '9');
  keep('A', 'Z');
  keep('a', 'z');
  for (unsigned char c : std::string_view("!\"#$%&()*+,-./:;<=>?@[\\]_{|}")) keep(c, c);
  for (unsigned char c : {0xAA, 0xB2, 0xB3, 0xB9, 0xBA}) keep(c, c);
  // Accented capitals and small letters.
  keep(0xC0, 0xC4);
  keep(0xC7, 0xCF);
  keep(0xD2, 0xD6);
  keep(0xD9, 0xDC);
  keep(0xE0, 0xE4);
  keep(0xE7, 0xEF);
  keep(0xF2, 0xF6);
  keep(0xF9, 0xFD);
  keep(0xFF, 0xFF);
  // Letters the service reads in a plain form (note the crossed thorns).
  constexpr std::pair<unsigned char, char> mapeados[] = {
      {0x8A, 'S'}, {0x83, 'f'}, {0x8E, 'Z'}, {0x9A, 's'}, {0x9E, 'z'}, {0x9F, 'Y'}, {0xC5, 'A'},
      {0xD0, 'D'}, {0xD1, 'N'}, {0xDD, 'Y'}, {0xE5, 'a'}, {0xF1, 'n'}, {0xF8, 'o'}, {0xFE, 'P'},
      {0xD8, 'O'}, {0xDE, 'p'}, {0xDF, 'B'}, {0xB5, 'u'}, {0xA9, 'C'}, {0xAE, 'R'}};
  for (auto [de, para] : mapeados) t[de] = para;
  return t;
}
constexpr std::array<char, 256> kFiltro = montaFiltro();

bool ehBrancoOuControle(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view apara(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && ehBrancoOuControle(s[a])) ++a;
  while (b > a && ehBrancoOuControle(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Steps 1 to 3 into `valor`.
void filtraValor(std::string_view bruto, std::string& valor) {
  valor.clear();
  const std::string_view s = apara(bruto);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      valor += ' ';
      ++i;
    } else if (char c = kFiltro[static_cast<unsigned char>(s[i])]) {
      valor += c;
    }
  }
}

enum class Tabela { Outra, Alunos, Matricula, Recibos, Recebimentos, CartaoParcelas, Funcionarios, RecibosRecebimentos };

Tabela tabelaDe(const std::string& nome) {
  if (nome == "Alunos") return Tabela::Alunos;
  if (nome == "Matricula") return Tabela::Matricula;
  if (nome == "Recibos") return Tabela::Recibos;
  if (nome == "Recebimentos") return Tabela::Recebimentos;
  if (nome == "CartaoParcelas") return Tabela::CartaoParcelas;
  if (nome == "Funcionarios") return Tabela::Funcionarios;
  if (nome == "RecibosRecebimentos") return Tabela::RecibosRecebimentos;
  return Tabela::Outra;
}

constexpr std::string_view kDataZero = "30/12/1899";

// The rows of Online_RecibosRecebimentos recorded while a file is written:
// one value per row, sent in batches of one statement each. A batch the
// engine refuses is sent again row by row, so that only the failing rows are
// missing, as with one statement per row.
class LinhasAuxiliares {
 public:
  explicit LinhasAuxiliares(std::string coluna)
      : inicio_("Insert into Online_RecibosRecebimentos (" + std::move(coluna) + ") Values (") {}

  void adiciona(const std::string& valor) {
    valores_.push_back(valor);
    if (valores_.size() == kLote) grava();
  }

  void grava() {
    if (valores_.empty()) return;
    std::string sql = inicio_;
    for (size_t i = 0; i < valores_.size(); ++i) {
      if (i) sql += "), (";
      sql += valores_[i];
    }
    sql += ')';
    if (ExecutaSQL(sql) != "OK") {
      for (const std::string& v : valores_) ExecutaSQL(inicio_ + v + ")");
    }
    valores_.clear();
  }

 private:
  static constexpr size_t kLote = 20000;
  std::string inicio_;
  std::vector<std::string> valores_;
};

// The file being written: a temporary name beside it until it is complete.
class Saida {
 public:
  explicit Saida(const std::string& caminho) : caminho_(caminho), temporario_(caminho + ".tmp") {
    f_ = std::fopen(temporario_.c_str(), "wb");
    if (!f_) throw std::runtime_error("cannot create " + temporario_);
    buffer_.reserve(kBuffer + 4096);
  }
  ~Saida() {
    if (f_) {
      std::fclose(f_);
      std::remove(temporario_.c_str());
    }
  }
  Saida(const Saida&) = delete;
  Saida& operator=(const Saida&) = delete;

  std::string& buffer() { return buffer_; }
  void talvezDescarrega() {
    if (buffer_.size() >= kBuffer) descarrega();
  }
  void conclui() {
    descarrega();
    FILE* f = f_;
    f_ = nullptr;
    if (std::fclose(f) != 0 || std::rename(temporario_.c_str(), caminho_.c_str()) != 0) {
      std::remove(temporario_.c_str());
      throw std::runtime_error("cannot write " + caminho_);
    }
  }

 private:
  static constexpr size_t kBuffer = 1 << 20;
  void descarrega() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), f_) != buffer_.size()) {
      throw std::runtime_error("cannot write " + temporario_);
    }
    buffer_.clear();
  }

  std::string caminho_, temporario_;
  FILE* f_ = nullptr;
  std::string buffer_;
};

int64_t escreve(TConsulta& q, const std::string& caminho, const std::string& nomeTabela, char separador) {
  const Tabela tabela = tabelaDe(nomeTabela);
  const size_t colunas = q.FieldCount();
  Saida saida(caminho);
  std::string& out = saida.buffer();
  for (size_t i = 0; i < colunas; ++i) {
    if (i) out += separador;
    out += q.Fields(i).FieldName();
  }
  out += "\r\n";

  std::optional<LinhasAuxiliares> auxiliares;
  std::optional<TTransacao> transacao;
  if (tabela == Tabela::Recebimentos || tabela == Tabela::RecibosRecebimentos) {
    auxiliares.emplace(tabela == Tabela::Recebimentos ? "recebID" : "reciboID");
    if (!BD().Conexao.InTransaction()) transacao.emplace(BD().Conexao);
  }
  const std::string instrucaoEmail = Utf8ParaWin1252("Acesse o cadastro do funcionário e defina o e-mail");

  std::vector<TCampo> campos;
  for (size_t i = 0; i < colunas; ++i) campos.push_back(q.Fields(i));
  std::string bruto, valor;  // reused: no allocation per value
  int64_t linhas = 0;
  for (; !q.Eof(); q.Next()) {
    for (size_t i = 0; i < colunas; ++i) {
      bruto.clear();
      campos[i].AcrescentaTexto(bruto);
      filtraValor(bruto, valor);
      if (i + 1 < colunas) {
        switch (tabela) {
          case Tabela::Alunos:
            if (i == 8 || i == 9) valor = ManterCaracteres(valor, Digitos());
            break;
          case Tabela::Matricula:
            if (i == 26 || i == 28) {
              valor = Criptografia("D", apara(valor));
              // A damaged cipher text may decipher to a separator or a line end.
              std::erase_if(valor, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
            }
            break;
          case Tabela::Recibos:
            if (i == 3 && valor == kDataZero) valor = "14/07/2004";
            if (i == 13 && valor.size() > 15 && valor.size() < 25) valor = "2";
            break;
          case Tabela::Recebimentos:
            if (i == 0) auxiliares->adiciona(valor);
            if (i == 5 && valor == kDataZero) valor = "14/07/2004";
            if (i == 9 && valor.empty()) valor = "-";
            break;
          default:
            break;
        }
        if (valor == kDataZero) valor.clear();
        if (tabela == Tabela::Recibos && i == 4 && valor.empty()) valor = "30/12/1899 12:00:00";
        out += valor;
        out += separador;
      } else {
        if (tabela == Tabela::CartaoParcelas && i == 15 && valor.empty()) valor = "Master";
        if (tabela == Tabela::Funcionarios && vVerificouFuncionarios == 1 && valor.empty()) valor = instrucaoEmail;
        if (tabela == Tabela::RecibosRecebimentos && i == 1) auxiliares->adiciona(valor);
        out += valor;
      }
    }
    out += "\r\n";
    ++linhas;
    saida.talvezDescarrega();
  }
  if (auxiliares) auxiliares->grava();
  saida.conclui();
  if (transacao) transacao->Commit();
  return linhas;
}

}  // namespace

std::string FiltraCaracteres(std::string_view texto) {
  std::string out;
  for (unsigned char c : texto) {
    if (char m = kFiltro[c]) out += m;
  }
  return out;
}

int64_t GeraArquivo(TConsulta& qrLista, const std::string& caminho, const std::string& tabela, char separador,
                    Mensagens& mensagens) {
  try {
    return escreve(qrLista, caminho, tabela, separador);
  } catch (const std::exception&) {
    mensagens.msg_atencao(Utf8ParaWin1252("Atenção! Contém dados inválidos para exportação!"));
    throw AbortoSilencioso();
  }
}

}  // namespace kor
