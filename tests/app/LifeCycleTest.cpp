#include <gtest/gtest.h>

#include "app/HoravexConfigForm.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

// Records that the database update ran.
class RecordingUpdate : public UpdateRun {
 public:
  using UpdateRun::UpdateRun;
  int runs = 0;
  void WorkOnMDB() override { ++runs; }
};

class LifeCycleTest : public ::testing::Test {
 protected:
  // One machine that uses the component, so the page has something to fill and to write; an
  // empty machine list would be reported.
  LifeCycleTest() {
    inst.Write(inst.ProgramIni(),
               "[Project]\r\nNumberOfMachines=1\r\n[Machine1]\r\nMachineName=Linie 1\r\n");
    inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=TRUE\r\n");
  }

  Installation inst;
  RecordingUpdate update{inst.module};
  HoravexConfigForm dialog{inst.module, update};

  int EndOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const ProgramEnded& end) {
      return end.exitCode;
    }
    return -1;
  }
};

TEST_F(LifeCycleTest, DesignStateOfTheWindowAndButtons) {
  EXPECT_EQ(dialog.form.width, 11880);
  EXPECT_EQ(dialog.form.height, 8595);
  EXPECT_EQ(dialog.form.backColor, kLightGrey);
  EXPECT_EQ(dialog.form.caption, "Base Q4TCFG-Erweiterung");
  EXPECT_EQ(dialog.form.controls.size(), 352u);
  EXPECT_FALSE(dialog.form.Get("CommandOK").enabled);
  EXPECT_TRUE(dialog.form.Get("CommandCancel").enabled);
  EXPECT_TRUE(dialog.form.Get("CommandQuest").enabled);
}

TEST_F(LifeCycleTest, StandaloneLoadSetsCaptionAndEnablesButtons) {
  dialog.Form_Load();
  EXPECT_EQ(dialog.form.caption, "Erweiterte Konfiguration Bin - standalone");
  EXPECT_TRUE(dialog.form.Get("CommandOK").enabled);
  EXPECT_TRUE(dialog.form.Get("CommandCancel").enabled);
  EXPECT_EQ(dialog.ConfigIniPath, "");
  EXPECT_EQ(update.runs, 0);
}

TEST_F(LifeCycleTest, IntegratedLoadFindsConfigurationIni) {
  inst.Write(inst.ConfigIni(), "[Common]\r\nNameM1=Linie 1\r\n");
  inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\log.txt";
  dialog.Form_Load();
  EXPECT_EQ(dialog.form.caption, "Erweiterte Konfiguration Bin - integriert");
  EXPECT_TRUE(inst.module.StartModeIntegrated);
  EXPECT_EQ(dialog.ConfigIniPath, inst.ConfigIni().string());
}

TEST_F(LifeCycleTest, SilentLoadRunsOkAndEndsWithoutAnyBox) {
  inst.process.commandLine = "/EXTERNAL SILENT";
  EXPECT_EQ(EndOf([&] { dialog.Form_Load(); }), kExitOk);
  EXPECT_EQ(update.runs, 1);
  EXPECT_FALSE(dialog.form.Get("CommandOK").enabled);
  EXPECT_FALSE(dialog.form.Get("CommandCancel").enabled);
  EXPECT_TRUE(inst.ui.shown.empty());
  EXPECT_EQ(inst.ui.pointers, (std::vector<int>{kPointerHourglass, kPointerDefault}));
  EXPECT_EQ(inst.ui.pendingEventRuns, 1);
}

TEST_F(LifeCycleTest, ActivationEnablesOk) {
  dialog.Form_Activate();
  EXPECT_TRUE(dialog.form.Get("CommandOK").enabled);
}

TEST_F(LifeCycleTest, CancelRefusedKeepsDialogConfirmedEndsAndLogs) {
  dialog.Form_Load();
  inst.ui.answers = {kAnswerNo};
  dialog.CommandCancel_Click();
  EXPECT_EQ(inst.process.ends, 0);
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));

  inst.ui.answers = {kAnswerYes};
  EXPECT_EQ(EndOf([&] { dialog.CommandCancel_Click(); }), kExitCancelled);
  EXPECT_EQ(inst.Read(inst.ErrorLog()), "Konfigurations-EXE wurde abgebrochen:     Horavex\r\n");
  EXPECT_EQ(update.runs, 0);
}

TEST_F(LifeCycleTest, CancelInHelpModeDoesNotCancel) {
  dialog.CommandQuest_Click();
  ASSERT_TRUE(dialog.HelpMode);
  dialog.CommandCancel_Click();
  EXPECT_EQ(inst.process.ends, 0);
  EXPECT_TRUE(inst.ui.shown.empty() || inst.ui.shown.back().title != "Cancel?");
}

TEST_F(LifeCycleTest, CloseBoxAsksEvenInHelpMode) {
  dialog.CommandQuest_Click();
  bool cancel = false;
  inst.ui.answers = {kAnswerNo};
  dialog.Form_QueryUnload(cancel, 0);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(inst.ui.shown.back().title, "Cancel?");

  cancel = false;
  inst.ui.answers = {kAnswerYes};
  dialog.Form_QueryUnload(cancel, 0);
  EXPECT_FALSE(cancel);
}

TEST_F(LifeCycleTest, FailingConfirmationKeepsWindowOpenButCancelButtonEnds) {
  bool cancel = false;
  inst.ui.answers = {ScriptedUi::kFail, kAnswerYes};
  dialog.Form_QueryUnload(cancel, 0);
  EXPECT_TRUE(cancel);
  EXPECT_NE(inst.Read(inst.ErrorLog()).find("/ Form_QueryUnload (Nr. 57)"), std::string::npos);

  inst.ui.answers = {ScriptedUi::kFail, kAnswerYes};
  EXPECT_EQ(EndOf([&] { dialog.CommandCancel_Click(); }), kExitCancelled);
}

TEST_F(LifeCycleTest, UnwritableLogDuringCloseEscapesToTheRunTime) {
  // An integrated start without LOGFILE cannot write its error log.
  inst.process.commandLine = "/EXTERNAL Q4TCFG";
  inst.module.GetStartModeIntegrated();
  inst.ui.answers = {kAnswerYes};
  bool cancel = false;
  EXPECT_THROW(dialog.Form_QueryUnload(cancel, 0), Failure);
}

TEST_F(LifeCycleTest, OkRunsUpdateThenEnds) {
  dialog.Form_Load();
  EXPECT_EQ(EndOf([&] { dialog.CommandOK_Click(); }), kExitOk);
  EXPECT_EQ(update.runs, 1);
}

}  // namespace
}  // namespace horavex::testing
