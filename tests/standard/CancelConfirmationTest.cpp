#include <gtest/gtest.h>

#include "support/Installation.h"

namespace horavex::testing {
namespace {

const std::string kQuestion =
    "Cancel edits?\n\rRemark:\n\rUntil now no changes have been taken over ";

TEST(CancelConfirmationTest, NoKeepsTheDialogAndLogsNothing) {
  Installation inst;
  inst.ui.answers = {kAnswerNo};
  EXPECT_FALSE(inst.module.ConfirmCancel());
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text, kQuestion);
  EXPECT_EQ(inst.ui.shown[0].title, "Cancel?");
  EXPECT_EQ(inst.ui.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(inst.ui.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(inst.ui.shown[0].defaultButton, MsgDefault::Second);
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST(CancelConfirmationTest, YesLogsTheCancel) {
  Installation inst;
  inst.ui.answers = {kAnswerYes};
  EXPECT_TRUE(inst.module.ConfirmCancel());
  EXPECT_EQ(inst.Read(inst.ErrorLog()), "Konfigurations-EXE wurde abgebrochen:     Horavex\r\n");
}

TEST(CancelConfirmationTest, IntegratedQuestionHasFiveLines) {
  Installation inst;
  inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\cfg.txt";
  inst.module.GetStartModeIntegrated();
  inst.ui.answers = {kAnswerNo};
  EXPECT_FALSE(inst.module.ConfirmCancel());
  EXPECT_EQ(inst.ui.shown[0].text,
            kQuestion +
                "\n\r\"Horavex\" has to be configured again in \"standalone-mode\" via \n\r\"" +
                inst.bin.string() + kSep + "Horavex_Config.exe\"");
}

TEST(CancelConfirmationTest, SilentAnswersYesAndRecordsTheQuestion) {
  Installation inst;
  inst.module.SilentMode = true;
  EXPECT_TRUE(inst.module.ConfirmCancel());
  EXPECT_TRUE(inst.ui.shown.empty());
  EXPECT_EQ(inst.Read(inst.ServicePackLog()), "! Fault Horavex_Config: " + kQuestion + "\r\n");
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

}  // namespace
}  // namespace horavex::testing
