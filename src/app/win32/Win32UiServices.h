#pragma once

#include <windows.h>
#undef MessageBox

#include <functional>
#include <string>

#include "platform/UiServices.h"

namespace horavex {

// The window system through Windows' own message boxes, message loop and cursors. Nothing is
// asked of it until the dialog's window exists, so a silent start never touches it.
class Win32UiServices : public UiServices {
 public:
  int MessageBox(const MessageBoxRequest& request) override;
  void SetMousePointer(int pointer) override;
  // Runs the queued messages, at most every few milliseconds: the record generation asks before
  // every field, far more often than the window needs to stay responsive.
  void ProcessPendingEvents() override;
  void ShowWaiting(const std::string& what) override;

  // The dialog's window: the owner of the message boxes, whose messages pass filter first (the
  // dialog's keyboard) before they are dispatched.
  void Attach(HWND window, std::function<bool(MSG&)> filter);
  // Draws the dialog's current state; called before pending messages run and before a box is
  // shown, so the window never shows an older state while a handler runs.
  void SetRedraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }
  void SetWaitNotice(std::function<void(const std::string&)> notice) {
    waitNotice_ = std::move(notice);
  }
  // Whether the dialog shows the hourglass now: not while a message box waits for an answer.
  bool ShowsHourglass() const { return hourglass_ && !asking_; }

  // Takes one message through the filter and dispatches it.
  void Deliver(MSG& message);

 private:
  HWND window_ = nullptr;
  std::function<bool(MSG&)> filter_;
  std::function<void()> redraw_;
  std::function<void(const std::string&)> waitNotice_;
  std::string waitingFor_;
  bool hourglass_ = false;
  bool asking_ = false;
  ULONGLONG lastEvents_ = 0;
};

// A message's text as a Windows message box shows it: one CR LF for each line break.
std::wstring MessageBoxText(const std::string& text);

}  // namespace horavex
