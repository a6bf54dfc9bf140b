#include "standard/Handler.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

// Grows the list to upper index i, allocating it on the first machine, and stores the name.
void StoreMachine(std::optional<IndexList>& names, int i, const std::string& name) {
  if (!names) names.emplace();
  names->Resize(i);
  (*names)[i] = name;
}

}  // namespace

void StandardModule::GetExistingMachines(const std::string& configIniPath) {
  Handler h(*this, "GetExistingMachines");
  h.step([&] { ProgramIniPath = GetProgramIniPath(1); });
  if (h.test([&] { return StartModeIntegrated; })) {
    if (h.test(
            [&] { return configIniPath.empty() || !services_.files.IsPlainFile(configIniPath); })) {
      return;
    }
    for (int i = 1; i <= 5; ++i) {
      std::string name;
      h.step([&] {
        name = LoadIniString("Common", "NameM" + std::to_string(i), configIniPath, false);
      });
      if (name == "-" || name.empty()) return;
      h.step([&] { StoreMachine(MachineNames, i, name); });
    }
    return;
  }
  int16_t count = 0;
  h.step([&] { count = LoadIniInteger("Project", "NumberOfMachines", ProgramIniPath, false); });
  for (int i = 1; i <= count; ++i) {
    h.step([&] {
      StoreMachine(
          MachineNames, i,
          LoadIniString("Machine" + std::to_string(i), "MachineName", ProgramIniPath, false));
    });
  }
}

std::string StandardModule::GetLanguage() {
  Handler h(*this, "GetLanguage");
  std::string result;
  h.step([&] {
    std::string file = ProgramFolder() + kSep + services_.process.ProgramFileName() + ".ini";
    std::string language = LoadIniString("Language", "Language", file, false);
    if (!language.empty()) {
      result = language;
      return;
    }
    SaveIni(std::string("1031"), "Language", "Language", file);
    result = "1031";
  });
  return result;
}

IndexList StandardModule::GetAdditionalFieldsMDB() {
  Handler h(*this, "GetAdditionalFieldsMDB");
  IndexList result;
  h.step([&] {
    std::string value = LoadIniString("Project", "DataBaseAdditionalFields", GetCFGPath(), false);
    std::string rest = value.empty() ? "part" : "part," + value;
    for (;;) {
      size_t comma = rest.find(',');
      if (comma == std::string::npos) {
        result.Append(rest);
        break;
      }
      result.Append(rest.substr(0, comma));
      rest = rest.substr(comma + 1);
    }
  });
  return result;
}

void StandardModule::GetAddFields() {
  Handler h(*this, "GetAddFields");
  h.step([&] { AdditionalFields = GetAdditionalFieldsMDB(); });
  if (AdditionalFields.UBound() < 1) return;
  h.step([&] {
    std::string select;
    for (int i = 1; i <= AdditionalFields.UBound(); ++i) {
      select += ", PRESET_DEFS." + AdditionalFields[i];
    }
    AdditionalFieldsSelect = select;
  });
  h.step([&] { AdditionalFieldsCount = static_cast<int16_t>(AdditionalFields.UBound()); });
}

}  // namespace horavex
