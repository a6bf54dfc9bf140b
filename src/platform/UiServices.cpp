#include "platform/UiServices.h"

namespace horavex {

int NoWindowUi::MessageBox(const MessageBoxRequest& request) {
  bool second = request.defaultButton == MsgDefault::Second;
  switch (request.buttons) {
    case MsgButtons::YesNo:
      return second ? kAnswerNo : kAnswerYes;
    case MsgButtons::YesNoCancel:
      return second ? kAnswerNo : kAnswerYes;
    case MsgButtons::OkCancel:
      return second ? kAnswerCancel : kAnswerOk;
    case MsgButtons::Ok:
      break;
  }
  return kAnswerOk;
}

}  // namespace horavex
