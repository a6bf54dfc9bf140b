#pragma once

#include <string>

#include "platform/Process.h"

namespace horavex::testing {

// Thrown by TestProcess::EndNow in place of the end of the process. It is not a std::exception,
// so no handler of the program takes it for a failure.
struct ProgramEnded {
  int exitCode;
};

class TestProcess : public Process {
 public:
  std::string commandLine;
  std::string environmentEntry = "USERNAME=tester";
  std::string programFolder = "/plant/Bin";
  std::string programFileName = "Horavex_Config";
  int ends = 0;

  std::string CommandLine() const override { return commandLine; }
  std::string FirstEnvironmentEntry() const override { return environmentEntry; }
  std::string ProgramFolder() const override { return programFolder; }
  std::string ProgramFileName() const override { return programFileName; }
  [[noreturn]] void EndNow(int exitCode) override {
    ++ends;
    throw ProgramEnded{exitCode};
  }
};

}  // namespace horavex::testing
