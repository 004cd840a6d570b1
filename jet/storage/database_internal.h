// Internals of Database shared by its writer files: the per-operation write
// state and the wrapper that makes one public call one atomic operation.
#pragma once

#include <map>
#include <type_traits>

#include "jet/storage/database.h"
#include "jet/storage/error.h"

namespace jet {

struct Database::WriteState {
  struct TableState {
    uint32_t lastDataPage = 0;
    std::map<uint16_t, uint32_t> lvalPage;  // column number -> current LVAL page
  };
  std::map<uint32_t, TableState> tables;  // by TDEF page
  int depth = 0;
};

template <class F>
auto Database::inOperation(F&& f) {
  if (!pager_->writable()) {
    throw Error("O banco de dados '" + path() + "' foi aberto somente para leitura.");
  }
  beginOperation();
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      commitOperation();
    } else {
      auto r = f();
      commitOperation();
      return r;
    }
  } catch (...) {
    rollbackOperation();
    throw;
  }
}

}  // namespace jet
