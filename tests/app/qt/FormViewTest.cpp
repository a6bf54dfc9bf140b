#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>

#include "app/HoravexConfigForm.h"
#include "app/qt/ClassicLook.h"
#include "app/qt/FormView.h"
#include "app/qt/QtUiServices.h"
#include "support/Databases.h"
#include "support/Installation.h"

// Fontconfig keeps its configuration for the life of the process and Qt never releases it; the
// sanitizer build would report that as a leak of this test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace horavex::testing {
namespace {

// Ends the process at once, as the program does. A thrown end would unwind through Qt Gui and
// Widgets, which are built without exceptions and would skip their own clean-up; the test
// watches the real end from a forked child instead.
class EndingProcess : public TestProcess {
 public:
  std::function<void()> atEnd;
  [[noreturn]] void EndNow(int exitCode) override {
    if (atEnd) atEnd();
    std::_Exit(exitCode);
  }
};

// The Qt window system with scripted answers instead of boxes; a box nobody expected ends the
// process with status 99, a second closing run (its hourglass) with 98.
class AnsweringUi : public QtUiServices {
 public:
  using QtUiServices::QtUiServices;
  std::deque<int> answers;
  std::vector<MessageBoxRequest> asked;
  std::function<void()> whileAsked;
  int hourglasses = 0;

  void SetMousePointer(int pointer) override {
    if (pointer == kPointerHourglass && ++hourglasses > 1) std::_Exit(98);
    QtUiServices::SetMousePointer(pointer);
  }

 protected:
  int Ask(const MessageBoxRequest& request) override {
    asked.push_back(request);
    if (whileAsked) whileAsked();
    if (answers.empty()) std::_Exit(99);
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

class FormViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "FormViewTest";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) ApplyClassicLook(*new QApplication(argc, argv));
  }

  FormViewTest() {
    process.programFolder = inst.bin.string();
    inst.Write(inst.ProgramIni(),
               "[Project]\r\nNumberOfMachines=1\r\n[Machine1]\r\nMachineName=Linie 1\r\n"
               "HoravexFormat2=3\r\n");
    inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=TRUE\r\n");
    module.GetExistingMachines("");
    dialog.SetupUserInterFace();
    dialog.Form_Activate();
    view = std::make_unique<FormView>(dialog);
    ui.SetRedraw([this] { view->Sync(); });
    ui.SetWaitNotice([this](const std::string& what) { view->ShowWaiting(what); });
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }

  QCheckBox* Box(int index) { return qobject_cast<QCheckBox*>(view->WidgetFor("CheckMa", index)); }

  // The forked child has none of the threads that Qt paints with, so it must not paint: the
  // window is hidden first (its widgets still take events), and an alarm turns a hang into a
  // failure.
  void ExpectOkEndsWith(int exitCode, const std::function<void()>& inChild = {}) {
    view->hide();
    QCoreApplication::processEvents();
    EXPECT_EXIT(
        {
          ::alarm(60);
          if (inChild) inChild();
          QTest::mouseClick(view->WidgetFor("CommandOK"), Qt::LeftButton);
        },
        ::testing::ExitedWithCode(exitCode), "");
  }
  std::string Stored(const std::string& entry) {
    return inst.ini->GetString("Machine1", entry, "-", 255, inst.ProgramIni().string());
  }

  static inline int argc = 1;
  Installation inst;
  EndingProcess process;
  AnsweringUi ui{argc, nullptr};
  StandardModule module{Services{process, inst.files, *inst.ini, ui}};
  UpdateRun update{module};
  HoravexConfigForm dialog{module, update};
  std::unique_ptr<FormView> view;
};

TEST_F(FormViewTest, ClickedUnitIsWrittenByOk) {
  QTest::mouseClick(Box(1), Qt::LeftButton);
  EXPECT_EQ(dialog.form.Get("CheckMa", 0).value, 0);
  EXPECT_EQ(dialog.form.Get("CheckMa", 1).value, 1);
  EXPECT_FALSE(Box(0)->isChecked());
  EXPECT_TRUE(Box(1)->isChecked());

  ExpectOkEndsWith(kExitOk);
  EXPECT_EQ(Stored("HoravexFormat1"), "2");
  EXPECT_EQ(Stored("HoravexFormat2"), "3");
  EXPECT_EQ(Stored("HoravexFormat3"), "1");
  EXPECT_EQ(Stored("HoravexWith3DD"), "False");
}

