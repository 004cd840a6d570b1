// The tables of the migration package and the query that extracts each one.
#pragma once

#include <array>
#include <string>

#include "db/conexao.h"

namespace kor {

// The 26 tables of the package, in the order they are written. The order
// matters: Recebimentos and RecibosRecebimentos fill Online_RecibosRecebimentos
// while they are written, and the tables after them select through it.
inline constexpr std::array<const char*, 26> kTabelasExportacao = {
    "Alunos",
    "AlunosCreditos",
    "Recebimentos",
    "RecibosRecebimentos",
    "CartaoParcelas",
    "ChequesRecebidos",
    "CieloChamadas",
    "CieloChamadasRecebimentos",
    "Descontos",
    "Empresa",
    "Fornecedores",
    "Funcionarios",
    "FuncionariosFuncoes",
    "Matricula",
    "MatriculaTrancamentos",
    "Online_Modalidades",
    "Online_Planos",
    "Online_PlanosModalidades",
    "Online_PlanosValores",
    "Produtos",
    "ProdutosCategorias",
    "RecebimentosBoletos",
    "Recibos",
    "VendasItens",
    "Vendas",
    "Configuracao",
};

// The extraction query of a package table (one line of SQL). Configuracao's
// holds the account e-mail vEmailConta as a text literal. Throws
// std::invalid_argument for a name that is not a package table.
std::string ConsultaDaTabela(const std::string& tabela);

// Opens qrLista on the table's extraction query: closes it, runs the table's
// preparatory steps (Matricula: the billing dates and the end dates of
// deleted enrolments), sets its SQL text and opens it. Returns false, with
// qrLista closed and nothing run, when the database has no such table (a
// file of an older desktop version: the table is left out of the package;
// Configuracao reads Alunos). Throws ErroBanco with the engine's reason when
// a step or the query fails.
bool PreparaTabela(const std::string& tabela, TConsulta& qrLista);

}  // namespace kor
