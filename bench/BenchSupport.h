#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/HoravexConfigForm.h"
#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Process.h"
#include "platform/UiServices.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

namespace horavex::bench {

// Thrown by BenchProcess::EndNow in place of the end of the process.
struct ProcessEnded {
  int exitCode;
};

class BenchProcess : public Process {
 public:
  BenchProcess(std::string folder, std::string commandLine)
      : folder_(std::move(folder)), commandLine_(std::move(commandLine)) {}
  std::string CommandLine() const override { return commandLine_; }
  std::string FirstEnvironmentEntry() const override { return "USERNAME=bench"; }
  std::string ProgramFolder() const override { return folder_; }
  std::string ProgramFileName() const override { return "Horavex_Config"; }
  [[noreturn]] void EndNow(int exitCode) override { throw ProcessEnded{exitCode}; }

 private:
  std::string folder_;
  std::string commandLine_;
};

// The program as main() assembles it, on the host's files and without a window.
struct BenchProgram {
  BenchProgram(const std::string& programFolder, const std::string& commandLine)
      : process(programFolder, commandLine) {}
  BenchProcess process;
  HostFileSystem files;
  ProfileIniStore ini{files};
  NoWindowUi ui;
  StandardModule module{Services{process, files, ini, ui}};
  UpdateRun update{module};
  HoravexConfigForm dialog{module, update};
};

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

}  // namespace horavex::bench
