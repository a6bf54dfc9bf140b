#pragma once

#include <string>

namespace horavex {

// Message box icons, button sets and answers with the values of the VB run-time.
enum class MsgIcon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class MsgButtons { Ok = 0, OkCancel = 1, YesNoCancel = 3, YesNo = 4 };
enum class MsgDefault { First = 0, Second = 256, Third = 512 };
enum MsgAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// Mouse pointer numbers of the VB run-time.
enum MousePointer : int { kPointerDefault = 0, kPointerHourglass = 11 };

struct MessageBoxRequest {
  std::string text;  // line breaks exactly as the program built them
  std::string title;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
  MsgDefault defaultButton = MsgDefault::First;
};

// What the program asks of the window system.
class UiServices {
 public:
  virtual ~UiServices() = default;
  // Shows a modal message box and returns the answer (a MsgAnswer value).
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
  virtual void SetMousePointer(int pointer) = 0;
  // Lets the window system handle the events that are waiting.
  virtual void ProcessPendingEvents() = 0;
  // Says what the program waits for (another program's lock, say) until it is called with "".
  virtual void ShowWaiting(const std::string& /*what*/) {}

  // One step of a wait for something another program holds: says what it waits for and keeps
  // the window alive. ShowWaiting("") ends the notice.
  void WhileWaiting(const std::string& what) {
    ShowWaiting(what);
    ProcessPendingEvents();
  }
};

// The window system of a start without a window: it has nothing to show and nobody to ask.
// A box answers with its default button.
class NoWindowUi : public UiServices {
 public:
  int MessageBox(const MessageBoxRequest& request) override;
  void SetMousePointer(int) override {}
  void ProcessPendingEvents() override {}
};

}  // namespace horavex
