// The one exception type of the Jet engine.
//
// Every failure of the engine (a file that is not an Access database, a wrong
// password, a corrupt page, a missing table, a bad statement) reaches the
// caller as a jet::Error whose what() is a clear Portuguese message naming the
// file or object concerned. The engine never aborts the process on bad input.
#pragma once

#include <stdexcept>
#include <string>

namespace jet {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace jet
