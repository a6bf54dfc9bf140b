#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/UiServices.h"
#include "standard/IndexList.h"

namespace horavex {

class IniStore;

// The platform services the program works through.
struct Services {
  Process& process;
  FileSystem& files;
  IniStore& ini;
  UiServices& ui;
};

// A value for SaveIni, tagged with its kind.
struct NoValue {};
using IniValue = std::variant<int16_t, int32_t, uint8_t, float, double, std::string, bool, NoValue>;

// The shared configuration module: command line, file locations, machines and language, ini
// access, edit-info stamp, error reporter, logs and cancel confirmation, with the state the
// whole program shares.
class StandardModule {
 public:
  explicit StandardModule(Services services) : services_(services) {}

  Services& services() { return services_; }

  // --- shared state ---
  bool StartModeIntegrated = false;
  bool SilentMode = false;
  std::optional<IndexList> MachineNames;  // unallocated until a machine is found
  std::string ProgramIniPath;
  IndexList AdditionalFields;
  std::string AdditionalFieldsSelect;
  int16_t AdditionalFieldsCount = 0;

  // --- command line and start modes ---
  std::optional<std::string> ReadCommand(const std::string& commandLine,
                                         const std::string& keyword);
  bool GetStartModeIntegrated();
  std::string GetPathLogfile();

  // --- file locations ---
  std::string ProgramFolder() const;
  std::string ProjectFolder() const;
  std::string GetOCXName();
  std::string GetFileNameOnly(const std::string& path);
  std::string GetQ4TConfigurationIniPath();
  std::string GetProgramIniPath(int32_t mode);
  std::string GetCFGPath();
  std::string GetPathOCXMDB();
  std::string GetPathSourceOCXMDB();
  std::string GetPathMachineCopyMDB(const std::string& configIniPath);

  // --- machines, language, additional fields ---
  void GetExistingMachines(const std::string& configIniPath);
  std::string GetLanguage();
  IndexList GetAdditionalFieldsMDB();
  void GetAddFields();

  // --- ini access ---
  std::string LoadIniString(const std::string& section, const std::string& entry,
                            const std::string& file, bool reportMissing);
  int16_t LoadIniInteger(const std::string& section, const std::string& entry,
                         const std::string& file, bool reportMissing);
  bool LoadIniBoolean(const std::string& section, const std::string& entry, const std::string& file,
                      bool reportMissing);
  int16_t SaveIni(const IniValue& value, const std::string& section, const std::string& entry,
                  const std::string& file);

  // --- edit-info stamp ---
  void WriteEditInfo();

  // --- error reporter ---
  // Logs the failure, tells the user (or the service-pack log) and answers 1 (end), 2 (go on)
  // or 0 (no decision).
  int32_t ErrorSub(int32_t number, const std::string& source, const std::string& description,
                   const std::string& procedureName, bool fatal);
  [[noreturn]] void EndProgram();
  // Run once by EndProgram before the program ends: a procedure that leaves files half done
  // while it works sets it for as long as it works.
  std::function<void()> BeforeEnd;
  // True while ErrorSub runs; handlers then pass their failures up instead of reporting.
  bool Reporting() const { return reportDepth_ > 0; }
  // How many failures ErrorSub has reported in this run.
  int FailuresReported() const { return failuresReported_; }

  // --- logs ---
  std::string WriteErrorLog(const std::string& text);
  void ShowMessage(const std::string& text);
  void WriteServicePackLog(const std::string& text);

  // --- cancel confirmation ---
  bool ConfirmCancel();

 private:
  Services services_;
  int reportDepth_ = 0;
  int failuresReported_ = 0;
};

// Line break of the module's messages: line feed, then carriage return.
inline constexpr const char* kLfCr = "\n\r";
// The host's path separator, used for every path the program builds.
inline constexpr char kSep = kHostSeparator;
// The folder of a path: characters dropped from the end up to the last separator, then it too.
std::string ParentFolder(const std::string& path);

}  // namespace horavex
