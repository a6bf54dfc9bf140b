#include "app/win32/Win32UiServices.h"

#include "app/FormPresenter.h"
#include "platform/win32/Wide.h"

namespace horavex {

std::wstring MessageBoxText(const std::string& text) {
  std::string lines = OneBreakPerPair(text);
  std::string shown;
  for (char c : lines) {
    if (c == '\n') shown += '\r';
    shown += c;
  }
  return win32::ToWide(shown);
}

void Win32UiServices::Attach(HWND window, std::function<bool(MSG&)> filter) {
  window_ = window;
  filter_ = std::move(filter);
}

int Win32UiServices::MessageBox(const MessageBoxRequest& request) {
  if (redraw_) redraw_();
  // The run-time's numbers are Windows' own flags and answers.
  UINT flags = static_cast<UINT>(request.icon) | static_cast<UINT>(request.buttons) |
               static_cast<UINT>(request.defaultButton) | MB_SETFOREGROUND;
  if (window_ == nullptr) flags |= MB_TASKMODAL;
  const std::wstring text = MessageBoxText(request.text);
  const std::wstring title = win32::ToWide(request.title);
  asking_ = true;
  int answer = 0;
  // A Yes/No question is answered by Yes or No only. Windows keeps such a box open on Escape;
  // Wine closes it with Cancel, and then it is asked again.
  do {
    answer = ::MessageBoxW(window_, text.c_str(), title.c_str(), flags);
  } while (request.buttons == MsgButtons::YesNo && answer == IDCANCEL);
  asking_ = false;
  if (answer == 0) return request.buttons == MsgButtons::Ok ? kAnswerOk : kAnswerCancel;
  return answer;
}

void Win32UiServices::SetMousePointer(int pointer) {
  hourglass_ = pointer == kPointerHourglass;
  if (window_ == nullptr) return;
  ::SetCursor(::LoadCursorW(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
}

void Win32UiServices::ShowWaiting(const std::string& what) {
  if (what == waitingFor_) return;
  waitingFor_ = what;
  if (waitNotice_) waitNotice_(what);
}

void Win32UiServices::ProcessPendingEvents() {
  constexpr ULONGLONG kIntervalMs = 10;
  if (window_ == nullptr) return;
  ULONGLONG now = ::GetTickCount64();
  if (lastEvents_ != 0 && now - lastEvents_ < kIntervalMs) return;
  if (redraw_) redraw_();
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the main message loop, which ends the program on it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    Deliver(message);
  }
  lastEvents_ = ::GetTickCount64();
}

void Win32UiServices::Deliver(MSG& message) {
  if (filter_ && filter_(message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

}  // namespace horavex
