#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/Process.h"

extern char** environ;

namespace horavex {

SystemProcess::SystemProcess(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine_ += ' ';
    commandLine_ += argv[i];
  }
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec && argc > 0) self = std::filesystem::absolute(argv[0], ec);
  programPath_ = self.lexically_normal().string();
}

std::string SystemProcess::CommandLine() const {
  return commandLine_;
}

std::string SystemProcess::FirstEnvironmentEntry() const {
  return (environ != nullptr && environ[0] != nullptr) ? std::string(environ[0]) : std::string();
}

std::string SystemProcess::ProgramFolder() const {
  std::filesystem::path folder = std::filesystem::path(programPath_).parent_path();
  std::string s = folder.string();
  return s.empty() ? "/" : s;
}

std::string SystemProcess::ProgramFileName() const {
  return std::filesystem::path(programPath_).stem().string();
}

void SystemProcess::EndNow(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace horavex
