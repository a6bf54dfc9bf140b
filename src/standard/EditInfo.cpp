#include <cstdio>

#include "Version.h"
#include "platform/IniStore.h"
#include "platform/Text.h"
#include "standard/Handler.h"
#include "standard/StandardModule.h"

namespace horavex {

// Each character of the text except "-" and "_" as its Windows-1252 code plus 5, in
// upper-case hexadecimal without leading zeros.
static std::string EncodeEditor(const std::string& source) {
  std::string result;
  for (char32_t c : text::ToU32(source)) {
    if (c == U'-' || c == U'_') continue;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%X", unsigned(text::Cp1252Code(c)) + 5u);
    result += digits;
  }
  return result;
}

void StandardModule::WriteEditInfo() {
  Handler h(*this, "WriteEditInfo");
  // Both entries land in the configuration file together.
  IniWriteGroup group(services_.ini);
  h.step([&] {
    std::string version = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                          "." + std::to_string(kVersionRevision);
    version += StartModeIntegrated ? " - Integrated" : " - Standalone";
    SaveIni(version, "Info", "S_Prog", GetCFGPath());
  });
  h.step([&] {
    std::string entry = services_.process.FirstEnvironmentEntry();
    size_t equals = entry.find('=');
    std::string source = equals == std::string::npos ? std::string() : entry.substr(equals + 1);
    SaveIni(EncodeEditor(source), "Info", "S_Editor", GetCFGPath());
  });
  // A refused write (read-only file, full disk) must not pass for a stamped file.
  h.step([&] {
    if (!group.End()) {
      throw Failure(kPathFileAccessError, kRuntimeSource,
                    RuntimeErrorText(kPathFileAccessError) + ": " + GetCFGPath());
    }
  });
}

}  // namespace horavex
