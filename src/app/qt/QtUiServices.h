#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/UiServices.h"

class QApplication;

namespace horavex {

// The window system through Qt Widgets. The QApplication is created on first need, so a start
// that never shows anything never connects to a display.
class QtUiServices : public UiServices {
 public:
  QtUiServices(int& argc, char** argv);
  ~QtUiServices() override;

  int MessageBox(const MessageBoxRequest& request) override;
  void SetMousePointer(int pointer) override;
  // Processes the queued events, at most every few milliseconds: the record generation asks
  // before every field, far more often than the window needs to stay responsive.
  void ProcessPendingEvents() override;
  void ShowWaiting(const std::string& what) override;

  QApplication& Application();
  bool HasApplication() const { return app_ != nullptr; }

  // Draws the dialog's current state; called before pending events are processed and before a
  // message box is shown, so the window never shows an older state while a handler runs.
  void SetRedraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }
  // Shows what the program waits for ("" when the wait is over).
  void SetWaitNotice(std::function<void(const std::string&)> notice) {
    waitNotice_ = std::move(notice);
  }

  // Creates the QApplication for a start that needs a window, so the display it will use is
  // connected to before anything is written. Calls noDisplay (which must end the program) with
  // why, instead of Qt's own abort, when no display can be opened.
  void ConnectToDisplay(const std::function<void(const std::string& reason)>& noDisplay);

 protected:
  // Shows the box and waits for the answer.
  virtual int Ask(const MessageBoxRequest& request);

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> app_;
  bool overrideCursor_ = false;
  QElapsedTimer sinceEvents_;
  std::function<void()> redraw_;
  std::function<void(const std::string&)> waitNotice_;
  std::string waitingFor_;
};

// The text of a message as Qt shows it: every pair of line-break characters becomes one break.
QString DisplayText(const std::string& text);

}  // namespace horavex