// Clicks on OK and Cancel, a close request and an activation, sent whenever the run lets
// pending events through, reach no handler and change nothing of what the run writes.
TEST_F(FormViewTest, OkRunTakesNoFurtherInput) {
  std::vector<std::string> rows;
  for (int i = 1; i <= 300; ++i) {
    rows.push_back(std::to_string(i) + ", 1, 'PRESS', 3, 'V" + std::to_string(i) + "', 1, 0, " +
                   std::to_string(i) + ", 't', 'p', 0, 600, 1, 60, 2");
  }
  MakeDatabase(inst.component / "Horavex_Source.mdb",
               TemplateSql({"'VisiWin32', 1, '###machine.###Var_Name'"}, rows));
  MakeDatabase(
      inst.component / "Horavex.mdb",
      PresetDefsSql(kPresetColumns,
                    {"9, 1, 'PRESS', 3, 'Linie 1.V7', 1, 0, 7, 't', 'p', -5, 5, 0, 1, 9"}));
  const std::string disturbed = (inst.root / "disturbed").string();
  QTimer disturb;
  QObject::connect(&disturb, &QTimer::timeout, [&] {
    std::ofstream(disturbed, std::ios::app) << "x";
    QTest::mouseClick(view->WidgetFor("CommandCancel"), Qt::LeftButton);
    QCloseEvent close;
    QCoreApplication::sendEvent(view.get(), &close);
    QEvent activation(QEvent::ActivationChange);
    QCoreApplication::sendEvent(view.get(), &activation);
    QTest::mouseClick(view->WidgetFor("CommandOK"), Qt::LeftButton);
  });
  ExpectOkEndsWith(kExitOk, [&] { disturb.start(0); });  // a box would have ended it with 99

  EXPECT_TRUE(inst.Exists(disturbed));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
  EXPECT_EQ(Stored("HoravexFormat2"), "3");
  EXPECT_EQ(QueryRows(inst.component / "Horavex.mdb",
                      "SELECT count(*), sum(abs_min = -5 AND pass = 9) FROM PRESET_DEFS"),
            std::vector<std::string>{"300|1"});
  EXPECT_EQ(DumpDatabase(inst.component / "Horavex.mdb"),
            DumpDatabase(inst.component / "Horavex_Source.mdb"));
}

// While OK waits for another run on the installation, the window handles its events and its
// title says what it waits for; once the other run ends, this one completes and the title is
// the dialog's own again.
TEST_F(FormViewTest, WaitForAnotherRunKeepsTheWindowAlive) {
  MakeDatabase(inst.component / "Horavex_Source.mdb",
               TemplateSql({"'VisiWin32', 1, '###machine.###Var_Name'"},
                           {"1, 1, 'PRESS', 3, 'V1', 1, 0, 1, 't', 'p', 0, 600, 1, 60, 2"}));
  update.runLockTimeoutMs = 60000;
  dialog.form.caption = "Erweiterte Konfiguration Bin - standalone";
  const std::string titles = (inst.root / "titles").string();
  int otherRun = -1;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QString title = view->windowTitle();
    if (otherRun < 0 || !title.contains("waiting")) return;
    std::ofstream(titles) << title.toStdString() << "\n";
    ::close(otherRun);
    otherRun = -1;
  });
  process.atEnd = [&] {
    std::ofstream(titles, std::ios::app) << view->windowTitle().toStdString();
  };
  ExpectOkEndsWith(kExitOk, [&] {
    otherRun = ::open((inst.component / "Horavex.mdb.lock").c_str(), O_RDWR | O_CREAT, 0600);
    if (::flock(otherRun, LOCK_EX) != 0) std::_Exit(97);
    watch.start(5);
  });

  EXPECT_EQ(inst.Read(titles),
            "Erweiterte Konfiguration Bin - standalone - waiting for another configuration run of "
            "this installation\nErweiterte Konfiguration Bin - standalone");
  EXPECT_EQ(QueryRows(inst.component / "Horavex.mdb", "SELECT var_name FROM PRESET_DEFS"),
            std::vector<std::string>{"Linie 1.V1"});
  EXPECT_EQ(Stored("HoravexFormat2"), "3");
}

