#pragma once
// The options of the helper programs: "--name value" and "--flag". A missing
// value or an unknown option ends the program with exit code 2.

#include <cstdio>
#include <cstdlib>
#include <string>

class CommandLine {
 public:
  CommandLine(const char* program, int argc, char** argv) : program_(program), argc_(argc), argv_(argv) {}

  // Moves to the next option; false when there is none.
  bool Next() { return ++at_ < argc_; }
  bool Is(const char* name) const { return name == std::string(argv_[at_]); }
  std::string Value() {
    if (at_ + 1 >= argc_) Fail("needs a value");
    return argv_[++at_];
  }
  long Number() { return std::atol(Value().c_str()); }
  [[noreturn]] void Unknown() const { Fail("is not an option"); }

 private:
  [[noreturn]] void Fail(const char* what) const {
    std::fprintf(stderr, "%s: %s %s\n", program_, argv_[at_], what);
    std::exit(2);
  }
  const char* program_;
  int argc_;
  char** argv_;
  int at_ = 0;
};
