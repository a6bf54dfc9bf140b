#include "platform/Text.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

constexpr const char* kServicePackLog = "C:\\PakroServicePack.log";

}  // namespace

std::string ParentFolder(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder.pop_back();
  if (!folder.empty()) folder.pop_back();
  return folder;
}

std::string StandardModule::WriteErrorLog(const std::string& text) {
  std::string parent = ParentFolder(services_.process.ProgramFolder());
  std::string path =
      StartModeIntegrated ? GetPathLogfile() : parent + kSep + std::string("Q4Tcfglog.txt");
  services_.files.Append(path, text::Utf8ToCp1252(text + "\r\n"));
  return std::string("Error logged to ") + kLfCr + text::Upper(path);
}

void StandardModule::ShowMessage(const std::string& text) {
  if (SilentMode) {
    WriteServicePackLog(text);
    return;
  }
  services_.ui.MessageBox({text, services_.process.ProgramFileName(), MsgIcon::Critical,
                           MsgButtons::Ok, MsgDefault::First});
}

void StandardModule::WriteServicePackLog(const std::string& text) {
  std::string record = "! Fault " + services_.process.ProgramFileName() + ": " + text + "\r\n";
  services_.files.Append(kServicePackLog, text::Utf8ToCp1252(record));
}

}  // namespace horavex
