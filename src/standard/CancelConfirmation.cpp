#include "standard/StandardModule.h"

namespace horavex {

bool StandardModule::ConfirmCancel() {
  std::string question = std::string("Cancel edits?") + kLfCr + "Remark:" + kLfCr +
                         "Until now no changes have been taken over ";
  if (StartModeIntegrated) {
    question += std::string(kLfCr) + "\"" + GetOCXName() + "\"" +
                " has to be configured again in " + "\"standalone-mode\"" + " via " + kLfCr + "\"" +
                services_.process.ProgramFolder() + kSep + services_.process.ProgramFileName() +
                ".exe" + "\"";
  }
  if (SilentMode) {
    WriteServicePackLog(question);
    return true;
  }
  int answer = services_.ui.MessageBox(
      {question, "Cancel?", MsgIcon::Exclamation, MsgButtons::YesNo, MsgDefault::Second});
  if (answer == kAnswerYes) {
    WriteErrorLog("Konfigurations-EXE wurde abgebrochen:     " + GetOCXName());
    return true;
  }
  return false;
}

}  // namespace horavex
