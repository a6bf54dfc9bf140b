#include "app/qt/QtUiServices.h"

#include "app/qt/ClassicLook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QList>
#include <QMessageBox>
#include <QPushButton>

namespace horavex {
namespace {

// A Yes/No question as the classic platform asks it: neither Escape nor the title bar's close
// button dismisses it, only Yes or No (Return takes the default button).
class QuestionBox : public QMessageBox {
 public:
  QuestionBox() { setWindowFlag(Qt::WindowCloseButtonHint, false); }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  s.replace("\n\r", "\n");
  s.replace('\r', '\n');
  return s;
}

namespace {

// What a display connection is told while the QApplication is created: the messages, and the
// end of the program in place of Qt's abort.
struct DisplayConnection {
  QtMessageHandler previous = nullptr;
  const std::function<void(const std::string&)>* noDisplay = nullptr;
  QList<std::pair<QtMsgType, QString>> messages;
};
DisplayConnection* connecting = nullptr;

// Why no window can be shown, from what Qt was told to use.
std::string NoDisplayReason() {
  QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty()) return "QT_QPA_PLATFORM=" + platform.toStdString() + " cannot be used";
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    QByteArray value = qgetenv(name);
    if (!value.isEmpty()) {
      return std::string(name) + "=" + value.toStdString() + " cannot be reached";
    }
  }
  return "DISPLAY is not set";
}

void OnConnectMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) (*connecting->noDisplay)(NoDisplayReason());
  connecting->messages.append({type, message});
}

}  // namespace

void QtUiServices::ConnectToDisplay(
    const std::function<void(const std::string& reason)>& noDisplay) {
  if (QCoreApplication::instance()) return;
  DisplayConnection connection;
  connection.noDisplay = &noDisplay;
  connecting = &connection;
  connection.previous = qInstallMessageHandler(OnConnectMessage);
  Application();
  qInstallMessageHandler(connection.previous);
  connecting = nullptr;
  // What Qt had to say on the way, said now that it is not the end.
  for (const auto& [type, message] : connection.messages) {
    connection.previous(type, QMessageLogContext(), message);
  }
}

QtUiServices::QtUiServices(int& argc, char** argv) : argc_(argc), argv_(argv) {}

QtUiServices::~QtUiServices() = default;

QApplication& QtUiServices::Application() {
  if (!app_) {
    if (QApplication* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
      return *existing;
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
    ApplyClassicLook(*app_);
  }
  return *app_;
}

int QtUiServices::MessageBox(const MessageBoxRequest& request) {
  Application();
  if (redraw_) redraw_();
  return Ask(request);
}

int QtUiServices::Ask(const MessageBoxRequest& request) {
  std::unique_ptr<QMessageBox> owned = request.buttons == MsgButtons::YesNo
                                           ? std::make_unique<QuestionBox>()
                                           : std::make_unique<QMessageBox>();
  QMessageBox& box = *owned;
  box.setText(DisplayText(request.text));
  box.setWindowTitle(QString::fromStdString(request.title));
  switch (request.icon) {
    case MsgIcon::Critical:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::None:
      break;
  }
  std::vector<std::pair<QPushButton*, int>> buttons;
  auto add = [&](const char* label, QMessageBox::ButtonRole role, int answer) {
    buttons.emplace_back(box.addButton(QString::fromUtf8(label), role), answer);
  };
  switch (request.buttons) {
    case MsgButtons::Ok:
      add("OK", QMessageBox::AcceptRole, kAnswerOk);
      break;
    case MsgButtons::OkCancel:
      add("OK", QMessageBox::AcceptRole, kAnswerOk);
      add("Cancel", QMessageBox::RejectRole, kAnswerCancel);
      break;
    case MsgButtons::YesNo:
      add("&Yes", QMessageBox::YesRole, kAnswerYes);
      add("&No", QMessageBox::NoRole, kAnswerNo);
      break;
    case MsgButtons::YesNoCancel:
      add("&Yes", QMessageBox::YesRole, kAnswerYes);
      add("&No", QMessageBox::NoRole, kAnswerNo);
      add("Cancel", QMessageBox::RejectRole, kAnswerCancel);
      break;
  }
  size_t preferred = request.defaultButton == MsgDefault::Second  ? 1
                     : request.defaultButton == MsgDefault::Third ? 2
                                                                  : 0;
  if (preferred < buttons.size()) box.setDefaultButton(buttons[preferred].first);
  if (overrideCursor_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (overrideCursor_) QApplication::restoreOverrideCursor();
  for (const auto& [button, answer] : buttons) {
    if (box.clickedButton() == button) return answer;
  }
  return request.buttons == MsgButtons::Ok ? kAnswerOk : kAnswerCancel;
}

void QtUiServices::SetMousePointer(int pointer) {
  if (!HasApplication() && !QCoreApplication::instance()) return;
  if (overrideCursor_) {
    QApplication::restoreOverrideCursor();
    overrideCursor_ = false;
  }
  if (pointer == kPointerHourglass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    overrideCursor_ = true;
  }
}

void QtUiServices::ShowWaiting(const std::string& what) {
  if (what == waitingFor_) return;
  waitingFor_ = what;
  if (waitNotice_) waitNotice_(what);
}

void QtUiServices::ProcessPendingEvents() {
  constexpr qint64 kIntervalMs = 10;
  if (!QCoreApplication::instance()) return;
  if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kIntervalMs) return;
  if (redraw_) redraw_();
  QCoreApplication::processEvents();
  sinceEvents_.start();
}

}  // namespace horavex
