#include "tools/academia.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/criptografia.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"
#include "tools/esquema.h"

namespace kor::amostra {
namespace {

using jet::Value;

// ---------------------------------------------------------------------------
// Deterministic random numbers: xoshiro256** seeded through splitmix64. The
// draws depend only on the seed, never on the library or the platform.

uint64_t splitmix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Sorteio {
 public:
  explicit Sorteio(uint64_t semente) {
    for (auto& v : s_) v = splitmix64(semente);
  }
  uint64_t proximo() {
    uint64_t r = rotl(s_[1] * 5, 7) * 9;
    uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return r;
  }
  // 0 <= result < n (n > 0).
  int64_t abaixo(int64_t n) {
    __extension__ using U128 = unsigned __int128;
    return static_cast<int64_t>((static_cast<U128>(proximo()) * static_cast<uint64_t>(n)) >> 64);
  }
  int64_t entre(int64_t lo, int64_t hi) { return lo + abaixo(hi - lo + 1); }
  // True with probability porMil / 1000.
  bool chance(int porMil) { return abaixo(1000) < porMil; }
  template <class T, size_t N> const T& um(const std::array<T, N>& a) { return a[abaixo(N)]; }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<uint64_t, 4> s_;
};

// A yes/no that depends only on (kind, id): which rows carry a defect of the
// dirty variant, chosen apart from the main draws so that the dirty database
// is the clean one plus its defects. One of the rows 4 to 6 always carries
// each kind, so that even a tiny dirty database holds every defect.
bool defeito(uint64_t tipo, int64_t id, int porMil) {
  if (id == 4 + static_cast<int64_t>(tipo % 3)) return true;
  uint64_t x = tipo * 0x100000001B3ull + static_cast<uint64_t>(id);
  return static_cast<int64_t>(splitmix64(x) % 1000) < porMil;
}

// ---------------------------------------------------------------------------
// Values.

Value L(int64_t v) { return Value(static_cast<int32_t>(v)); }
Value I(int64_t v) { return Value(static_cast<int16_t>(v)); }
Value D(double v) { return Value(v); }
Value B(bool v) { return Value(v); }
Value T(std::string v) { return Value(std::move(v)); }
Value N() { return Value(); }
Value Cents(int64_t centavos) { return Value::currency(centavos * 100); }
Value Dt(double dia) { return Value::date(dia); }

double data(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  jet::CivilDateTime c;
  c.year = y;
  c.month = m;
  c.day = d;
  c.hour = hh;
  c.minute = mm;
  c.second = ss;
  return jet::fromCivil(c);
}

int diasNoMes(int y, int m) {
  static const int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool bissexto = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && bissexto ? 29 : dias[m - 1];
}

// The day `dia` (cut to the month's length) of the month `meses` after the
// month of `base`.
double somaMeses(double base, int meses, int dia) {
  jet::CivilDateTime c = jet::toCivil(base);
  int total = c.year * 12 + (c.month - 1) + meses;
  int y = total / 12, m = total % 12 + 1;
  return data(y, m, std::min(dia, diasNoMes(y, m)));
}

double soDia(double d) { return std::floor(d); }

std::string doisDigitos(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// Plain lower-case ASCII of a Portuguese name, for e-mail addresses.
std::string semAcentos(std::string_view s) {
  static const std::pair<std::string_view, char> mapa[] = {
      {"á", 'a'}, {"à", 'a'}, {"â", 'a'}, {"ã", 'a'}, {"ä", 'a'}, {"é", 'e'}, {"ê", 'e'}, {"è", 'e'},
      {"í", 'i'}, {"ì", 'i'}, {"ó", 'o'}, {"ô", 'o'}, {"õ", 'o'}, {"ö", 'o'}, {"ú", 'u'}, {"ü", 'u'},
      {"ç", 'c'}, {"Á", 'a'}, {"À", 'a'}, {"Â", 'a'}, {"Ã", 'a'}, {"É", 'e'}, {"Ê", 'e'}, {"Í", 'i'},
      {"Ó", 'o'}, {"Ô", 'o'}, {"Õ", 'o'}, {"Ú", 'u'}, {"Ü", 'u'}, {"Ç", 'c'}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    bool achou = false;
    for (const auto& [de, para] : mapa) {
      if (s.substr(i, de.size()) == de) {
        out += para;
        i += de.size();
        achou = true;
        break;
      }
    }
    if (achou) continue;
    char c = s[i++];
    if (c >= 'A' && c <= 'Z') out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
    else if (c == ' ') out += '.';
  }
  return out;
}

// ---------------------------------------------------------------------------
// Name lists.

const std::array<std::string_view, 48> kNomes = {
    "João", "José", "Antônio", "Francisco", "Carlos", "Paulo", "Pedro", "Lucas", "Luíz", "Marcos",
    "Luís", "Gabriel", "Rafael", "Daniel", "Marcelo", "Bruno", "Eduardo", "Felipe", "Raimundo",
    "Rodrigo", "Sérgio", "Fábio", "Caio", "Thiago", "Maria", "Ana", "Francisca", "Antônia",
    "Adriana", "Juliana", "Márcia", "Fernanda", "Patrícia", "Aline", "Sandra", "Camila", "Amanda",
    "Bruna", "Jéssica", "Letícia", "Júlia", "Luciana", "Vanessa", "Mariana", "Gabriela", "Vitória",
    "Conceição", "Inês"};
const std::array<std::string_view, 16> kSegundos = {
    "Aparecida", "Cristina", "Helena", "Eduarda", "Clara", "Luísa", "Augusto", "Henrique", "Miguel",
    "Vinícius", "Otávio", "Fátima", "Regina", "Célia", "Emanuel", "Renê"};
const std::array<std::string_view, 40> kSobrenomes = {
    "Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira", "Lima",
    "Gomes", "Costa", "Ribeiro", "Martins", "Carvalho", "Almeida", "Lopes", "Soares", "Fernandes",
    "Vieira", "Barbosa", "Rocha", "Dias", "Nascimento", "Andrade", "Moreira", "Nunes", "Marques",
    "Machado", "Mendes", "Freitas", "Cardoso", "Ramos", "Gonçalves", "Araújo", "Conceição",
    "Brandão", "Magalhães", "Guimarães", "Simões", "Assunção"};
// Surnames with an apostrophe: the SQL of the tool must double it.
const std::array<std::string_view, 5> kSobrenomesApostrofo = {
    "D'Ávila", "Sant'Anna", "D'Angelo", "Dell'Orto", "D'Oliveira"};
const std::array<std::string_view, 6> kDominios = {
    "gmail.com", "hotmail.com", "yahoo.com.br", "outlook.com", "uol.com.br", "bol.com.br"};

struct Cidade {
  std::string_view nome, uf, ddd, cepPrefixo;
};
const std::array<Cidade, 10> kCidades = {{{"São Paulo", "SP", "11", "01"},
                                          {"Rio de Janeiro", "RJ", "21", "20"},
                                          {"Belo Horizonte", "MG", "31", "30"},
                                          {"Curitiba", "PR", "41", "80"},
                                          {"Porto Alegre", "RS", "51", "90"},
                                          {"Salvador", "BA", "71", "40"},
                                          {"Recife", "PE", "81", "50"},
                                          {"Fortaleza", "CE", "85", "60"},
                                          {"Goiânia", "GO", "62", "74"},
                                          {"Florianópolis", "SC", "48", "88"}}};
const std::array<std::string_view, 12> kBairros = {
    "Centro", "Jardim América", "Vila Mariana", "Boa Vista", "Santa Cecília", "Alto da Glória",
    "Água Verde", "Pinheiros", "Savassi", "Copacabana", "Itaim Bibi", "São João"};
const std::array<std::string_view, 12> kRuas = {
    "Rua das Acácias", "Avenida Brasil", "Rua São João", "Rua Sete de Setembro", "Avenida Paulista",
    "Rua Tiradentes", "Rua Dom Pedro II", "Travessa Santa Luzia", "Rua Marechal Deodoro",
    "Alameda dos Ipês", "Rua Barão do Rio Branco", "Rua XV de Novembro"};
const std::array<std::string_view, 5> kEstadosCivis = {"SOLTEIRO", "CASADO", "SEPARADO", "DIVORCIADO",
                                                       "VIÚVO"};

// ---------------------------------------------------------------------------
// Modalities.

struct Modalidade {
  int id;
  std::string_view nome;
  int64_t mensalCentavos;
  int plano;       // desktop periodicity code, 0 for a legacy modality
  int meses, dias; // for codes 7 and 8
  bool excluida;
  bool comMatriculas;
  std::string_view online;  // the online modality it becomes (catalogue)
};

const Modalidade kModalidades[] = {
    {1, "MUSCULAÇÃO", 9990, 1, 0, 0, false, true, "MUSCULACAO"},
    {2, "MUSCULAÇÃO TRIMESTRAL", 26990, 3, 0, 0, false, true, "MUSCULACAO"},
    {3, "NATAÇÃO ADULTO", 21000, 2, 0, 0, false, true, "NATACAO"},
    {4, "PILATES", 52000, 4, 0, 0, false, true, "PILATES"},
    {5, "YOGA SEMESTRAL", 69000, 5, 0, 0, false, true, "YOGA"},
    {6, "CROSSFIT ANUAL", 179000, 6, 0, 0, false, true, "CROSSFIT"},
    {7, "JUDÔ INFANTIL", 95000, 7, 10, 0, false, true, "JUDO"},
    {8, "SPINNING 10 AULAS", 15000, 8, 0, 10, false, true, "SPINNING"},
    {9, "GINÁSTICA LOCALIZADA", 8500, 1, 0, 0, false, true, "GINASTICA"},
    {10, "DANÇA DE SALÃO", 11000, 1, 0, 0, false, true, "DANCA DE SALAO"},
    {11, "HIDROGINÁSTICA", 13000, 0, 0, 0, false, true, "HIDROGINASTICA"},
    {12, "NATAÇÃO INFANTIL", 12000, 0, 0, 0, false, true, "NATACAO"},
    {13, "JIU-JITSU", 14000, 0, 0, 0, false, true, "JIU JITSU"},
    {14, "FUNCIONAL 18 MESES", 150000, 7, 18, 0, false, true, "FUNCIONAL"},
    {15, "BOXE DIÁRIA", 3000, 8, 0, 1, false, true, "BOXE"},
    {16, "ZUMBA", 7000, 1, 0, 0, true, false, ""},
    {17, "KARATÊ", 24000, 3, 0, 0, false, false, ""},
};
constexpr int kNumModalidades = sizeof(kModalidades) / sizeof(kModalidades[0]);

// Legacy modalities: each enrolment names its own payment form. The pairs of
// (legacy modality, form) that enrolments use, in the order the conversion
// of legacy modalities meets them (modality code, then form).
struct ParLegado {
  int modalidade;
  std::string_view forma;
  int64_t precoCentavos;  // value plus discount of the pair's enrolments
};
const ParLegado kParesLegados[] = {
    {11, "3 MESES", 36000},  {11, "MENSAL", 13000}, {12, "ANUAL", 130000},
    {12, "MENSAL", 12000},   {13, "18 MESES", 220000}, {13, "MENSAL", 14000},
};
constexpr int kNumParesLegados = sizeof(kParesLegados) / sizeof(kParesLegados[0]);

// Months one payment period covers, for a modality's payment form.
int mesesDaForma(std::string_view forma) {
  if (forma == "MENSAL") return 1;
  if (forma == "BIMESTRAL") return 2;
  if (forma == "TRIMESTRAL") return 3;
  if (forma == "QUADRIMESTRAL") return 4;
  if (forma == "SEMESTRAL") return 6;
  if (forma == "ANUAL") return 12;
  int n = 0;
  for (char c : forma) if (c >= '0' && c <= '9') n = n * 10 + (c - '0');
  return n > 0 ? n : 1;
}

std::string formaDaModalidade(const Modalidade& m) {
  switch (m.plano) {
    case 1: return "MENSAL";
    case 2: return "BIMESTRAL";
    case 3: return "TRIMESTRAL";
    case 4: return "QUADRIMESTRAL";
    case 5: return "SEMESTRAL";
    case 6: return "ANUAL";
    case 7: return std::to_string(m.meses) + " MESES";
    case 8: return std::to_string(m.dias) + (m.dias == 1 ? " DIÁRIA" : " DIÁRIAS");
  }
  return "MENSAL";
}

// ---------------------------------------------------------------------------
// Writing rows.

// Groups inserts into operations of many rows: one journal commit per batch
// instead of one per row.
class Lote {
 public:
  explicit Lote(jet::Database& db) : db_(db) { db_.beginOperation(); }
  void conta() {
    if (++n_ % 20000 == 0) {
      db_.commitOperation();
      db_.beginOperation();
    }
  }
  void fecha() { db_.commitOperation(); }

 private:
  jet::Database& db_;
  int64_t n_ = 0;
};

// One table to write, with its columns in the stored order the generator
// assumes (checked against the table definition once). Columns the table
// has beyond those (added by the start-up) are written as the extra values
// given, or Null.
class Tabela {
 public:
  Tabela(jet::Database& db, Lote& lote, std::string nome, std::vector<std::string_view> colunas)
      : db_(db), lote_(lote), nome_(std::move(nome)) {
    const jet::TableDef& def = db.tableDef(nome_);
    total_ = def.columns.size();
    if (total_ < colunas.size()) throw std::runtime_error("tabela " + nome_ + " com colunas a menos");
    for (size_t i = 0; i < colunas.size(); ++i) {
      if (jet::foldName(def.columns[i].name) != jet::foldName(colunas[i])) {
        throw std::runtime_error("coluna inesperada em " + nome_ + ": " + def.columns[i].name);
      }
    }
    largura_ = colunas.size();
  }
  void insere(std::vector<Value> v) {
    if (v.size() < largura_) throw std::runtime_error("linha curta em " + nome_);
    v.resize(total_);
    db_.insertRow(nome_, std::move(v));
    ++linhas_;
    lote_.conta();
  }
  int64_t linhas() const { return linhas_; }
  const std::string& nome() const { return nome_; }

 private:
  jet::Database& db_;
  Lote& lote_;
  std::string nome_;
  size_t largura_ = 0, total_ = 0;
  int64_t linhas_ = 0;
};

// ---------------------------------------------------------------------------
// The generator.

// The kinds of enrolment that the billing rules and the export tell apart.
enum class Tipo {
  Mensal,            // active, monthly, with receivables
  Periodica,         // active, paid per period (not monthly), with receivables
  Encerrada,         // closed, with an end date equal to its closing date
  ValorZero,         // active, zero value, no receivables
  ValorZeroCobrada,  // active, zero value, with zero receivables
  SemCobranca,       // active, with a value, no receivable yet
  TrancadaComLinhas, // locked, with lock periods
  TrancadaSemLinhas, // locked, without lock periods
  Bloqueada,         // blocked
  ExcluidaAberta,    // deleted, with open receivables
  ExcluidaQuitada,   // deleted, without open receivables
  Recorrente,        // active, monthly, billed by recurring card
  Legada,            // of a legacy modality, with its own payment form
};
constexpr int kNumTipos = 13;

Tipo sorteiaTipo(Sorteio& r) {
  int64_t x = r.abaixo(1000);
  if (x < 330) return Tipo::Mensal;
  if (x < 470) return Tipo::Periodica;
  if (x < 620) return Tipo::Encerrada;
  if (x < 645) return Tipo::ValorZero;
  if (x < 660) return Tipo::ValorZeroCobrada;
  if (x < 690) return Tipo::SemCobranca;
  if (x < 730) return Tipo::TrancadaComLinhas;
  if (x < 750) return Tipo::TrancadaSemLinhas;
  if (x < 780) return Tipo::Bloqueada;
  if (x < 815) return Tipo::ExcluidaAberta;
  if (x < 850) return Tipo::ExcluidaQuitada;
  if (x < 920) return Tipo::Recorrente;
  return Tipo::Legada;
}

struct Aluno {
  int64_t id;
  std::string nome;
  bool excluido;
};

class Gerador {
 public:
  Gerador(jet::Database& db, const OpcoesAcademia& o)
      : db_(db), o_(o), r_(o.semente ^ 0x4B4F52ull), lote_(db), hoje_(diaReferencia()) {}

  ResumoAcademia gera();

 private:
  void criaTabelas();
  void escreveCadastros();
  void escreveFuncionarios();
  void escreveModalidades();
  void escreveAluno(int64_t id);
  void escreveMatricula(const Aluno& a, Tipo tipo);
  void escreveVenda(const Aluno& a);
  void escreveOutraCobranca(int64_t alunoID, const std::string& nome);
  // One receivable; returns its code. When paid, a receipt is written for it.
  int64_t escreveRecebimento(int64_t alunoID, int planoID, int64_t idRelaciona, double vencimento,
                             int64_t valor, int64_t desconto, std::string historico, int parcela,
                             bool pago, bool isento, bool excluido, bool recorrente,
                             const std::string& pagador);
  void escreveRecibo(int64_t alunoID, const std::vector<int64_t>& recebs, int64_t valor, int64_t desconto,
                     double dia, bool recorrente, const std::string& pagador);
  void escreveCatalogo();
  void escreveTrancamentos(int64_t matriculaID, double desde, bool ultimaAberta, std::string_view motivo);
  int64_t funcionario() { return r_.entre(1, numFuncionarios_); }
  // "NUMBER-D": a number from minimo to maximo and a check digit.
  std::string comDigito(int64_t minimo, int64_t maximo) {
    int64_t digito = r_.abaixo(10);
    int64_t numero = r_.entre(minimo, maximo);
    return std::to_string(numero) + "-" + std::to_string(digito);
  }
  double hora() {
    return static_cast<double>(r_.entre(7 * 60, 21 * 60 + 50)) / (24.0 * 60.0);
  }
  // A day of years anoDe to anoAte, months 1 to mesAte, days 1 to 28.
  double diaSorteado(int anoDe, int anoAte, int mesAte);
  // "STREET, NUMBER", the number from minimo to maximo, with an apartment
  // porMilApto times in a thousand.
  std::string endereco(int64_t minimo, int64_t maximo, int porMilApto = 0);
  std::string nomePessoa();
  std::string telefone(const Cidade& c, bool celular);
  std::string nota();
  int64_t modalidadeDaMatricula(int par) const;

  jet::Database& db_;
  const OpcoesAcademia& o_;
  Sorteio r_;
  Lote lote_;
  double hoje_;
  std::vector<std::unique_ptr<Tabela>> tabelas_;
  std::map<std::string, Tabela*, std::less<>> porNome_;
  Tabela& t(std::string_view nome) { return *porNome_.find(nome)->second; }

  int64_t numFuncionarios_ = 0;
  std::string emailConta_;
  std::string dominio_ = "corpoemovimento.com.br";
  int64_t ultimoAlunoEmail_ = 0;
  std::string ultimoEmail_;

  int64_t matriculas_ = 0, recebimentos_ = 0, recibos_ = 0, chamadas_ = 0, vendas_ = 0, itens_ = 0;
  int64_t parcelas_ = 0, cheques_ = 0, trancamentos_ = 0, boletos_ = 0, creditos_ = 0, chamadasReceb_ = 0;
  int64_t numeroMatricula_ = 5000, pagamento_ = 0;
  size_t tipoCiclo_ = 0;
  int parCiclo_ = 0, perCiclo_ = 0;
};

// Every draw below is a statement of its own: the order in which a compiler
// evaluates the arguments of a call (or the operands of +) is unspecified, and
// the same seed must give the same rows whatever compiler built the tool.
double Gerador::diaSorteado(int anoDe, int anoAte, int mesAte) {
  int dia = static_cast<int>(r_.entre(1, 28));
  int mes = static_cast<int>(r_.entre(1, mesAte));
  int ano = static_cast<int>(r_.entre(anoDe, anoAte));
  return data(ano, mes, dia);
}

std::string Gerador::endereco(int64_t minimo, int64_t maximo, int porMilApto) {
  std::string apto;
  if (porMilApto > 0 && r_.chance(porMilApto)) apto = " apto. " + std::to_string(r_.entre(11, 304));
  int64_t numero = r_.entre(minimo, maximo);
  std::string rua(r_.um(kRuas));
  return rua + ", " + std::to_string(numero) + apto;
}

std::string Gerador::nomePessoa() {
  std::string n(r_.um(kNomes));
  if (r_.chance(350)) n += " " + std::string(r_.um(kSegundos));
  if (r_.chance(40)) n += " " + std::string(r_.um(kSobrenomesApostrofo));
  else n += " " + std::string(r_.um(kSobrenomes));
  n += " " + std::string(r_.um(kSobrenomes));
  return n;
}

std::string Gerador::telefone(const Cidade& c, bool celular) {
  int64_t a = celular ? r_.entre(91000, 99999) : r_.entre(2000, 3999);
  int64_t b = r_.entre(0, 9999);
  char buf[40];
  switch (r_.abaixo(4)) {
    case 0:
      std::snprintf(buf, sizeof buf, "(%s) %lld-%04lld", std::string(c.ddd).c_str(), static_cast<long long>(a),
                    static_cast<long long>(b));
      break;
    case 1:
      std::snprintf(buf, sizeof buf, "%s %lld-%04lld", std::string(c.ddd).c_str(), static_cast<long long>(a),
                    static_cast<long long>(b));
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "(%s)%lld%04lld", std::string(c.ddd).c_str(), static_cast<long long>(a),
                    static_cast<long long>(b));
      break;
    default:
      std::snprintf(buf, sizeof buf, "%lld-%04lld", static_cast<long long>(a), static_cast<long long>(b));
  }
  return buf;
}

// A memo note with line breaks and TABs.
std::string Gerador::nota() {
  static const std::array<std::string_view, 6> notas = {
      "Restrição médica:\r\n\tevitar exercícios de impacto\r\nLiberado pelo cardiologista em março",
      "Prefere treinar à noite.",
      "Pagamento combinado:\tdia 10\r\nAvisar a recepção antes de cobrar",
      "Indicação do aluno João D'Ávila\r\nGanhou 1 mês de cortesia",
      "Atestado entregue\t(validade 12 meses)",
      "Ligar para o responsável:\r\n\t(11) 98888-7777\r\n\tfalar com a mãe"};
  return std::string(r_.um(notas));
}

void Gerador::criaTabelas() {
  createDesktopTables(db_);
  if (o_.pronta) {
    // What every start of the tool creates before the wizard shows: the
    // online catalogue tables, the export's auxiliary table and two columns.
    static const char* const kInicio[] = {
        "CREATE TABLE Online_Modalidades (CodigoModalidade AutoIncrement, Modalidade Text(30), PRIMARY KEY (CodigoModalidade))",
        "CREATE TABLE Online_Planos (CodigoPlano AutoIncrement, Plano Text(50), Tipo Text(1), Situacao Text(1), PRIMARY KEY (CodigoPlano))",
        "CREATE TABLE Online_PlanosModalidades(CodigoPlano Number, CodigoModalidade Number, PRIMARY KEY (CodigoPlano,CodigoModalidade))",
        "CREATE TABLE Online_PlanosValores (CodigoPlanoValor AutoIncrement, CodigoPlano Number, Meses Number, Valor Currency, Situacao Text(1), PRIMARY KEY (CodigoPlanoValor))",
        "CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)",
        "ALTER TABLE Matricula ADD ProximaGeracaoCobranca Date",
        "ALTER TABLE Modalidades ADD CodigoPlanoValor Number",
    };
    for (const char* st : kInicio) runDdl(db_, st);
  }
  if (o_.pronta) {
    tabelas_.push_back(std::make_unique<Tabela>(db_, lote_, "Online_Modalidades", std::vector<std::string_view>{"CodigoModalidade", "Modalidade"}));
    tabelas_.push_back(std::make_unique<Tabela>(db_, lote_, "Online_Planos", std::vector<std::string_view>{"CodigoPlano", "Plano", "Tipo", "Situacao"}));
    tabelas_.push_back(std::make_unique<Tabela>(db_, lote_, "Online_PlanosModalidades", std::vector<std::string_view>{"CodigoPlano", "CodigoModalidade"}));
    tabelas_.push_back(std::make_unique<Tabela>(db_, lote_, "Online_PlanosValores", std::vector<std::string_view>{"CodigoPlanoValor", "CodigoPlano", "Meses", "Valor", "Situacao"}));
    for (auto& tb : tabelas_) porNome_[tb->nome()] = tb.get();
  }
  auto add = [&](std::string nome, std::vector<std::string_view> cols) {
    tabelas_.push_back(std::make_unique<Tabela>(db_, lote_, nome, std::move(cols)));
    porNome_[tabelas_.back()->nome()] = tabelas_.back().get();
  };
  add("Alunos", {"alunoID", "alunoMatricula", "alunoNome", "alunoDataNascimento", "alunoSexo",
                 "alunoEstadoCivil", "alunoCPF", "alunoRG", "alunoTelefone", "alunoCelular", "alunoEmail",
                 "alunoEndereco", "alunoBairro", "alunoCidade", "alunoUF", "alunoCEP", "alunoTemCartao",
                 "alunoCartao", "funcID", "alunoDataCadastro", "alunoObs", "alunoExcluido"});
  add("AlunosCreditos", {"CreditoID", "alunoID", "reciboID", "CreditoData", "CreditoValor", "CreditoDescontado",
                         "CreditoObs"});
  add("CartaoParcelas", {"Id", "reciboID", "contaID", "parcelaNumero", "parcelaValor", "parcelaData",
                         "parcelaExcluida", "creditoouDebito", "parcelaDataCaixa", "parcelaCaixa", "caixaID",
                         "parcelasTotal", "parcelaTaxa", "parcelaValorFinal", "pagoRecorrente", "cartaoID"});
  add("ChequesEmitidos", {"chequeID", "contaID", "fornecedorID", "chequeNumero", "chequeNominal", "chequeValor",
                          "chequeDtEmissao", "chequeBomPara", "chequeCompensado", "chequeDtCompensacao",
                          "chequeExcluido", "chequeObs"});
  add("ChequesRecebidos", {"chequeID", "reciboID", "contaID", "chequeNumero", "chequeBanco", "chequeAgencia",
                           "chequeConta", "chequeValor", "chequeBomPara", "chequeCompensado", "chequeSemFundo",
                           "chequeDtCompensacao", "chequeExcluido", "chequeDataCaixa", "chequeCaixa", "chequeObs",
                           "caixaID", "chequeEmitente"});
  add("CieloChamadas", {"Id", "recebID", "Data", "Hora", "Valor", "Parcelas", "identificacao", "Situacao",
                        "Mensagem"});
  add("CieloChamadasRecebimentos", {"Id", "CieloChamada", "recebID", "Valor"});
  add("Descontos", {"descontoID", "descontoDescricao", "descontoPercentual", "descontoValor", "descontoExcluido"});
  add("Empresa", {"empresaID", "empresaRazaoSocial", "empresaNomeFantasia", "empresaCNPJ", "empresaEndereco",
                  "empresaBairro", "empresaCidade", "empresaUF", "empresaCEP", "empresaTelefone", "empresaEmail"});
  add("Fornecedores", {"fornecedorID", "fornecedorNome", "fornecedorCNPJ", "fornecedorContato",
                       "fornecedorTelefone", "fornecedorEmail", "fornecedorEndereco", "fornecedorCidade",
                       "fornecedorUF", "fornecedorObs", "fornecedorExcluido"});
  add("Funcionarios", {"funcID", "funcNome", "funcaoID", "funcCPF", "funcDataNascimento", "funcEndereco",
                       "funcCidade", "funcUF", "funcTelefone", "funcDataAdmissao", "funcSituacao", "funcLogin",
                       "funcSenha", "funcAcesso", "funcExcluido", "funcEmail"});
  add("FuncionariosFuncoes", {"funcaoID", "funcaoDescricao", "funcaoExcluida"});
  add("Matricula", {"matriculaID", "alunoID", "modalidadeID", "descontoID", "matriculaNumero",
                    "matriculaDtInicio", "matriculaDtFim", "matriculaDesconto", "matriculaValor",
                    "matriculaForma", "matriculaSituacao", "matriculaDiaVencimento", "matriculaDtBloqueio",
                    "matriculaDtTrancamento", "matriculaDtEncerramento", "matriculaMotivoBloqueio",
                    "matriculaMotivoEncerramento", "matriculaMotivoTrancamento", "matriculaExcluida",
                    "matriculaDiasTrancamento", "matriculaAulas", "matriculaValorAula", "matriculaDtInicioGeral",
                    "matriculaRecorrente", "RecorrenteForma", "RecorrenteToken", "RecorrenteTruncado",
                    "RecorrenteValidade", "RecorrenteSeguranca", "funcID", "matriculaObs"});
  add("MatriculaTrancamentos", {"ID", "matriculaID", "DataTrancamento", "DataDestrancamento", "TrancadoPor",
                                "DestrancadoPor", "Motivo"});
  add("Modalidades", {"modalidadeID", "modalidadeNome", "modalidadeMensal", "modalidadePlano", "modalidadeMeses",
                      "modalidadeDias", "modalidadeExcluida", "modalidadeVagas", "modalidadeObs"});
  add("Produtos", {"produtoID", "categoriaID", "produtoNome", "produtoCodigoBarras", "produtoUnidade",
                   "produtoCusto", "produtoVenda", "produtoEstoque", "produtoEstoqueMinimo", "produtoExcluido"});
  add("ProdutosCategorias", {"categoriaID", "categoriaDescricao", "categoriaExcluida"});
  add("Recebimentos", {"recebID", "alunoID", "planoID", "idRelaciona", "recebDtEmissao", "recebDtVencimento",
                       "recebValor", "recebDesconto", "recebMulta", "recebHistorico", "recebParcela", "recebPago",
                       "recebDtPagamento", "recebValorPago", "recebFuncIdIsentou", "recebExcluido", "recebObs"});
  add("RecebimentosBoletos", {"boletoID", "recebID", "boletoNossoNumero", "boletoDtEmissao", "boletoDtVencimento",
                              "boletoValor", "boletoLinhaDigitavel", "boletoSituacao"});
  add("Recibos", {"reciboID", "funcionarioID", "formaID", "reciboData", "reciboHora", "reciboValorPagar",
                  "reciboValorPago", "reciboDesconto", "reciboHistorico", "reciboCancelado", "pagamentoID",
                  "reciboObs", "pagoRecorrente", "CieloChamada", "alunoID", "caixaID"});
  add("RecibosRecebimentos", {"recebID", "reciboID"});
  add("Vendas", {"vendaID", "alunoID", "funcID", "funcVendedor", "vendaData", "vendaHora", "vendaDesconto",
                 "vendaValor", "vendaObs"});
  add("VendasItens", {"itemID", "vendaID", "produtoID", "produtoQuantidade", "produtoPrecoCusto", "produtoPreco",
                      "produtoTotal"});
}

void Gerador::escreveCadastros() {
  t("Empresa").insere({L(1), T("Corpo & Movimento Academia Ltda."), T("Corpo & Movimento"),
                       T("12.345.678/0001-90"), T("Avenida Brasil, 1500"), T("Centro"), T("São Paulo"), T("SP"),
                       T("01310100"), T("(11) 3333-4444"), T("contato@" + dominio_)});
  const char* funcoes[] = {"ADMINISTRADOR", "PROFESSOR", "RECEPCIONISTA", "GERENTE", "ESTAGIÁRIO", "LIMPEZA"};
  for (int i = 0; i < 6; ++i) t("FuncionariosFuncoes").insere({L(i + 1), T(funcoes[i]), B(false)});
  t("Descontos").insere({L(1), T("FAMÍLIA"), D(10.0), Cents(0), B(false)});
  t("Descontos").insere({L(2), T("ESTUDANTE"), D(15.0), Cents(0), B(false)});
  t("Descontos").insere({L(3), T("CONVÊNIO EMPRESA"), D(0.0), Cents(2000), B(false)});
  t("Descontos").insere({L(4), T("PROMOÇÃO DE VERÃO"), D(20.0), Cents(0), B(true)});
  const char* categorias[] = {"SUPLEMENTOS", "BEBIDAS", "ROUPAS", "ACESSÓRIOS"};
  for (int i = 0; i < 4; ++i) t("ProdutosCategorias").insere({L(i + 1), T(categorias[i]), B(false)});
  struct Prod {
    int cat;
    const char* nome;
    const char* unidade;
    int64_t custo, venda;
  };
  const Prod produtos[] = {{1, "WHEY PROTEIN 900G", "UN", 8900, 14990},
                           {1, "CREATINA 300G", "UN", 5500, 8990},
                           {1, "BARRA DE PROTEÍNA", "UN", 350, 790},
                           {2, "ÁGUA MINERAL 500ML", "UN", 90, 300},
                           {2, "ISOTÔNICO", "UN", 250, 600},
                           {2, "AÇAÍ 300ML", "UN", 700, 1500},
                           {3, "CAMISETA DRY FIT", "UN", 2200, 4990},
                           {3, "BERMUDA DE TREINO", "UN", 2500, 5990},
                           {3, "TOP FEMININO", "UN", 1900, 4490},
                           {4, "LUVA DE MUSCULAÇÃO", "PAR", 1500, 3990},
                           {4, "GARRAFA 1L", "UN", 1200, 2990},
                           {4, "TOALHA", "UN", 900, 2490},
                           {4, "TOUCA DE NATAÇÃO", "UN", 800, 1990},
                           {4, "ÓCULOS DE NATAÇÃO", "UN", 2100, 4990},
                           {4, "CADEADO", "UN", 600, 1500}};
  int id = 0;
  for (const Prod& p : produtos) {
    ++id;
    t("Produtos").insere({L(id), L(p.cat), T(p.nome), T("789" + std::to_string(1000000000 + id * 7919)),
                          T(p.unidade), Cents(p.custo), Cents(p.venda), D(static_cast<double>(r_.entre(0, 80))),
                          D(5.0), B(id == 15)});
  }
  const char* fornecedores[] = {"Nutri Forte Distribuidora", "Águas da Serra Ltda.", "Fitness Wear Confecções",
                                "Equipamentos Atlântico", "Limpeza Total ME", "Gráfica São José"};
  for (int i = 0; i < 6; ++i) {
    const Cidade& c = r_.um(kCidades);
    t("Fornecedores").insere({L(i + 1), T(fornecedores[i]), T(std::to_string(10 + i) + ".222.333/0001-4" + std::to_string(i)),
                              T(nomePessoa()), T(telefone(c, false)),
                              i == 4 ? N() : T("vendas@fornecedor" + std::to_string(i + 1) + ".com.br"),
                              T(endereco(10, 2000)),
                              T(std::string(c.nome)), T(std::string(c.uf)),
                              i == 0 ? T("Entrega às terças.\r\nPedido mínimo:\tR$ 500,00") : N(), B(i == 5)});
  }
  // Cheques paid to suppliers (this table is checked but never exported).
  int64_t n = std::max<int64_t>(4, o_.alunos / 100);
  for (int64_t i = 1; i <= n; ++i) {
    double emissao = soDia(hoje_) - static_cast<double>(r_.entre(1, 900));
    double bomPara = emissao + static_cast<double>(r_.entre(0, 60));
    bool compensado = bomPara <= hoje_;
    t("ChequesEmitidos").insere({L(i), L(r_.entre(1, 2)), L(r_.entre(1, 6)), T(std::to_string(100000 + i)),
                                 T(fornecedores[r_.abaixo(6)]), Cents(r_.entre(5000, 500000)), Dt(emissao),
                                 Dt(bomPara), B(compensado), compensado ? Dt(bomPara) : N(), B(r_.chance(30)),
                                 r_.chance(200) ? T("Pagamento de fornecedor") : N()});
  }
}

void Gerador::escreveFuncionarios() {
  numFuncionarios_ = std::max<int64_t>(8, o_.alunos / 50 + 4);
  for (int64_t id = 1; id <= numFuncionarios_; ++id) {
    std::string nome = id == 1 ? "Marta Regina Sant'Anna" : nomePessoa();
    const Cidade& c = r_.um(kCidades);
    // The account owner is employee 1; the others mostly active with access.
    bool ativo = id <= 3 || r_.chance(850);
    bool acesso = id <= 3 || r_.chance(600);
    bool excluido = id > 3 && r_.chance(40);
    Value email;
    if (id == 1) {
      email = T(emailConta_);
    } else if (ativo && acesso && !excluido) {
      // Every address that counts for the duplicate check is unique.
      email = T(semAcentos(nome).substr(0, 40) + "." + std::to_string(id) + "@" + dominio_);
    } else if (id % 5 == 0) {
      email = T("");
    } else if (id % 5 == 1) {
      email = N();
    } else {
      // Inactive or without access: a shared address is harmless here.
      email = T("recepcao@" + dominio_);
    }
    int funcao = id == 1 ? 1 : static_cast<int>(r_.entre(2, 6));
    Value funcaoID = L(funcao);
    if (o_.suja && id > 3 && defeito(1, id, 80)) funcaoID = defeito(2, id, 500) ? N() : L(99);
    t("Funcionarios").insere({L(id), T(nome), funcaoID, T("123.456.789-" + doisDigitos(static_cast<int>(id % 100))),
                              Dt(diaSorteado(1960, 2002, 12)), T(endereco(1, 999)),
                              T(std::string(c.nome)), T(std::string(c.uf)), T(telefone(c, true)),
                              Dt(diaSorteado(2008, 2024, 12)),
                              T(ativo ? "ATIVO" : "INATIVO"), T("func" + std::to_string(id)),
                              T(std::to_string(100000 + r_.abaixo(900000))), B(acesso), B(excluido), email});
  }
}

// The code of the modality the enrolments of legacy pair `par` point to: the
// legacy modality itself, or (in a database the tool has prepared) the
// modality that the conversion made for the pair.
int64_t Gerador::modalidadeDaMatricula(int par) const {
  return o_.pronta ? kNumModalidades + 1 + par : kParesLegados[par].modalidade;
}

void Gerador::escreveModalidades() {
  for (const Modalidade& m : kModalidades) {
    std::vector<Value> v = {L(m.id), T(std::string(m.nome)), Cents(m.mensalCentavos), D(m.plano), D(m.meses),
                            D(m.dias), B(m.excluida), L(20 + m.id % 7 * 5),
                            m.id == 1 ? T("Sala 1 e 2\r\nHorário livre:\t6h às 23h") : N()};
    t("Modalidades").insere(std::move(v));
  }
  if (!o_.pronta) return;
  // The modalities that the conversion of legacy modalities adds, one per
  // pair, named "[0011] NAME - FORM", excluded, of fixed periodicity.
  for (int p = 0; p < kNumParesLegados; ++p) {
    const ParLegado& par = kParesLegados[p];
    const Modalidade& m = kModalidades[par.modalidade - 1];
    char prefixo[16];
    std::snprintf(prefixo, sizeof prefixo, "[%04d] ", par.modalidade);
    std::string nome = prefixo + std::string(m.nome) + " - " + std::string(par.forma);
    int plano = 0, meses = 0;
    if (par.forma == "MENSAL") plano = 1;
    else if (par.forma == "ANUAL") plano = 6;
    else {
      plano = 7;
      meses = mesesDaForma(par.forma);
    }
    t("Modalidades").insere({L(modalidadeDaMatricula(p)), T(nome),
                             Cents((par.precoCentavos + 50) / 100 * 100), D(plano), D(meses), D(0), B(true), N(),
                             N()});
  }
}

void Gerador::escreveAluno(int64_t id) {
  const Cidade& c = r_.um(kCidades);
  Aluno a;
  a.id = id;
  a.nome = id == 1 ? "Marta Regina Sant'Anna" : nomePessoa();
  a.excluido = id > 1 && r_.chance(40);
  // E-mail: mostly unique; some empty or null; every 40th student shares the
  // previous one's address in another letter case.
  Value email;
  int64_t x = r_.abaixo(1000);
  if (id == 1) {
    email = T(emailConta_);
  } else if (id % 40 == 0 && ultimoAlunoEmail_ == id - 1 && !ultimoEmail_.empty()) {
    std::string e = ultimoEmail_;
    for (size_t i = 0; i < e.size(); ++i) {
      if ((i == 0 || e[i - 1] == '.' || e[i - 1] == '@') && e[i] >= 'a' && e[i] <= 'z') e[i] = static_cast<char>(e[i] - 32);
    }
    email = T(e);
  } else if (x < 50) {
    email = N();
  } else if (x < 90) {
    email = T("");
  } else {
    std::string e = semAcentos(a.nome);
    if (e.size() > 40) e = e.substr(0, 40);
    e += std::to_string(id) + "@" + std::string(r_.um(kDominios));
    email = T(e);
    ultimoAlunoEmail_ = id;
    ultimoEmail_ = e;
  }
  double nascimento = diaSorteado(1950, 2015, 12);
  Value vNasc = r_.chance(30) ? N() : Dt(nascimento);
  Value sexo = L(r_.entre(1, 2));
  Value estado = r_.chance(150) ? N() : T(std::string(r_.um(kEstadosCivis)));
  std::string cep = std::string(c.cepPrefixo) + std::to_string(r_.entre(100000, 999999));
  Value vCep = r_.chance(30) ? T("") : T(cep);
  Value func = L(r_.entre(1, std::min<int64_t>(numFuncionarios_, 8)));
  if (o_.suja && id > 1) {
    if (defeito(10, id, 30)) sexo = N();
    if (defeito(11, id, 30)) estado = T(defeito(12, id, 500) ? "UNIÃO ESTÁVEL" : "NAMORANDO");
    if (defeito(13, id, 30)) func = N();
    if (defeito(14, id, 20)) vNasc = Dt(data(defeito(15, id, 500) ? 1850 : 2090, 5, 10));
    if (defeito(16, id, 30)) vCep = T(defeito(17, id, 500) ? cep.substr(0, 5) + "-" + cep.substr(5) : "SEM CEP");
  }
  int cpfDigitos = static_cast<int>(r_.abaixo(100));
  int64_t cpf3 = r_.entre(100, 999);
  int64_t cpf2 = r_.entre(100, 999);
  int64_t cpf1 = r_.entre(100, 999);
  std::string cpf = std::to_string(cpf1) + "." + std::to_string(cpf2) + "." + std::to_string(cpf3) + "-" +
                    doisDigitos(cpfDigitos);
  bool cartao = r_.chance(300);
  t("Alunos").insere(
      {L(id), L(1000 + id), T(a.nome), vNasc, sexo, estado, T(cpf),
       r_.chance(100) ? N() : T(std::to_string(r_.entre(1000000, 99999999))),
       r_.chance(200) ? T("") : T(telefone(c, false)), r_.chance(80) ? N() : T(telefone(c, true)), email,
       T(endereco(1, 3000, 200)),
       T(std::string(r_.um(kBairros))), T(std::string(c.nome)), T(std::string(c.uf)), vCep, B(cartao),
       cartao ? T(std::to_string(r_.entre(100000, 999999))) : N(), func,
       Dt(diaSorteado(2012, 2025, 5)),
       r_.chance(80) ? T(nota()) : N(), B(a.excluido)});

  // Enrolments: two on average. The first enrolments of the database cycle
  // through every kind (and every legacy pair), so that even a small
  // database holds each of them.
  static const std::vector<Tipo> ciclo = [] {
    std::vector<Tipo> tipos;
    for (int i = 0; i < kNumTipos; ++i) tipos.push_back(static_cast<Tipo>(i));
    for (int i = 1; i < kNumParesLegados; ++i) tipos.push_back(Tipo::Legada);
    for (int i = 0; i < kNumTipos; ++i) tipos.push_back(static_cast<Tipo>(i));
    return tipos;
  }();
  int n = static_cast<int>(r_.entre(1, 3));
  for (int i = 0; i < n; ++i) {
    Tipo tipo;
    if (id == 1) tipo = Tipo::Mensal;  // the account owner's own enrolment
    else if (tipoCiclo_ < ciclo.size()) tipo = ciclo[tipoCiclo_++];
    else tipo = sorteiaTipo(r_);
    escreveMatricula(a, tipo);
  }
  if (r_.chance(550)) escreveVenda(a);
  if (r_.chance(450)) escreveOutraCobranca(id, a.nome);
}

void Gerador::escreveTrancamentos(int64_t matriculaID, double desde, bool ultimaAberta, std::string_view motivo) {
  int n = static_cast<int>(r_.entre(1, 3));
  double dia = desde + static_cast<double>(r_.entre(20, 60));
  for (int i = 0; i < n && dia < hoje_ - 1; ++i) {
    bool ultima = i == n - 1 || dia + 40 >= hoje_ - 1;
    bool aberta = ultima && ultimaAberta;
    double fim = std::min(dia + static_cast<double>(r_.entre(7, 35)), soDia(hoje_) - 1);
    t("MatriculaTrancamentos").insere({L(++trancamentos_), L(matriculaID), Dt(dia), aberta ? N() : Dt(fim),
                                       L(funcionario()), aberta ? N() : L(funcionario()),
                                       T(std::string(i == 0 ? motivo : "Viagem"))});
    if (ultima) break;
    dia = fim + static_cast<double>(r_.entre(30, 120));
  }
}

void Gerador::escreveMatricula(const Aluno& a, Tipo tipo) {
  int64_t id = ++matriculas_;
  // Modality and payment form.
  const Modalidade* m = nullptr;
  int par = -1;
  std::string forma;
  int64_t preco = 0;
  if (tipo == Tipo::Legada) {
    par = parCiclo_ < kNumParesLegados ? parCiclo_++ : static_cast<int>(r_.abaixo(kNumParesLegados));
    m = &kModalidades[kParesLegados[par].modalidade - 1];
    forma = std::string(kParesLegados[par].forma);
    preco = kParesLegados[par].precoCentavos;
  } else {
    // Monthly kinds take a monthly modality; the others any fixed one, the
    // first of them cycling through every periodicity code.
    static const int mensais[] = {1, 9, 10};
    static const int periodicas[] = {2, 3, 4, 5, 6, 7, 8, 14, 15};
    bool mensal = tipo == Tipo::Mensal || tipo == Tipo::Recorrente || tipo == Tipo::ValorZero ||
                  tipo == Tipo::ValorZeroCobrada || tipo == Tipo::SemCobranca;
    int mid;
    if (mensal) mid = mensais[r_.abaixo(3)];
    else if (perCiclo_ < 9) mid = periodicas[perCiclo_++];
    else mid = r_.chance(500) ? mensais[r_.abaixo(3)] : periodicas[r_.abaixo(9)];
    m = &kModalidades[mid - 1];
    forma = formaDaModalidade(*m);
    preco = m->mensalCentavos;
  }
  int64_t modalidadeID = par >= 0 ? modalidadeDaMatricula(par) : m->id;
  // A package of day passes is paid once (or in two parts), not per month.
  int periodo = m->plano == 8 ? 1 : mesesDaForma(forma);
  bool mensal = forma == "MENSAL";

  // Discount and value: the stored value is the price after the discount.
  int64_t desconto = r_.chance(150) ? preco / 10 : 0;
  int64_t valor = preco - desconto;
  Value descontoID = desconto > 0 ? L(r_.entre(1, 3)) : (r_.chance(500) ? L(0) : N());
  if (tipo == Tipo::ValorZero || tipo == Tipo::ValorZeroCobrada) {
    valor = 0;
    desconto = 0;
  }

  // Dates. Receivable months run from the start to the reference day (and a
  // month beyond for open enrolments).
  int duracao = static_cast<int>(r_.entre(1, 22));  // months the enrolment ran so far
  int diaVenc = static_cast<int>(r_.chance(100) ? r_.entre(29, 31) : r_.entre(1, 28));
  double inicio = somaMeses(hoje_, -duracao, static_cast<int>(r_.entre(1, 28)));
  std::string situacao = "ATIVA";
  Value dtFim = Dt(somaMeses(inicio, std::max(periodo, 12), diaVenc));
  Value dtBloqueio = N(), dtTrancamento = N(), dtEncerramento = N();
  Value motivoBloqueio = N(), motivoEncerramento = N(), motivoTrancamento = N();
  double diasTrancamento = 0;
  bool excluida = tipo == Tipo::ExcluidaAberta || tipo == Tipo::ExcluidaQuitada;
  int mesesCobrados = duracao + 1;  // one receivable per period up to a month ahead
  bool cobra = true;
  std::string_view motivoTranc;
  switch (tipo) {
    case Tipo::Encerrada: {
      int ate = static_cast<int>(r_.entre(1, duracao));
      double enc = somaMeses(inicio, ate, static_cast<int>(r_.entre(1, 28)));
      if (enc >= hoje_) enc = soDia(hoje_) - 1;
      situacao = "ENCERRADA";
      dtEncerramento = Dt(enc);
      dtFim = Dt(enc);
      static const std::array<std::string_view, 4> motivos = {"Mudou de cidade", "Problemas de saúde",
                                                              "Mudou de modalidade", "Não informou"};
      motivoEncerramento = T(std::string(r_.um(motivos)));
      mesesCobrados = ate;
      break;
    }
    case Tipo::ValorZero:
    case Tipo::SemCobranca:
      cobra = false;
      if (tipo == Tipo::SemCobranca) {
        inicio = soDia(hoje_) - static_cast<double>(r_.entre(0, 20));
        dtFim = r_.chance(300) ? N() : Dt(somaMeses(inicio, 12, diaVenc));
      }
      break;
    case Tipo::TrancadaComLinhas:
    case Tipo::TrancadaSemLinhas: {
      situacao = "TRANCADA";
      double tr = soDia(hoje_) - static_cast<double>(r_.entre(3, 90));
      dtTrancamento = Dt(tr);
      diasTrancamento = std::floor(hoje_ - tr);
      static const std::array<std::string_view, 4> motivos = {
          "Viagem d'estudos", "Cirurgia no joelho\r\nretorno previsto em 60 dias", "Férias", "Gravidez"};
      motivoTranc = r_.um(motivos);
      motivoTrancamento = T(std::string(motivoTranc));
      break;
    }
    case Tipo::Bloqueada:
      situacao = "BLOQUEADA";
      dtBloqueio = Dt(soDia(hoje_) - static_cast<double>(r_.entre(1, 60)));
      motivoBloqueio = T("Inadimplência");
      break;
    case Tipo::ExcluidaAberta:
    case Tipo::ExcluidaQuitada:
      dtBloqueio = r_.chance(500) ? Dt(soDia(hoje_) - static_cast<double>(r_.entre(1, 200))) : N();
      motivoBloqueio = T("Cadastro em duplicidade");
      break;
    default:
      break;
  }

  // Recurring card fields, enciphered as the desktop product stores them.
  bool recorrente = tipo == Tipo::Recorrente;
  Value recForma = N(), recToken = N(), recTruncado = N(), recValidade = N(), recSeguranca = N();
  if (recorrente) {
    recForma = L(r_.entre(1, 3));
    static const char hex[] = "0123456789abcdef";
    std::string token;
    if (r_.chance(500)) {
      for (int i = 0; i < 36; ++i) token += (i == 8 || i == 13 || i == 18 || i == 23) ? '-' : hex[r_.abaixo(16)];
    } else {
      for (int i = 0; i < 40; ++i) token += hex[r_.abaixo(16)];
    }
    recToken = T(token);
    std::string finais = std::to_string(r_.entre(1000, 9999));
    std::string truncado = r_.chance(500) ? "************" + finais : "4" + std::to_string(r_.entre(100, 999)) + "********" + finais;
    recTruncado = T(CriptografiaComInicio(truncado, static_cast<uint8_t>(r_.abaixo(256))));
    int64_t anoValidade = r_.entre(2026, 2031);
    int mesValidade = static_cast<int>(r_.entre(1, 12));
    recValidade = T(doisDigitos(mesValidade) + "/" + std::to_string(anoValidade));
    auto inicioSeguranca = static_cast<uint8_t>(r_.abaixo(256));
    int64_t seguranca = r_.entre(100, 999);
    recSeguranca = T(CriptografiaComInicio(std::to_string(seguranca), inicioSeguranca));
  }

  Value dtInicio = Dt(inicio);
  if (o_.suja && defeito(20, id, 20)) dtInicio = defeito(21, id, 500) ? N() : Dt(data(1998, 3, 2));
  if (o_.suja && tipo == Tipo::Encerrada && defeito(22, id, 100)) dtFim = N();

  std::vector<Value> row = {L(id), L(a.id), L(modalidadeID), descontoID, L(++numeroMatricula_), dtInicio, dtFim,
                            Cents(desconto), Cents(valor), T(forma), T(situacao), L(diaVenc), dtBloqueio,
                            dtTrancamento, dtEncerramento, motivoBloqueio, motivoEncerramento, motivoTrancamento,
                            B(excluida), D(diasTrancamento), I(m->plano == 8 ? m->dias : 0),
                            m->plano == 8 ? Cents(preco / std::max(1, m->dias)) : N(),
                            Dt(r_.chance(300) ? inicio - 365 * static_cast<double>(r_.entre(1, 4)) : inicio),
                            B(recorrente), recForma, recToken, recTruncado, recValidade, recSeguranca,
                            L(funcionario()), r_.chance(60) ? T(nota()) : N()};
  t("Matricula").insere(std::move(row));

  if (tipo == Tipo::TrancadaComLinhas) escreveTrancamentos(id, inicio, r_.chance(600), motivoTranc);
  else if (tipo == Tipo::Mensal && r_.chance(40)) escreveTrancamentos(id, inicio, false, "Férias");

  if (!cobra) return;
  // Receivables: one per payment period, from the start up to a month ahead.
  static const char* nomesMes[] = {"JAN", "FEV", "MAR", "ABR", "MAI", "JUN", "JUL", "AGO", "SET", "OUT", "NOV", "DEZ"};
  int parcelas = std::max(1, (mesesCobrados + periodo - 1) / periodo);
  if (m->plano == 8 || (!mensal && periodo >= 12)) parcelas = std::min(parcelas, 2);
  for (int k = 0; k < parcelas; ++k) {
    double venc = somaMeses(inicio, k * periodo, diaVenc);
    if (tipo == Tipo::ExcluidaQuitada && venc > hoje_) break;
    jet::CivilDateTime cv = jet::toCivil(venc);
    std::string hist = std::string(mensal ? "MENSALIDADE " : "PARCELA ") + nomesMes[cv.month - 1] + "/" +
                       std::to_string(cv.year) + " - " + std::string(m->nome);
    bool vencida = venc < hoje_ - 5;
    bool pago = vencida ? !r_.chance(tipo == Tipo::Bloqueada ? 500 : 80) : r_.chance(150);
    if (tipo == Tipo::ExcluidaQuitada) pago = true;
    bool isento = !pago && r_.chance(20);
    bool excl = !pago && !isento && (r_.chance(20) || (tipo == Tipo::ExcluidaQuitada));
    escreveRecebimento(a.id, 1, id, venc, valor, 0, hist, k + 1, pago, isento, excl, recorrente, a.nome);
  }
}

int64_t Gerador::escreveRecebimento(int64_t alunoID, int planoID, int64_t idRelaciona, double vencimento,
                                    int64_t valor, int64_t desconto, std::string historico, int parcela,
                                    bool pago, bool isento, bool excluido, bool recorrente,
                                    const std::string& pagador) {
  int64_t id = ++recebimentos_;
  double emissao = vencimento - static_cast<double>(r_.entre(5, 30));
  double pagamento = std::min(soDia(hoje_), vencimento + static_cast<double>(r_.entre(-5, 10)));
  Value vVenc = Dt(vencimento), vEmissao = Dt(emissao), multa = Cents(pago && pagamento > vencimento ? valor / 50 : 0);
  bool semRecibo = false;
  if (o_.suja) {
    if (defeito(30, id, 10)) vVenc = defeito(31, id, 500) ? N() : Dt(data(1990, 1, 5));
    if (defeito(32, id, 10)) vEmissao = defeito(33, id, 300) ? N() : defeito(34, id, 500) ? Dt(data(9999, 12, 31)) : Dt(data(1970, 1, 1));
    if (defeito(35, id, 10)) multa = N();
    semRecibo = pago && defeito(36, id, 5);
  }
  t("Recebimentos").insere({L(id), L(alunoID), L(planoID), L(idRelaciona), vEmissao, vVenc, Cents(valor),
                            Cents(desconto), multa, T(std::move(historico)), I(parcela), B(pago),
                            pago ? Dt(pagamento) : N(), pago ? Cents(valor - desconto) : N(),
                            L(isento ? funcionario() : 0), B(excluido),
                            r_.chance(15) ? T("Cobrar junto com a próxima\r\nmensalidade") : N()});
  if (!excluido && !isento && r_.chance(40)) {
    int64_t b = ++boletos_;
    t("RecebimentosBoletos").insere({L(b), L(id), T(std::to_string(24000000 + b)), Dt(emissao), Dt(vencimento),
                                     Cents(valor), T("34191.79001 01043.510047 91020.150008 " + std::to_string(b % 10) + " 9" + std::to_string(10000000000ll + b)),
                                     T(pago ? "PAGO" : "EMITIDO")});
  }
  if (recorrente && !pago && !excluido && vencimento < hoje_) {
    // A refused recurring charge.
    int64_t c = ++chamadas_;
    t("CieloChamadas").insere({L(c), L(id), Dt(soDia(vencimento)), Dt(hora()), Cents(valor), I(1),
                               T(std::to_string(1006993069000000ll + c * 7)), T("NEGADA"),
                               T("Transação não autorizada: saldo insuficiente")});
  }
  if (pago && !semRecibo) escreveRecibo(alunoID, {id}, valor, desconto, pagamento, recorrente, pagador);
  return id;
}

void Gerador::escreveRecibo(int64_t alunoID, const std::vector<int64_t>& recebs, int64_t valor, int64_t desconto,
                            double dia, bool recorrente, const std::string& pagador) {
  int64_t id = ++recibos_;
  int64_t pagar = valor - desconto;
  // Payment form: 1 cash, 2 cheque, 3 credit card, 4 debit card, 5 recurring.
  int forma;
  if (recorrente) forma = 5;
  else {
    int64_t x = r_.abaixo(100);
    forma = x < 45 ? 1 : x < 55 ? 2 : x < 80 ? 3 : 4;
  }
  bool cancelado = r_.chance(10);
  Value chamada = L(0);
  if (forma == 5 || ((forma == 3 || forma == 4) && r_.chance(300))) {
    int64_t c = ++chamadas_;
    // Transaction ids of 16 to 24 characters, and some of 20.
    std::string ident = std::to_string(1006993069000000ll + c * 13);
    if (r_.chance(300)) ident += std::to_string(r_.entre(1000, 99999999));
    Value hora = Dt(this->hora());
    if (o_.suja && defeito(40, c, 30)) hora = Dt(0.0);
    t("CieloChamadas").insere({L(c), L(recebs.front()), Dt(soDia(dia)), hora, Cents(pagar), I(1), T(ident),
                               T("AUTORIZADA"), T("Transação autorizada")});
    for (int64_t rb : recebs) {
      t("CieloChamadasRecebimentos").insere({L(++chamadasReceb_), L(c), L(rb), Cents(pagar / static_cast<int64_t>(recebs.size()))});
    }
    chamada = L(c);
  }
  Value vForma = L(forma), vData = Dt(soDia(dia)), vHora = Dt(hora()), vPagar = Cents(pagar), vPago = Cents(pagar),
        vDesc = Cents(desconto), vHist = T(recebs.size() > 1 ? "PAGAMENTO DE PARCELAS" : "PAGAMENTO");
  if (o_.suja) {
    if (defeito(50, id, 10)) vForma = N();
    if (defeito(51, id, 10)) vData = defeito(52, id, 300) ? N() : defeito(53, id, 500) ? Dt(data(1995, 6, 1)) : Dt(data(9999, 12, 31));
    if (defeito(54, id, 10)) vHora = Dt(0.0);
    if (defeito(55, id, 10)) vPagar = defeito(56, id, 500) ? N() : Cents(0);
    else if (defeito(57, id, 10)) vPago = N();
    if (defeito(58, id, 10)) vDesc = N();
    if (defeito(59, id, 10)) vHist = N();
  }
  t("Recibos").insere({L(id), L(funcionario()), vForma, vData, vHora, vPagar, vPago, vDesc, vHist, B(cancelado),
                       L(++pagamento_), r_.chance(20) ? T("Pago pelo responsável\r\n\tdesconto autorizado") : N(),
                       B(forma == 5), chamada, L(alunoID), L(r_.entre(1, 500))});
  for (int64_t rb : recebs) t("RecibosRecebimentos").insere({L(rb), L(id)});

  if (forma == 3 || forma == 4 || forma == 5) {
    static const int cartoes[] = {1, 2, 3, 4, 5, 6, 7, 2001, 2002, 2003, 2004, 2005, 2006, 2007};
    int vezes = forma == 3 && pagar > 20000 ? static_cast<int>(r_.entre(1, 3)) : 1;
    int cartao = cartoes[r_.abaixo(14)];
    for (int k = 1; k <= vezes; ++k) {
      int64_t pid = ++parcelas_;
      int64_t bruto = pagar / vezes + (k == 1 ? pagar % vezes : 0);
      int64_t taxa = bruto * (forma == 4 ? 15 : 35) / 1000;
      double credito = soDia(dia) + (forma == 4 ? 1 : 30.0 * k);
      bool caixa = credito <= hoje_;
      Value vCartao = L(cartao);
      if (o_.suja && defeito(60, pid, 20)) vCartao = defeito(61, pid, 500) ? N() : L(0);
      t("CartaoParcelas").insere({L(pid), L(id), L(r_.entre(1, 2)), I(k), Cents(bruto), Dt(credito), B(false),
                                  T(forma == 4 ? "D" : "C"), caixa ? Dt(credito) : N(), B(caixa),
                                  L(r_.entre(1, 500)), I(vezes), Cents(taxa), Cents(bruto - taxa), B(forma == 5),
                                  vCartao});
    }
  } else if (forma == 2) {
    static const int bancos[] = {1, 33, 104, 237, 341, 756, 748};
    int vezes = pagar > 30000 ? static_cast<int>(r_.entre(1, 2)) : 1;
    for (int k = 1; k <= vezes; ++k) {
      int64_t cid = ++cheques_;
      double bomPara = soDia(dia) + 30.0 * (k - 1);
      bool compensado = bomPara <= hoje_;
      Value vComp = B(compensado), vDtComp = compensado ? Dt(bomPara + 1) : N();
      if (o_.suja && defeito(70, cid, 50)) {
        // Due by now but not yet marked cleared, or cleared without a date.
        if (defeito(71, cid, 500)) vComp = B(false), vDtComp = N();
        else vDtComp = N();
      }
      t("ChequesRecebidos").insere({L(cid), L(id), L(r_.entre(1, 2)), T(std::to_string(850000 + cid)),
                                    L(bancos[r_.abaixo(7)]), T(comDigito(1000, 9999)), T(comDigito(10000, 99999)),
                                    Cents(pagar / vezes + (k == 1 ? pagar % vezes : 0)), Dt(bomPara), vComp,
                                    B(r_.chance(10)), vDtComp, B(r_.chance(10)), Dt(soDia(dia)), B(true),
                                    r_.chance(100) ? T("Cheque pré-datado\tconferido") : N(), L(r_.entre(1, 500)),
                                    T(pagador.substr(0, 50))});
    }
  }
  if (!cancelado && r_.chance(15)) {
    t("AlunosCreditos").insere({L(++creditos_), L(alunoID), L(id), Dt(soDia(dia)), Cents(r_.entre(500, 5000)),
                                B(r_.chance(400)), r_.chance(500) ? T("Troco em crédito") : N()});
  }
}

void Gerador::escreveVenda(const Aluno& a) {
  static const int64_t precos[] = {14990, 8990, 790, 300, 600, 1500, 4990, 5990, 4490, 3990, 2990, 2490, 1990, 4990, 1500};
  static const int64_t custos[] = {8900, 5500, 350, 90, 250, 700, 2200, 2500, 1900, 1500, 1200, 900, 800, 2100, 600};
  int64_t id = ++vendas_;
  int n = r_.chance(20) ? 0 : static_cast<int>(r_.entre(1, 3));  // a few sales without items
  int64_t total = 0;
  std::vector<std::vector<Value>> itens;
  for (int i = 0; i < n; ++i) {
    int p = static_cast<int>(r_.abaixo(15));
    int q = static_cast<int>(r_.entre(1, 3));
    total += precos[p] * q;
    itens.push_back({L(++itens_), L(id), L(p + 1), D(q), Cents(custos[p]), Cents(precos[p]), Cents(precos[p] * q)});
  }
  if (n == 0) total = 1500;
  double dia = soDia(hoje_) - static_cast<double>(r_.entre(0, 700));
  bool avulsa = r_.chance(100);  // a walk-in sale, without student
  int64_t aluno = avulsa ? 0 : a.id;
  Value func = L(funcionario()), vendedor = L(funcionario()), vData = Dt(dia), vHora = Dt(hora());
  if (o_.suja) {
    if (defeito(80, id, 15)) func = defeito(81, id, 500) ? N() : L(0);
    if (defeito(82, id, 15)) vendedor = defeito(83, id, 500) ? N() : L(0);
    if (defeito(84, id, 15)) vData = defeito(85, id, 500) ? N() : Dt(data(1999, 12, 31));
    if (defeito(86, id, 15)) vHora = Dt(0.0);
  }
  int64_t desconto = r_.chance(100) ? total / 20 : 0;
  t("Vendas").insere({L(id), L(aluno), func, vendedor, vData, vHora, Cents(desconto), Cents(total - desconto),
                      r_.chance(50) ? T("Venda no balcão") : N()});
  for (auto& item : itens) t("VendasItens").insere(std::move(item));
  int vezes = total > 10000 && r_.chance(300) ? 2 : 1;
  for (int k = 1; k <= vezes; ++k) {
    double venc = dia + 30.0 * (k - 1);
    bool pago = venc < hoje_ - 5 ? !r_.chance(50) : false;
    int64_t parte = (total - desconto) / vezes;
    escreveRecebimento(aluno, 2, id, venc, parte, 0, "VENDA " + std::to_string(id), k, pago, false,
                       !pago && r_.chance(30), false, a.nome);
  }
}

void Gerador::escreveOutraCobranca(int64_t alunoID, const std::string& nome) {
  static const std::array<std::string_view, 5> historicos = {"TAXA DE MATRÍCULA", "AVALIAÇÃO FÍSICA",
                                                             "ALUGUEL DE ARMÁRIO", "", "SEGUNDA VIA DO CARTÃO"};
  static const int64_t valores[] = {5000, 8000, 3000, 2000, 1500};
  int k = static_cast<int>(r_.abaixo(5));
  double venc = soDia(hoje_) - static_cast<double>(r_.entre(-30, 600));
  bool pago = venc < hoje_ - 5 ? !r_.chance(100) : r_.chance(100);
  bool isento = !pago && r_.chance(100);
  int64_t aluno = r_.chance(50) ? 0 : alunoID;
  bool excluido = !pago && !isento && r_.chance(30);
  int64_t desconto = k == 1 && r_.chance(300) ? 1000 : 0;
  int plano = r_.chance(500) ? 3 : 0;
  escreveRecebimento(aluno, plano, 0, venc, valores[k], desconto, std::string(historicos[k]), 1, pago, isento,
                     excluido, false, nome);
}

// The online catalogue of a user who went through the wizard: one online
// modality per activity, one plan per online modality (plus a plan of day
// passes), the prices the desktop modalities need, and the links.
void Gerador::escreveCatalogo() {
  struct Preco {
    std::string plano;
    int meses;
    int64_t valor;
  };
  std::vector<std::string> modalidades;
  std::vector<std::pair<std::string, std::string>> planos;  // name, kind
  std::vector<Preco> precos;
  auto indice = [](auto& v, const auto& x) {
    auto it = std::find(v.begin(), v.end(), x);
    if (it == v.end()) {
      v.push_back(x);
      return static_cast<int64_t>(v.size());
    }
    return static_cast<int64_t>(it - v.begin() + 1);
  };
  auto precoDe = [&](std::string plano, int meses, int64_t valor) {
    for (size_t i = 0; i < precos.size(); ++i) {
      if (precos[i].plano == plano && precos[i].meses == meses) return static_cast<int64_t>(i + 1);
    }
    precos.push_back({std::move(plano), meses, valor});
    return static_cast<int64_t>(precos.size());
  };
  std::vector<std::pair<int64_t, int64_t>> vinculos;  // desktop modality, price
  std::vector<std::pair<int64_t, int64_t>> planoModalidade;
  auto liga = [&](int64_t desktopID, std::string_view online, int plano, int meses, int dias, int64_t valor) {
    std::string nomePlano;
    int quantos;
    if (plano == 8) {
      nomePlano = "DIARIAS " + std::string(online);
      quantos = dias;
      indice(planos, std::make_pair(nomePlano, std::string("D")));
    } else {
      nomePlano = "PLANO " + std::string(online);
      static const int mesesDoCodigo[] = {0, 1, 2, 3, 4, 6, 12, 0};
      quantos = plano == 7 ? meses : mesesDoCodigo[plano];
      indice(planos, std::make_pair(nomePlano, std::string("M")));
    }
    int64_t mod = indice(modalidades, std::string(online));
    int64_t pl = 0;
    for (size_t i = 0; i < planos.size(); ++i) if (planos[i].first == nomePlano) pl = static_cast<int64_t>(i + 1);
    if (std::find(planoModalidade.begin(), planoModalidade.end(), std::make_pair(pl, mod)) == planoModalidade.end()) {
      planoModalidade.emplace_back(pl, mod);
    }
    vinculos.emplace_back(desktopID, precoDe(nomePlano, quantos, valor));
  };
  for (const Modalidade& m : kModalidades) {
    if (m.comMatriculas && m.plano != 0) liga(m.id, m.online, m.plano, m.meses, m.dias, m.mensalCentavos);
  }
  for (int p = 0; p < kNumParesLegados; ++p) {
    const ParLegado& par = kParesLegados[p];
    const Modalidade& m = kModalidades[par.modalidade - 1];
    int plano = par.forma == "MENSAL" ? 1 : par.forma == "ANUAL" ? 6 : 7;
    liga(modalidadeDaMatricula(p), m.online, plano, mesesDaForma(par.forma), 0, par.precoCentavos);
  }
  // An old plan, inactive, with an inactive price nobody points to.
  planos.emplace_back("PLANO PROMOCIONAL 2019", "M");
  int64_t antigo = static_cast<int64_t>(planos.size());
  planoModalidade.emplace_back(antigo, 1);

  for (size_t i = 0; i < modalidades.size(); ++i) {
    t("Online_Modalidades").insere({L(static_cast<int64_t>(i + 1)), T(modalidades[i])});
  }
  for (size_t i = 0; i < planos.size(); ++i) {
    t("Online_Planos").insere({L(static_cast<int64_t>(i + 1)), T(planos[i].first), T(planos[i].second),
                                    T(static_cast<int64_t>(i + 1) == antigo ? "2" : "1")});
  }
  for (auto [pl, mod] : planoModalidade) {
    t("Online_PlanosModalidades").insere({D(static_cast<double>(pl)), D(static_cast<double>(mod))});
  }
  for (size_t i = 0; i < precos.size(); ++i) {
    int64_t pl = 0;
    for (size_t j = 0; j < planos.size(); ++j) if (planos[j].first == precos[i].plano) pl = static_cast<int64_t>(j + 1);
    t("Online_PlanosValores").insere({L(static_cast<int64_t>(i + 1)), D(static_cast<double>(pl)),
                                           D(precos[i].meses), Cents(precos[i].valor), T("1")});
  }
  t("Online_PlanosValores").insere({L(static_cast<int64_t>(precos.size() + 1)), D(static_cast<double>(antigo)),
                                         D(1), Cents(5990), T("2")});
  // The links, written into the desktop modalities (every other one holds 0).
  const jet::TableDef& def = db_.tableDef("Modalidades");
  size_t col = def.columns.size() - 1;
  std::vector<std::pair<jet::RowId, std::vector<Value>>> linhas;
  {
    jet::TableScan scan(db_, def);
    while (scan.next()) linhas.emplace_back(scan.rowId(), scan.values());
  }
  for (auto& [rid, v] : linhas) {
    int64_t preco = 0;
    for (auto [mid, pr] : vinculos) if (mid == v[0].as<int32_t>()) preco = pr;
    v[col] = D(static_cast<double>(preco));
    db_.updateRow("Modalidades", rid, v);
  }
}

ResumoAcademia Gerador::gera() {
  criaTabelas();
  emailConta_ = "gerencia@" + dominio_;
  escreveCadastros();
  escreveFuncionarios();
  escreveModalidades();
  for (int64_t id = 1; id <= o_.alunos; ++id) {
    escreveAluno(id);
    if (o_.progresso && (id % 1000 == 0 || id == o_.alunos)) o_.progresso(id, o_.alunos);
  }
  if (o_.pronta) escreveCatalogo();
  lote_.fecha();
  ResumoAcademia res;
  res.emailConta = emailConta_;
  for (const auto& tb : tabelas_) res.linhas[tb->nome()] = tb->linhas();
  return res;
}

}  // namespace

double diaReferencia() { return data(2025, 6, 16); }

ResumoAcademia geraAcademia(const std::string& caminho, const OpcoesAcademia& opcoes) {
  if (std::filesystem::exists(caminho)) throw jet::Error("O arquivo '" + caminho + "' já existe.");
  try {
    auto db = jet::Database::create(caminho, opcoes.senha);
    Gerador g(*db, opcoes);
    ResumoAcademia r = g.gera();
    db.reset();
    return r;
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove(caminho, ec);
    throw;
  }
}

}  // namespace kor::amostra
