#include <gtest/gtest.h>

#include "platform/Text.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  Installation inst;
  StandardModule& m = inst.module;

  void Start(const std::string& commandLine) {
    inst.process.commandLine = commandLine;
    m.GetStartModeIntegrated();
  }
};

TEST_F(CommandLineTest, EmptyCommandLineIsStandalone) {
  Start("");
  EXPECT_FALSE(m.StartModeIntegrated);
  EXPECT_FALSE(m.SilentMode);
  EXPECT_EQ(m.GetPathLogfile(), "");
  EXPECT_FALSE(m.ReadCommand("", "EXTERNAL").has_value());
}

TEST_F(CommandLineTest, IntegratedWithAnySingleSeparatorAndAnyCase) {
  for (const char* line : {"/external q4tcfg", "/EXTERNAL=Q4TCFG", "/EXTERNAL:Q4TCFG",
                           "/EXTERNAL  Q4TCFG", "/EXTERNAL Q4TCFG /LOGFILE C:\\Logs\\Cfg.txt"}) {
    Start(line);
    EXPECT_TRUE(m.StartModeIntegrated) << line;
    EXPECT_TRUE(m.GetStartModeIntegrated()) << line;
    EXPECT_FALSE(m.SilentMode) << line;
  }
}

TEST_F(CommandLineTest, MissingSeparatorEatsFirstCharacterOfValue) {
  EXPECT_EQ(m.ReadCommand("/EXTERNALQ4TCFG", "EXTERNAL"), "4TCFG");
  Start("/EXTERNALQ4TCFG");
  EXPECT_FALSE(m.StartModeIntegrated);
}

TEST_F(CommandLineTest, LogfileIsUpperCasedAndEndsAtNextSwitch) {
  Start("/EXTERNAL Q4TCFG /LOGFILE C:\\Logs\\Cfg.txt");
  EXPECT_EQ(m.GetPathLogfile(), "C:\\LOGS\\CFG.TXT");
  inst.process.commandLine = "/LOGFILE C:\\Logs/Cfg.txt";
  EXPECT_EQ(m.GetPathLogfile(), "C:\\LOGS");
  inst.process.commandLine = "/LOGFILE \"C:\\a b\\x.log\"";
  EXPECT_EQ(m.GetPathLogfile(), "\"C:\\A B\\X.LOG\"");
  inst.process.commandLine = "/LOGFILE c:\\straße\\ä.log";
  EXPECT_EQ(m.GetPathLogfile(), "C:\\STRAßE\\Ä.LOG");
}

TEST_F(CommandLineTest, SilentInAnyOrder) {
  Start("/LOGFILE C:\\Logs\\Cfg.txt /EXTERNAL SILENT");
  EXPECT_TRUE(m.SilentMode);
  EXPECT_FALSE(m.StartModeIntegrated);
}

TEST_F(CommandLineTest, EmptyValueBeforeNextSwitch) {
  Start("/EXTERNAL /LOGFILE C:\\x.log");
  EXPECT_EQ(m.ReadCommand(inst.process.commandLine, "EXTERNAL"), "");
  EXPECT_FALSE(m.StartModeIntegrated);
  EXPECT_EQ(m.GetPathLogfile(), "C:\\X.LOG");
}

TEST_F(CommandLineTest, KeywordFoundInsideAnotherValue) {
  Start("/LOGFILE D:\\external\\x.log");
  EXPECT_EQ(m.ReadCommand(inst.process.commandLine, "EXTERNAL"), "X.LOG");
  EXPECT_FALSE(m.StartModeIntegrated);
  EXPECT_FALSE(m.SilentMode);
}

TEST_F(CommandLineTest, KeywordAtTheVeryEndIsReportedAndReadsEmpty) {
  inst.ui.answers = {kAnswerYes};
  Start("/EXTERNAL");
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text,
            "Unexpected error!\n\rInvalid procedure call or argument\n\rError logged to \n\r" +
                text::Upper(inst.ErrorLog().string()) + "\n\rResume?");
  EXPECT_EQ(inst.Read(inst.ErrorLog()),
            "Fehler in Horavex / Horavex_Config / ReadCommand (Nr. 5) :Invalid procedure call or "
            "argument\r\n");
  EXPECT_FALSE(m.StartModeIntegrated);
  inst.ui.answers = {kAnswerYes};
  EXPECT_EQ(m.ReadCommand("/EXTERNAL", "EXTERNAL"), "");
}

}  // namespace
}  // namespace horavex::testing