TEST_F(FormViewTest, HelpModeClicksAndKeysLeaveTheUnitBox) {
  QTest::mouseClick(view->WidgetFor("CommandQuest"), Qt::LeftButton);
  ASSERT_TRUE(dialog.HelpMode);
  std::vector<bool> drawnWhileAsked;
  ui.whileAsked = [&] { drawnWhileAsked.push_back(Box(1)->isChecked()); };
  ui.answers = {kAnswerOk, kAnswerOk, kAnswerOk};
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
    QTest::mouseClick(Box(1), button);
  }
  // Space and the access key of a caption from the language file toggle nothing either.
  dialog.form.Get("CheckMa", 1).caption = "&m";
  view->Sync();
  Box(1)->setFocus();
  ui.answers = {kAnswerOk, kAnswerOk};
  QTest::keyClick(Box(1), Qt::Key_Space);
  QTest::keyClick(view.get(), Qt::Key_M, Qt::AltModifier);
  EXPECT_EQ(ui.asked.size(), 5u);
  EXPECT_EQ(drawnWhileAsked, std::vector<bool>(5, false));
  EXPECT_EQ(ui.asked.back().title, "Info:");
  EXPECT_EQ(dialog.form.Get("CheckMa", 0).value, 1);
  EXPECT_EQ(dialog.form.Get("CheckMa", 1).value, 0);
  EXPECT_TRUE(Box(0)->isChecked());
  EXPECT_FALSE(Box(1)->isChecked());

  // What OK then writes is the setting as it was: seconds.
  QTest::mouseClick(view->WidgetFor("CommandQuest"), Qt::LeftButton);
  ExpectOkEndsWith(kExitOk);
  EXPECT_EQ(Stored("HoravexFormat1"), "1");
}

TEST_F(FormViewTest, ClassicLookWithCaptionsThatFit) {
  auto pixel = [&](const char* name, int x, int y) {
    QWidget* w = view->WidgetFor(name);
    return view->grab().toImage().pixelColor(w->mapTo(view.get(), QPoint(x, y)));
  };
  const QColor grey(192, 192, 192);
  EXPECT_EQ(pixel("CommandOK", 8, 8), grey);
  EXPECT_EQ(view->grab().toImage().pixelColor(view->WidgetFor("FrameMa", 0)->geometry().center() +
                                              QPoint(0, 120)),
            grey);
  QTest::mouseClick(view->WidgetFor("CommandQuest"), Qt::LeftButton);
  EXPECT_EQ(pixel("CommandQuest", 8, 8), QColor(0, 255, 0));

  // Every caption of the layout fits its control, the column headings with room between them.
  for (const Control& c : dialog.form.controls) {
    if (c.kind != ControlKind::Label || c.caption.empty() || !c.visible) continue;
    QWidget* w = view->WidgetFor(c.name, c.index);
    int width = QFontMetrics(w->font()).horizontalAdvance(QString::fromStdString(c.caption));
    EXPECT_LT(width, w->width() - (c.name == "LabelMaZeiten" ? 2 : 0)) << c.name << c.index;
  }

  // A caption from the language file shows below the button's picture.
  dialog.form.Get("CommandOK").caption = "OK";
  view->Sync();
  auto* ok = qobject_cast<QToolButton*>(view->WidgetFor("CommandOK"));
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_EQ(ok->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

  // Below its picture, inside the frame, each button has room for its caption's whole line: the
  // style draws the caption 4 pixels under the picture.
  dialog.form.Get("CommandQuest").caption = "&Hilfe";
  dialog.form.Get("CommandCancel").caption = "Abbrechen ohne zu speichern";
  view->Sync();
  for (const char* name : {"CommandQuest", "CommandOK", "CommandCancel"}) {
    auto* button = qobject_cast<QToolButton*>(view->WidgetFor(name));
    int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    QFontMetrics metrics(button->font());
    QString shown = button->text().remove('&');
    EXPECT_FALSE(shown.isEmpty()) << name;
    EXPECT_LE(button->iconSize().height() + 4 + metrics.height(), button->height() - 2 * frame)
        << name;
    EXPECT_LE(metrics.horizontalAdvance(shown), button->width() - 2 * frame) << name;
    EXPECT_GE(button->iconSize().height(), 20) << name;
  }
  EXPECT_EQ(qobject_cast<QToolButton*>(view->WidgetFor("CommandQuest"))->text(), "&Hilfe");
}

// A start that needs a window says so in one line when it cannot reach its display, local or
// remote, and writes nothing.
TEST_F(FormViewTest, StartWithoutADisplaySaysSoAndWritesNothing) {
  std::filesystem::copy_file(HORAVEX_PROGRAM, inst.bin / "Horavex_Config");
  for (const char* display : {"-u DISPLAY", "DISPLAY=localhost:99"}) {
    std::string command = "cd '" + inst.bin.string() +
                          "' && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE " +
                          display + " ./Horavex_Config > out.txt 2>&1";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << display;
    EXPECT_EQ(WEXITSTATUS(status), kExitNoDisplay) << display;
    std::string said = inst.Read(inst.bin / "out.txt");
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("no display"), std::string::npos) << said;
    EXPECT_NE(said.find("/EXTERNAL SILENT"), std::string::npos) << said;
    EXPECT_FALSE(inst.Exists(inst.bin / "Horavex_Config.ini")) << display;
    EXPECT_FALSE(inst.Exists(inst.ErrorLog())) << display;
  }
}

