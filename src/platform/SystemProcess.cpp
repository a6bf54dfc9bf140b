#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/Process.h"
#include "platform/Text.h"

extern char** environ;

namespace horavex {

SystemProcess::SystemProcess(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine_ += ' ';
    commandLine_ += argv[i];
  }
  programPath_ = StartedAs(argc > 0 ? argv[0] : "").lexically_normal().string();
}

std::filesystem::path SystemProcess::StartedAs(const std::string& argv0) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // The path the program was started by, not where a symbolic link of it points: one build
  // linked into several project folders works on the folder it was started in.
  if (argv0.find('/') != std::string::npos) return fs::absolute(argv0, ec);
  if (!argv0.empty()) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    for (size_t from = 0; from <= folders.size();) {
      size_t to = folders.find(':', from);
      if (to == std::string::npos) to = folders.size();
      fs::path candidate = fs::path(to > from ? folders.substr(from, to - from) : ".") / argv0;
      if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec)) {
        return fs::absolute(candidate, ec);
      }
      from = to + 1;
    }
  }
  return fs::read_symlink("/proc/self/exe", ec);
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
  // Only ".exe" (any case) is an extension: Horavex.v2_Config keeps its dot.
  std::string name = std::filesystem::path(programPath_).filename().string();
  if (name.size() > 4 && text::EqualsNoCase(name.substr(name.size() - 4), ".exe")) {
    name.resize(name.size() - 4);
  }
  return name;
}

void SystemProcess::EndNow(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace horavex
