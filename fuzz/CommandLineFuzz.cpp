// Feeds arbitrary bytes to the command-line scanner as command line and as keyword.
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/UiServices.h"
#include "standard/StandardModule.h"

namespace {

class FuzzProcess : public horavex::Process {
 public:
  std::string line;
  std::string CommandLine() const override { return line; }
  std::string FirstEnvironmentEntry() const override { return {}; }
  std::string ProgramFolder() const override { return "/nonexistent/Bin"; }
  std::string ProgramFileName() const override { return "Horavex_Config"; }
  [[noreturn]] void EndNow(int) override { throw 0; }
};

// Reports answer Yes without touching a file.
class QuietFiles : public horavex::HostFileSystem {
 public:
  void Append(const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzProcess process;
  static QuietFiles files;
  static horavex::ProfileIniStore ini(files);
  static horavex::NoWindowUi ui;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  process.line = input.substr(0, split);
  std::string keyword = split == std::string::npos ? "EXTERNAL" : input.substr(split + 1);
  horavex::StandardModule module(horavex::Services{process, files, ini, ui});
  module.ReadCommand(process.line, keyword);
  module.GetStartModeIntegrated();
  module.GetPathLogfile();
  if (module.StartModeIntegrated && module.SilentMode) __builtin_trap();
  return 0;
}
