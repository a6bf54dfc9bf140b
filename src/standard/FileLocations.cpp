#include "platform/Text.h"
#include "standard/Handler.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

bool EndsWithSeparator(const std::string& s) {
  return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

}  // namespace

std::string StandardModule::ProgramFolder() const {
  return services_.process.ProgramFolder();
}

std::string StandardModule::ProjectFolder() const {
  return ParentFolder(ProgramFolder());
}

std::string StandardModule::GetOCXName() {
  Handler h(*this, "GetOCXName");
  std::string result;
  h.step([&] {
    std::string name = services_.process.ProgramFileName();
    size_t length = text::Length(name);
    if (length < 7) throw RuntimeFailure(kInvalidProcedureCall);
    result = text::Left(name, length - 7);
  });
  return result;
}

std::string StandardModule::GetFileNameOnly(const std::string& path) {
  Handler h(*this, "GetFileNameOnly");
  std::string result;
  h.step([&] {
    size_t last = path.find_last_of("\\/");
    result = last == std::string::npos ? path : path.substr(last + 1);
  });
  return result;
}

std::string StandardModule::GetQ4TConfigurationIniPath() {
  Handler h(*this, "GetQ4TConfigurationIniPath");
  std::string result;
  h.step([&] {
    std::string path = ProjectFolder() + kSep + "parameter" + kSep + "q4tconfiguration.ini";
    if (services_.files.IsPlainFile(path)) result = path;
  });
  return result;
}

std::string StandardModule::GetProgramIniPath(int32_t mode) {
  Handler h(*this, "GetProgramIniPath");
  std::string result;
  h.step([&] {
    std::string path;
    if (mode == 1 && StartModeIntegrated) {
      std::string folder =
          LoadIniString("Common", "SaveAndRestore", GetQ4TConfigurationIniPath(), false);
      path = folder + (EndsWithSeparator(folder) ? "" : std::string(1, kSep)) + "parameter" + kSep +
             "program.ini";
    } else {
      path = ProjectFolder() + kSep + "parameter" + kSep + "Program.ini";
    }
    if (services_.files.IsPlainFile(path)) result = path;
  });
  return result;
}

std::string StandardModule::GetCFGPath() {
  Handler h(*this, "GetCFGPath");
  std::string result;
  h.step([&] {
    std::string name = GetOCXName();
    std::string path = ProjectFolder() + kSep + name + kSep + name + ".cfg";
    if (services_.files.IsPlainFile(path)) {
      result = path;
      return;
    }
    ShowMessage(std::string("File not found: ") + kLfCr + text::Upper(path));
    services_.process.EndNow(kExitEndedOnError);
  });
  return result;
}

std::string StandardModule::GetPathOCXMDB() {
  Handler h(*this, "GetPathOCXMDB");
  std::string result;
  h.step([&] {
    std::string name = GetOCXName();
    result = ProjectFolder() + kSep + name + kSep + name + ".mdb";
  });
  return result;
}

std::string StandardModule::GetPathSourceOCXMDB() {
  Handler h(*this, "GetPathSourceOCXMDB");
  std::string result;
  h.step([&] {
    std::string name = GetOCXName();
    std::string path = ProjectFolder() + kSep + name + kSep + name + "_Source.mdb";
    if (services_.files.IsPlainFile(path)) result = path;
  });
  return result;
}

std::string StandardModule::GetPathMachineCopyMDB(const std::string& configIniPath) {
  Handler h(*this, "GetPathMachineCopyMDB");
  std::string result;
  h.step([&] {
    std::string folder = LoadIniString("Common", "SaveAndRestore", configIniPath, false);
    std::string name = GetOCXName();
    std::string path = folder + (EndsWithSeparator(folder) ? "" : std::string(1, kSep)) + name +
                       kSep + name + ".mdb";
    bool exists = false;
    try {
      exists = services_.files.IsPlainFile(path);
    } catch (...) {
      // An unreachable drive counts as a missing file, unreported.
    }
    if (exists) result = path;
  });
  return result;
}

}  // namespace horavex
