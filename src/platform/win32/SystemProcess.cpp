#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>

#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/win32/Wide.h"

namespace horavex {
namespace {

// The command line after the program's name, as the run-time hands it to the program: the
// name ends at its closing quote or at the first blank, and the blanks after it are dropped.
std::wstring ArgumentsOf(std::wstring_view line) {
  size_t at = 0;
  if (!line.empty() && line[0] == L'"') {
    size_t close = line.find(L'"', 1);
    at = close == std::wstring_view::npos ? line.size() : close + 1;
  }
  while (at < line.size() && line[at] != L' ' && line[at] != L'\t') ++at;
  while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
  return std::wstring(line.substr(at));
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

SystemProcess::SystemProcess(int, char**) {
  commandLine_ = win32::FromWide(ArgumentsOf(::GetCommandLineW()));
  programPath_ = win32::FromWide(ModulePath());
}

std::string SystemProcess::CommandLine() const {
  return commandLine_;
}

std::string SystemProcess::FirstEnvironmentEntry() const {
  std::string entry;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    entry = win32::FromWide(block);
    ::FreeEnvironmentStringsW(block);
  }
  return entry;
}

std::string SystemProcess::ProgramFolder() const {
  size_t slash = programPath_.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  // A root keeps its separator: "C:\".
  bool root = slash == 2 && programPath_[1] == ':';
  return programPath_.substr(0, root ? slash + 1 : slash);
}

std::string SystemProcess::ProgramFileName() const {
  std::string name = programPath_.substr(programPath_.find_last_of("\\/") + 1);
  if (name.size() > 4 && text::EqualsNoCase(name.substr(name.size() - 4), ".exe")) {
    name.resize(name.size() - 4);
  }
  return name;
}

void SystemProcess::EndNow(int exitCode) {
  std::fflush(nullptr);
  ::TerminateProcess(::GetCurrentProcess(), UINT(exitCode));
  std::_Exit(exitCode);
}

}  // namespace horavex
