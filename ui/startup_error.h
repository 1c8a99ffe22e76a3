#pragma once
// How start-up fails: whatever a start-up step raises is shown in a message
// box ("Run-time error 'N':" and the text), and the program ends with a
// non-zero code.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

// A start-up step that failed: the number the program ends with and the
// text of its message box.
class StartupError : public std::runtime_error {
 public:
  StartupError(std::int32_t number, const std::string& description) : std::runtime_error(description), Number(number) {}
  std::int32_t Number;
};

// Shows the error in a message box; returns the program's exit code (the
// error's number, or 1 when it has none).
int ShowStartupError(std::exception_ptr error);
