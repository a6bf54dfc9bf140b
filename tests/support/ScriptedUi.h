#pragma once

#include <deque>
#include <stdexcept>
#include <vector>

#include "platform/Failure.h"
#include "platform/UiServices.h"

namespace horavex::testing {

// Answers message boxes in turn from a script and records every box it was shown.
class ScriptedUi : public UiServices {
 public:
  // An answer that makes the box itself fail.
  static constexpr int kFail = -1;

  std::deque<int> answers;
  std::vector<MessageBoxRequest> shown;
  std::vector<int> pointers;
  int pendingEventRuns = 0;

  int MessageBox(const MessageBoxRequest& request) override {
    shown.push_back(request);
    if (answers.empty()) throw std::logic_error("unexpected message box: " + request.text);
    int answer = answers.front();
    answers.pop_front();
    if (answer == kFail) throw RuntimeFailure(kDeviceIoError);
    return answer;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  void ProcessPendingEvents() override { ++pendingEventRuns; }
};

}  // namespace horavex::testing
