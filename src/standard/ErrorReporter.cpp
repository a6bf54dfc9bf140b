#include <cstdlib>
#include <utility>

#include "platform/Text.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

class ReportScope {
 public:
  explicit ReportScope(int& depth) : depth_(depth) { ++depth_; }
  ~ReportScope() { --depth_; }
  ReportScope(const ReportScope&) = delete;
  ReportScope& operator=(const ReportScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

int32_t StandardModule::ErrorSub(int32_t number, const std::string& source,
                                 const std::string& description, const std::string& procedureName,
                                 bool fatal) {
  ReportScope scope(reportDepth_);
  ++failuresReported_;
  std::string component;
  try {
    component = GetOCXName();
  } catch (const Failure&) {
    // The name lookup failed inside this report; reporting that too would never end.
  }
  std::string logLine = "Fehler in " + component + " / " + source + " / " + procedureName +
                        " (Nr. " + text::Decimal(number) + ") :" + description;
  std::string notice = WriteErrorLog(logLine);
  std::string message = std::string("Unexpected error!") + kLfCr + description + kLfCr + notice;

  if (SilentMode) {
    WriteServicePackLog(message);
    return 2;
  }
  if (!fatal) {
    MessageBoxRequest box{message + kLfCr + "Resume?", "Unexpected error", MsgIcon::Critical,
                          MsgButtons::YesNo, MsgDefault::First};
    int answer = services_.ui.MessageBox(box);
    if (answer == kAnswerYes) return 2;
    if (answer == kAnswerNo) return 1;
    return 0;
  }
  services_.ui.MessageBox(
      {message, "Fatal error", MsgIcon::Critical, MsgButtons::Ok, MsgDefault::First});
  return 1;
}

void StandardModule::EndProgram() {
  if (std::function<void()> cleanUp = std::exchange(BeforeEnd, nullptr)) {
    try {
      cleanUp();
    } catch (...) {
      // Ending is what matters now.
    }
  }
  services_.process.EndNow(kExitEndedOnError);
  std::abort();  // not reached: EndNow does not return
}

}  // namespace horavex
