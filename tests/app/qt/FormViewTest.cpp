#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "app/HoravexConfigForm.h"
#include "app/qt/FormView.h"
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
  [[noreturn]] void EndNow(int exitCode) override { std::_Exit(exitCode); }
};

class NoUpdate : public UpdateRun {
 public:
  using UpdateRun::UpdateRun;
  void WorkOnMDB() override {}
};

class FormViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "FormViewTest";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
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
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }

  QCheckBox* Box(int index) { return qobject_cast<QCheckBox*>(view->WidgetFor("CheckMa", index)); }

  Installation inst;
  EndingProcess process;
  StandardModule module{Services{process, inst.files, *inst.ini, inst.ui}};
  NoUpdate update{module};
  HoravexConfigForm dialog{module, update};
  std::unique_ptr<FormView> view;
};

TEST_F(FormViewTest, ClickedUnitIsWrittenByOk) {
  QTest::mouseClick(Box(1), Qt::LeftButton);
  EXPECT_EQ(dialog.form.Get("CheckMa", 0).value, 0);
  EXPECT_EQ(dialog.form.Get("CheckMa", 1).value, 1);
  EXPECT_FALSE(Box(0)->isChecked());
  EXPECT_TRUE(Box(1)->isChecked());

  // The forked child has none of the threads that Qt paints with, so it must not paint: the
  // window is hidden first (the button still takes the click), and an alarm turns a hang into
  // a failure.
  view->hide();
  QCoreApplication::processEvents();
  EXPECT_EXIT(
      {
        ::alarm(30);
        QTest::mouseClick(view->WidgetFor("CommandOK"), Qt::LeftButton);
      },
      ::testing::ExitedWithCode(kExitOk), "");
  auto stored = [&](const std::string& entry) {
    return inst.ini->GetString("Machine1", entry, "-", 255, inst.ProgramIni().string());
  };
  EXPECT_EQ(stored("HoravexFormat1"), "2");
  EXPECT_EQ(stored("HoravexFormat2"), "3");
  EXPECT_EQ(stored("HoravexFormat3"), "1");
  EXPECT_EQ(stored("HoravexWith3DD"), "False");
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
