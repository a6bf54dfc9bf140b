#include "platform/Text.h"
#include "standard/Handler.h"
#include "standard/StandardModule.h"

namespace horavex {

std::optional<std::string> StandardModule::ReadCommand(const std::string& commandLine,
                                                       const std::string& keyword) {
  Handler h(*this, "ReadCommand");
  std::optional<std::string> result;
  h.step([&] {
    std::u32string line = text::ToU32(text::Upper(commandLine));
    std::u32string key = text::ToU32(text::Upper(keyword));
    size_t found = line.find(key);
    if (found == std::u32string::npos) return;
    result = std::string();
    // Right$(line, Len(line) - P - Len(keyword)): drops the keyword and one separator.
    long long count = static_cast<long long>(line.size()) - static_cast<long long>(found + 1) -
                      static_cast<long long>(key.size());
    if (count < 0) throw RuntimeFailure(kInvalidProcedureCall);
    std::string value = text::Upper(
        text::TrimBlanks(text::FromU32(line.substr(line.size() - static_cast<size_t>(count)))));
    if (size_t slash = value.find('/'); slash != std::string::npos) {
      value = text::TrimBlanks(value.substr(0, slash));
    }
    result = value;
  });
  return result;
}

bool StandardModule::GetStartModeIntegrated() {
  Handler h(*this, "GetStartModeIntegrated");
  bool result = false;
  h.step([&] {
    std::string value = ReadCommand(services_.process.CommandLine(), "EXTERNAL").value_or("");
    result = text::Upper(value) == "Q4TCFG";
    StartModeIntegrated = result;
    SilentMode = text::Upper(value) == "SILENT";
    if (SilentMode) {
      result = false;
      StartModeIntegrated = false;
    }
  });
  return result;
}

std::string StandardModule::GetPathLogfile() {
  Handler h(*this, "GetPathLogfile");
  std::string result;
  h.step([&] { result = ReadCommand(services_.process.CommandLine(), "LOGFILE").value_or(""); });
  return result;
}

}  // namespace horavex
