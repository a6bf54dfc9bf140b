#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Text.h"
#include "standard/Handler.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

class ErrorReporterTest : public ::testing::Test {
 protected:
  Installation inst;
  StandardModule& m = inst.module;

  std::string LogPathUpper() const { return text::Upper(inst.ErrorLog().string()); }

  // A procedure of three steps whose second fails.
  std::vector<int> RunProcedureWithFailingStep(int32_t number = 13) {
    std::vector<int> ran;
    Handler h(m, "SomeProcedure");
    h.step([&] { ran.push_back(1); });
    h.step([&] {
      ran.push_back(2);
      throw Failure(number, "DAO.TableDefs", "Item not found in this collection.");
    });
    h.step([&] { ran.push_back(3); });
    return ran;
  }
};

TEST_F(ErrorReporterTest, YesLogsOneLineAndGoesOnWithTheNextStep) {
  inst.ui.answers = {kAnswerYes};
  EXPECT_EQ(RunProcedureWithFailingStep(3265), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(inst.Read(inst.ErrorLog()),
            "Fehler in Horavex / DAO.TableDefs / SomeProcedure (Nr. 3265) :Item not found in this "
            "collection.\r\n");
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  const MessageBoxRequest& box = inst.ui.shown[0];
  EXPECT_EQ(box.text,
            "Unexpected error!\n\rItem not found in this collection.\n\rError logged to "
            "\n\r" +
                LogPathUpper() + "\n\rResume?");
  EXPECT_EQ(box.title, "Unexpected error");
  EXPECT_EQ(box.icon, MsgIcon::Critical);
  EXPECT_EQ(box.buttons, MsgButtons::YesNo);
  EXPECT_EQ(box.defaultButton, MsgDefault::First);
}

TEST_F(ErrorReporterTest, NoEndsAtOnceWithNothingFurtherRun) {
  inst.ui.answers = {kAnswerNo};
  std::vector<int> ran;
  try {
    Handler h(m, "SomeProcedure");
    h.step([&] { throw RuntimeFailure(kOverflow); });
    h.step([&] { ran.push_back(3); });
    FAIL() << "the program did not end";
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.exitCode, kExitEndedOnError);
  }
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(inst.process.ends, 1);
  EXPECT_NE(inst.Read(inst.ErrorLog()).find("(Nr. 6) :Overflow"), std::string::npos);
}

TEST_F(ErrorReporterTest, AnswerOtherThanYesOrNoGoesOn) {
  inst.ui.answers = {kAnswerCancel};
  EXPECT_EQ(RunProcedureWithFailingStep(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(inst.process.ends, 0);
}

TEST_F(ErrorReporterTest, FailedConditionRunsThenBranch) {
  inst.ui.answers = {kAnswerYes};
  Handler h(m, "P");
  bool branch = false;
  if (h.test([&]() -> bool { throw RuntimeFailure(kTypeMismatch); })) branch = true;
  EXPECT_TRUE(branch);
}

TEST_F(ErrorReporterTest, SilentStartShowsNothingAndWritesServicePackLog) {
  m.SilentMode = true;
  EXPECT_EQ(RunProcedureWithFailingStep(), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(inst.ui.shown.empty());
  EXPECT_EQ(inst.Read(inst.ServicePackLog()),
            "! Fault Horavex_Config: Unexpected error!\n\rItem not found in this collection.\n\r"
            "Error logged to \n\r" +
                LogPathUpper() + "\r\n");
  EXPECT_EQ(m.ErrorSub(9999, "src", "fatal", "P", true), 2);
  EXPECT_TRUE(inst.ui.shown.empty());
}

TEST_F(ErrorReporterTest, FatalReportShowsOkOnlyAndEnds) {
  inst.ui.answers = {kAnswerOk};
  EXPECT_EQ(m.ErrorSub(-7, "Src", "", "P", true), 1);
  EXPECT_EQ(inst.ui.shown[0].title, "Fatal error");
  EXPECT_EQ(inst.ui.shown[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(inst.ui.shown[0].text,
            "Unexpected error!\n\r\n\rError logged to \n\r" + LogPathUpper());
  EXPECT_EQ(inst.Read(inst.ErrorLog()), "Fehler in Horavex / Src / P (Nr. -7) :\r\n");
}

TEST_F(ErrorReporterTest, IntegratedStartLogsToLogfileAndAppends) {
  // Paths on the command line end at a "/": the tool passes Windows paths.
  inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE c:\\logs\\cfg.txt";
  inst.Write(inst.driveC / "logs" / "cfg.txt", "earlier\r\n");
  m.GetStartModeIntegrated();
  inst.ui.answers = {kAnswerYes, kAnswerYes};
  RunProcedureWithFailingStep(1);
  RunProcedureWithFailingStep(2);
  // The scanner upper-cases the path; it still reaches the existing lower-case file.
  EXPECT_EQ(inst.ui.shown[0].text.substr(inst.ui.shown[0].text.find("Error logged")),
            "Error logged to \n\rC:\\LOGS\\CFG.TXT\n\rResume?");
  EXPECT_EQ(inst.Read(inst.driveC / "logs" / "cfg.txt"),
            "earlier\r\n"
            "Fehler in Horavex / DAO.TableDefs / SomeProcedure (Nr. 1) :Item not found in this "
            "collection.\r\n"
            "Fehler in Horavex / DAO.TableDefs / SomeProcedure (Nr. 2) :Item not found in this "
            "collection.\r\n");
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(ErrorReporterTest, UnwritableLogPassesTheFailureUpWithoutRecursion) {
  // Integrated start without LOGFILE: the log path is empty and cannot be written.
  inst.process.commandLine = "/EXTERNAL Q4TCFG";
  m.GetStartModeIntegrated();
  std::vector<std::string> ran;
  auto outerProcedure = [&] {
    Handler outer(m, "Outer");
    outer.step([&] {
      Handler inner(m, "Inner");
      inner.step([&] { throw RuntimeFailure(kTypeMismatch); });
      ran.push_back("inner went on");
    });
    ran.push_back("outer went on");
  };
  // The reporter's own log failure leaves Inner and reaches Outer, whose report fails the same
  // way and leaves Outer too: no box, no endless loop, and the caller gets the log failure.
  try {
    outerProcedure();
    FAIL() << "the log failure did not pass up";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kBadFileName);
  }
  EXPECT_TRUE(ran.empty());
  EXPECT_TRUE(inst.ui.shown.empty());
}

TEST_F(ErrorReporterTest, ServicePackLogInMissingFolderPassesUp) {
  SetEnvironment("CFG_DRIVE_C", (inst.root / "no" / "such").string());
  m.SilentMode = true;
  EXPECT_THROW(RunProcedureWithFailingStep(), Failure);
  // The error log line was written before the service-pack log failed.
  EXPECT_NE(inst.Read(inst.ErrorLog()).find("SomeProcedure"), std::string::npos);
}

}  // namespace
}  // namespace horavex::testing