// Escape and a close request leave a Yes/No question open; Return takes its default button.
TEST_F(FormViewTest, YesNoQuestionIsAnsweredOnlyByYesOrNo) {
  QtUiServices plain(argc, nullptr);
  bool openAfterEscape = false, openAfterClose = false;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    openAfterEscape = box->isVisible();
    QCloseEvent close;
    QCoreApplication::sendEvent(box, &close);
    openAfterClose = box->isVisible();
    QTest::keyClick(box, Qt::Key_Return);
  });
  int answer = plain.MessageBox(
      {"Resume?", "Unexpected error", MsgIcon::Critical, MsgButtons::YesNo, MsgDefault::Second});
  EXPECT_TRUE(openAfterEscape);
  EXPECT_TRUE(openAfterClose);
  EXPECT_EQ(answer, kAnswerNo);
}

// The window opens with the focus on OK; Return and keypad Enter press the focused button, and
// Alt with the letter after "&" in a caption reaches its control.
TEST_F(FormViewTest, KeyboardWorksAsOnThePlatform) {
  EXPECT_EQ(QApplication::focusWidget(), view->WidgetFor("CommandOK"));

  QWidget* help = view->WidgetFor("CommandQuest");
  help->setFocus();
  QTest::keyClick(help, Qt::Key_Return);
  EXPECT_TRUE(dialog.HelpMode);
  QTest::keyClick(help, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_FALSE(dialog.HelpMode);

  dialog.form.Get("CheckDDZahler").caption = "mit 3 &DD-Zählern";
  dialog.form.Get("CommandQuest").caption = "&Hilfe";
  view->Sync();
  QTest::keyClick(view.get(), Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 1);
  EXPECT_EQ(QApplication::focusWidget(), view->WidgetFor("CheckDDZahler"));
  // A button's access key presses it a moment later, as a click animates it.
  QTest::keyClick(view.get(), Qt::Key_H, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.HelpMode; }));
  ui.answers = {kAnswerOk};
  QTest::keyClick(view.get(), Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 1);

  // A label's access key moves the focus to the control after it.
  dialog.form.Get("LabelMaUeber", 0).caption = "&Zeitenformat";
  view->Sync();
  QTest::keyClick(view.get(), Qt::Key_Z, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), Box(0));
}

TEST_F(FormViewTest, SpaceTogglesABoxWithoutTheMouseHandler) {
  ASSERT_TRUE(Box(0)->isChecked());
  Box(0)->setFocus();
  QTest::keyClick(Box(0), Qt::Key_Space);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(dialog.form.Get("CheckMa", i).value, 0) << i;
  EXPECT_FALSE(Box(0)->isChecked());
}

}  // namespace
}  // namespace horavex::testing
