#pragma once
// Tests of the program in a working directory of their own, where its debug
// log (xmlfile.log) is written: reading the log and building its entries.

#include <string>

#include "support/temp_working_dir.h"

// The line that ends every entry of the debug log.
inline const std::string kSeparator = "***-------------------------------------------------***\r\n";

class InTempDir : public InTempWorkingDir {
 protected:
  static std::string ReadLog() { return ReadFile("xmlfile.log"); }
  // An entry of the log as the program writes it.
  static std::string Entry(const std::string& des, const std::string& msg) {
    return "DES: " + des + "\r\n\r\nMSG: \r\n" + msg + "\r\n" + kSeparator;
  }
};
