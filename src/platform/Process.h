#pragma once

#include <filesystem>
#include <string>

namespace horavex {

// What the program asks of its own process.
class Process {
 public:
  virtual ~Process() = default;

  // The arguments after the program name, joined by single blanks.
  virtual std::string CommandLine() const = 0;
  // The first entry of the environment block ("NAME=value"), or "" when it is empty.
  virtual std::string FirstEnvironmentEntry() const = 0;
  // The folder holding the program file, without a trailing separator (except a root).
  virtual std::string ProgramFolder() const = 0;
  // The program's file name without folder and extension.
  virtual std::string ProgramFileName() const = 0;
  // Ends the process at once: no later step, no close handler runs.
  [[noreturn]] virtual void EndNow(int exitCode) = 0;
};

// Exit codes of the ways the program ends.
enum ExitCode : int {
  kExitOk = 0,                // OK: database updated and settings written
  kExitEndedOnError = 1,      // ended after a failure report or a missing file
  kExitCancelled = 2,         // Cancel or the close box, confirmed: nothing written
  kExitDoneWithFailures = 3,  // OK ran to its end, but reported failures on the way
  kExitNoDisplay = 4,         // a window was needed and none can be shown: nothing written
};

// The process as the operating system gives it.
class SystemProcess : public Process {
 public:
  SystemProcess(int argc, char** argv);
  std::string CommandLine() const override;
  std::string FirstEnvironmentEntry() const override;
  std::string ProgramFolder() const override;
  std::string ProgramFileName() const override;
  [[noreturn]] void EndNow(int exitCode) override;

  // The program file's path as the program was started by argv0 (searched in PATH when it has
  // no folder), without following a symbolic link of the program file itself.
  static std::filesystem::path StartedAs(const std::string& argv0);

 private:
  std::string commandLine_;
  std::string programPath_;
};

}  // namespace horavex
