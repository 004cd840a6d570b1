// The catalogue dialogs on a sample academy, driven through their widgets:
// what each writes, the hand-off variables it reads and sets, the messages
// it shows, and the faults it refuses (names cleaned to nothing or to a
// trailing blank, a plan's kind changed under its prices, negative prices,
// bulk links that would match the wrong modalities or none).
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "apoio_ui.h"
#include "ui/edit_valor.h"
#include "ui/frm_kor.h"
#include "ui/frm_modalidades.h"
#include "ui/frm_planos.h"
#include "ui/frm_planos_modalidades.h"
#include "ui/frm_planos_valores.h"

namespace {

using namespace kor;
using namespace kor::ui;
using namespace kor::ui::teste;
using Strings = std::vector<std::string>;

class Catalogo : public Academia {
 protected:
  int32_t codigo(const std::string& sql) { return RetornaTotal(Utf8ParaWin1252(sql)); }
  int32_t novoPlano(const std::string& nome, const std::string& tipo) {
    executa("INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES ('" + nome + "', '" + tipo + "', '1')");
    return codigo("Select Max(CodigoPlano) as Total from Online_Planos");
  }
  int32_t novoPreco(int32_t plano, int meses, const std::string& valor, const std::string& situacao = "1") {
    executa("INSERT INTO Online_PlanosValores (CodigoPlano, Meses, Valor, Situacao) VALUES (" +
            std::to_string(plano) + ", " + std::to_string(meses) + ", " + valor + ", '" + situacao + "')");
    return codigo("Select Max(CodigoPlanoValor) as Total from Online_PlanosValores");
  }
  int32_t novaModalidadeDesktop(const std::string& nome, const std::string& plano, const std::string& meses,
                                const std::string& dias) {
    executa("INSERT INTO Modalidades (modalidadeNome, modalidadePlano, modalidadeMeses, modalidadeDias, "
            "CodigoPlanoValor) VALUES ('" + nome + "', " + plano + ", " + meses + ", " + dias + ", 0)");
    return codigo("Select Max(modalidadeID) as Total from Modalidades");
  }
  std::string vinculo(int32_t modalidadeID) {
    return linhas("Select CodigoPlanoValor from Modalidades Where modalidadeID = " + std::to_string(modalidadeID))
        .at(0);
  }
};

TEST_F(Catalogo, ModalityEditorCreatesCleanedNamesAndRefusesEmptyOnesAndDuplicates) {
  vModo = 1;
  TfrmModalidades f;
  Mostra(f);
  EXPECT_EQ(f.btCadastrar->text(), U("Cadastrar"));
  EXPECT_EQ(f.suiPageControl1->tabText(0), U("Cadastro de Modalidades"));
  EXPECT_EQ(f.windowTitle(), U(" Modalidades do KOR Online"));

  // Typed in lower case, shown in upper case; "-" and "!" are not taken.
  Digita(f.txtModalidades, U("hidro-ginástica!  livre"));
  EXPECT_EQ(f.txtModalidades->text(), U("HIDROGINÁSTICA  LIVRE"));
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Cadastro realizado com sucesso!");
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(f.txtModalidades->text(), QString());

  // The same name with an accent is a duplicate; a quote alone cleans to
  // nothing; a trailing quote leaves no trailing blank.
  struct Caso {
    const char* digitado;
    const char* mensagem;
  };
  for (const Caso& c : {Caso{"HIDROGINASTICA LIVRE", "Atenção! Essa modalidade já está cadastrada!"},
                        Caso{"'", "Informe o nome da modalidade!"},
                        Caso{"   ", "Informe o nome da modalidade!"}}) {
    f.txtModalidades->clear();
    Digita(f.txtModalidades, U(c.digitado));
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    EXPECT_EQ(roteiro_.ultima("msg_atencao"), c.mensagem) << c.digitado;
  }
  f.txtModalidades->clear();
  Digita(f.txtModalidades, U("YOGA \""));
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(linhas("Select '[' & Modalidade & ']' from Online_Modalidades Order by CodigoModalidade"),
            (Strings{"[HIDROGINASTICA LIVRE]", "[YOGA]"}));

  // Esc closes it.
  QTest::keyClick(f.txtModalidades, Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
}

TEST_F(Catalogo, ModalityEditorRenamesTheModalityItWasGiven) {
  executa("INSERT INTO Online_Modalidades (Modalidade) VALUES ('PILATES')");
  executa("INSERT INTO Online_Modalidades (Modalidade) VALUES ('YOGA')");
  vModo = 2;
  vCodigo = codigo("Select CodigoModalidade as Total from Online_Modalidades Where Modalidade = 'PILATES'");
  TfrmModalidades f;
  Mostra(f);
  EXPECT_EQ(f.btCadastrar->text(), U("Alterar"));
  EXPECT_EQ(f.suiPageControl1->tabText(0), U("Alteração de Modalidade"));
  EXPECT_EQ(f.txtModalidades->text(), U("PILATES"));
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Atenção! Essa modalidade já está cadastrada!");
  EXPECT_EQ(vGravou, 0);
  Digita(f.txtModalidades, U(" SOLO"));
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Modalidade alterada com sucesso!");
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(linhas("Select Modalidade from Online_Modalidades Order by CodigoModalidade"),
            (Strings{"PILATES SOLO", "YOGA"}));
}

TEST_F(Catalogo, OpenedModallyThroughAbreFormulario) {
  vModo = 1;
  QuandoAbrir<TfrmModalidades>([](TfrmModalidades& f) {
    Digita(f.txtModalidades, U("SPINNING"));
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    QTest::mouseClick(f.btFechar, Qt::LeftButton);
  });
  AbreFormulario<TfrmModalidades>();
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(linhas("Select Modalidade from Online_Modalidades"), (Strings{"SPINNING"}));
}

TEST_F(Catalogo, PlanEditorCreatesAndAlters) {
  vModo = 1;
  {
    TfrmPlanos f;
    Mostra(f);
    EXPECT_EQ(f.cbTipo->currentText(), U("MENSALIDADE"));
    EXPECT_EQ(f.cbSituacao->currentText(), U("ATIVO"));
    Digita(f.txtPlano, U("plano ouro"));
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    EXPECT_EQ(roteiro_.ultima("msg_info"), "Cadastro realizado com sucesso!");
    // The next plan keeps the kind; the situation goes back to active.
    f.cbTipo->setCurrentIndex(2);
    f.cbSituacao->setCurrentIndex(2);
    Digita(f.txtPlano, U("DIÁRIAS"));
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    EXPECT_EQ(f.cbTipo->currentIndex(), 2);
    EXPECT_EQ(f.cbSituacao->currentIndex(), 1);
    // A name that cleans to nothing is as missing as no kind.
    Digita(f.txtPlano, U("'\""));
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Preencha todos os campos!");
    f.txtPlano->clear();
    f.cbTipo->setCurrentIndex(0);
    Digita(f.txtPlano, U("OUTRO"));
    roteiro_.limpar();
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Preencha todos os campos!");
  }
  EXPECT_EQ(linhas("Select Plano, Tipo, Situacao from Online_Planos Order by CodigoPlano"),
            (Strings{"PLANO OURO\tM\t1", "DIARIAS\tD\t2"}));

  vModo = 2;
  vGravou = 0;
  vCodigo = codigo("Select CodigoPlano as Total from Online_Planos Where Plano = 'DIARIAS'");
  TfrmPlanos f;
  Mostra(f);
  EXPECT_EQ(f.txtPlano->text(), U("DIARIAS"));
  EXPECT_EQ(f.cbTipo->currentIndex(), 2);
  EXPECT_EQ(f.cbSituacao->currentIndex(), 2);
  EXPECT_EQ(f.btCadastrar->text(), U("Alterar"));
  f.txtPlano->setText(U("PASSE DIARIO"));
  f.cbSituacao->setCurrentIndex(1);
  f.cbTipo->setCurrentIndex(1);  // no prices yet: the kind may change
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Plano alterado com sucesso!");
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(linhas("Select Plano, Tipo, Situacao from Online_Planos Where CodigoPlano = " + std::to_string(vCodigo)),
            (Strings{"PASSE DIARIO\tM\t1"}));
}

TEST_F(Catalogo, PlanKindCannotChangeWhileThePlanHasPrices) {
  const int32_t plano = novoPlano("DIARIAS", "D");
  novoPreco(plano, 25, "40");
  vModo = 2;
  vCodigo = plano;
  TfrmPlanos f;
  Mostra(f);
  f.txtPlano->setText(U("MENSAL NOVO"));
  f.cbTipo->setCurrentIndex(1);
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"),
            "Atenção! Esse plano possui valores cadastrados! O tipo do plano não pode ser alterado enquanto ele "
            "tiver valores!");
  EXPECT_EQ(vGravou, 0);
  // The name and situation may still change while the kind stays.
  f.cbTipo->setCurrentIndex(2);
  f.cbSituacao->setCurrentIndex(2);
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(linhas("Select Plano, Tipo, Situacao from Online_Planos"), (Strings{"MENSAL NOVO\tD\t2"}));
}

TEST_F(Catalogo, PlanModalityEditorLinksTheChosenEntrysOwnCode) {
  // A name stored with a trailing blank (by an earlier version) is still
  // linked by its own code.
  executa("INSERT INTO Online_Modalidades (Modalidade) VALUES ('PILATES')");
  executa("INSERT INTO Online_Modalidades (Modalidade) VALUES ('YOGA ')");
  const int32_t yoga = codigo("Select CodigoModalidade as Total from Online_Modalidades Where Modalidade = 'YOGA '");
  vCodigoPlano = novoPlano("PLANO OURO", "M");
  TfrmPlanosModalidades f;
  Mostra(f);
  EXPECT_EQ(f.txtPlanos->text(), U(" PLANO OURO"));
  ASSERT_EQ(f.cbModalidades->count(), 3);
  EXPECT_EQ(f.cbModalidades->itemText(0), QString());

  QTest::mouseClick(f.btVincular, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Selecione a modalidade que será vinculada ao plano!");
  f.cbModalidades->setCurrentIndex(f.cbModalidades->findText(U("YOGA ")));
  QTest::mouseClick(f.btVincular, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Modalidade vinculada com sucesso!");
  EXPECT_EQ(vCodigoModalidade, yoga);
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(f.cbModalidades->currentIndex(), 0);
  f.cbModalidades->setCurrentIndex(f.cbModalidades->findText(U("YOGA ")));
  QTest::mouseClick(f.btVincular, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Atenção! Essa a modalidade já foi vinculada ao plano!");
  EXPECT_EQ(linhas("Select CodigoPlano, CodigoModalidade from Online_PlanosModalidades"),
            (Strings{std::to_string(vCodigoPlano) + "\t" + std::to_string(yoga)}));
}

TEST_F(Catalogo, PriceEditorForADayPassPlan) {
  vModo = 1;
  vTipoPlano = "D";
  vCodigoPlano = novoPlano("DIARIAS", "D");
  TfrmPlanosValores f;
  Mostra(f);
  EXPECT_EQ(f.Label3->text(), U("Nº de Diárias"));
  EXPECT_EQ(f.suiPageControl1->tabText(0), U("Cadastro de Valor e Diárias do Plano"));
  ASSERT_EQ(f.cbPeriocidade->count(), 30);
  EXPECT_EQ(f.cbPeriocidade->itemText(5), U("5"));
  EXPECT_EQ(f.txtPlanos->text(), U("DIARIAS"));
  EXPECT_EQ(f.cbSituacao->currentIndex(), 1);

  struct Caso {
    const char* valor;
    int meses;
    const char* mensagem;  // nullptr: saved
  };
  const Caso casos[] = {
      {"", 5, "Atenção! Preencha todos os campos!"},
      {"0", 5, "Atenção! Preencha todos os campos!"},
      {"150", 0, "Atenção! Preencha todos os campos!"},
      {"-10", 5, "Atenção! O valor do plano não pode ser negativo!"},
      {"1234,5", 5, nullptr},
      {"99", 5, "Atenção! Essa periodicidade já está cadastrada!"},
      {"20", 1, nullptr},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.valor);
    roteiro_.limpar();
    f.txtValor->Limpa();
    Digita(f.txtValor, U(c.valor));
    f.cbPeriocidade->setCurrentIndex(c.meses);
    QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
    if (c.mensagem) {
      EXPECT_EQ(roteiro_.ultima("msg_atencao"), c.mensagem);
    } else {
      EXPECT_EQ(roteiro_.ultima("msg_info"), "Cadastro realizado com sucesso!");
      EXPECT_EQ(f.txtValor->Texto(), "");
      EXPECT_EQ(f.cbPeriocidade->currentIndex(), 0);
    }
  }
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(linhas("Select Meses, Valor, Situacao from Online_PlanosValores Order by CodigoPlanoValor"),
            (Strings{"5\t1234,5\t1", "1\t20\t1"}));
}

TEST_F(Catalogo, PriceEditorAltersAPriceOnlyToAFreeCount) {
  const int32_t plano = novoPlano("PLANO OURO", "M");
  vCodigo = novoPreco(plano, 12, "900", "2");
  vModo = 2;
  vTipoPlano = "M";
  vCodigoPlano = plano;
  TfrmPlanosValores f;
  Mostra(f);
  EXPECT_EQ(f.txtPlanos->text(), U(" PLANO OURO"));
  EXPECT_EQ(f.cbPeriocidade->currentText(), U("ANUAL"));
  EXPECT_EQ(f.cbSituacao->currentIndex(), 2);
  EXPECT_EQ(f.txtValor->text(), U("R$ 900,00"));
  EXPECT_EQ(f.Label3->text(), U("Periodicidade"));
  EXPECT_EQ(f.suiPageControl1->tabText(0), U("Alteração de Valor e Periocidade do Plano"));
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Atenção! Essa periodicidade já está cadastrada!");
  f.cbPeriocidade->setCurrentIndex(6);
  f.cbSituacao->setCurrentIndex(1);
  QTest::mouseClick(f.btCadastrar, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Plano alterado com sucesso!");
  EXPECT_EQ(linhas("Select Meses, Valor, Situacao from Online_PlanosValores"), (Strings{"6\t900\t1"}));
}

TEST_F(Catalogo, LinkDialogLinksOneModalityToTheChosenPrice) {
  const int32_t plano = novoPlano("PLANO OURO", "M");
  const int32_t ativo = novoPreco(plano, 1, "120");
  novoPreco(plano, 3, "300", "2");  // inactive: not offered
  vCodigo = novaModalidadeDesktop("MUSCULACAO MENSAL", "1", "0", "0");
  QuandoAbrir<TfrmKOR>([&](TfrmKOR& f) {
    EXPECT_EQ(f.txtModalidade->text(), U(" MUSCULACAO MENSAL"));
    ASSERT_EQ(f.cbPlanos->count(), 2);
    EXPECT_EQ(f.cbPlanos->itemText(1).left(33), U("PLANO OURO - MENSAL - R$ 120,00  "));
    EXPECT_EQ(f.cbPlanosOnline->count(), 2);
    QTest::mouseClick(f.btVincular, Qt::LeftButton);
    EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Selecione qual plano que será vinculado a modalidade!");
    EXPECT_TRUE(f.isVisible());
    f.cbPlanos->setCurrentIndex(1);
    QTest::mouseClick(f.btVincular, Qt::LeftButton);
  });
  AbreFormulario<TfrmKOR>();
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Modalidade vinculada com sucesso!");
  EXPECT_EQ(vGravou, 1);
  EXPECT_EQ(vCodigoPlano, ativo);
  EXPECT_EQ(vinculo(vCodigo), std::to_string(ativo));
}

// Day-pass modalities of 5 and 10 days share their month count, and one
// periodicity has a Null month count: each bulk link takes exactly the
// modalities of the periodicity chosen.
TEST_F(Catalogo, BulkLinkTakesOnlyTheChosenPeriodicity) {
  executa("Update Modalidades set CodigoPlanoValor = 999");  // the sample's own modalities are out of the way
  const int32_t plano = novoPlano("DIARIAS", "D");
  const int32_t preco = novoPreco(plano, 5, "50");
  const int32_t cinco = novaModalidadeDesktop("5 DIAS", "8", "0", "5");
  const int32_t dez = novaModalidadeDesktop("10 DIAS", "8", "0", "10");
  const int32_t semMeses = novaModalidadeDesktop("SEM MESES", "7", "Null", "Null");
  vCodigo = cinco;

  auto vinculaEmMassa = [&](const char* periodicidade, bool comPreco) {
    QuandoAbrir<TfrmKOR>([&](TfrmKOR& f) {
      f.suiPageControl1->setCurrentIndex(1);
      const int i = f.cbPeriodicidade->findText(U(periodicidade), Qt::MatchStartsWith);
      ASSERT_GT(i, 0) << periodicidade;
      f.cbPeriodicidade->setCurrentIndex(i);
      if (comPreco) f.cbPlanosOnline->setCurrentIndex(1);
      QTest::mouseClick(f.btVincular, Qt::LeftButton);
      if (f.isVisible()) f.close();
    });
    AbreFormulario<TfrmKOR>();
  };

  // No price chosen: refused, nothing asked, nothing written.
  vinculaEmMassa("5 DIÁRIAS ", false);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"), "Selecione qual plano que será vinculado a modalidade!");
  EXPECT_TRUE(roteiro_.textos("msg_sn").empty());
  EXPECT_EQ(vinculo(cinco), "0");

  vinculaEmMassa("5 DIÁRIAS ", true);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Modalidades vinculadas com sucesso!");
  EXPECT_EQ(vinculo(cinco), std::to_string(preco));
  EXPECT_EQ(vinculo(dez), "0");
  EXPECT_EQ(vPlanoDesktop, 8);
  EXPECT_EQ(vMesesDesktop, 0);

  roteiro_.limpar();
  vinculaEmMassa("0 MESES ", true);
  EXPECT_EQ(roteiro_.ultima("msg_info"), "Modalidades vinculadas com sucesso!");
  EXPECT_EQ(vinculo(semMeses), std::to_string(preco));
  EXPECT_EQ(vinculo(dez), "0");

  // "Não" writes nothing.
  roteiro_.responder({kRespostaNao});
  vGravou = 0;
  vinculaEmMassa("10 DIÁRIAS ", true);
  EXPECT_EQ(vinculo(dez), "0");
  EXPECT_EQ(vGravou, 0);
}

TEST_F(Catalogo, BulkLinkSaysSoWhenNothingWasLinked) {
  executa("Update Modalidades set CodigoPlanoValor = 999");
  const int32_t preco = novoPreco(novoPlano("DIARIAS", "D"), 5, "50");
  const int32_t cinco = novaModalidadeDesktop("5 DIAS", "8", "0", "5");
  vCodigo = cinco;
  TfrmKOR f;
  Mostra(f);
  // Linked by someone else after the list was filled.
  executa("Update Modalidades set CodigoPlanoValor = " + std::to_string(preco));
  f.suiPageControl1->setCurrentIndex(1);
  f.cbPeriodicidade->setCurrentIndex(1);
  f.cbPlanosOnline->setCurrentIndex(1);
  QTest::mouseClick(f.btVincular, Qt::LeftButton);
  EXPECT_EQ(roteiro_.ultima("msg_atencao"),
            "Nenhuma modalidade foi vinculada! Não há modalidade sem vínculo com essa periodicidade.");
  EXPECT_TRUE(roteiro_.textos("msg_info").empty());
  EXPECT_EQ(vGravou, 0);
  EXPECT_TRUE(f.isVisible());
}

}  // namespace
