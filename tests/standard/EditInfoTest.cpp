#include <gtest/gtest.h>

#include "support/Installation.h"

namespace horavex::testing {
namespace {

class EditInfoTest : public ::testing::Test {
 protected:
  Installation inst;
  std::string Stamp() { return inst.Read(inst.Cfg()); }
};

TEST_F(EditInfoTest, StandaloneStampEncodesTheFirstEnvironmentValue) {
  // "a" 97+5=102=0x66; "-" and "_" are skipped; "=" 61+5=0x42; "\x01" 1+5=6; "ÿ" 255+5=0x104.
  inst.process.environmentEntry = "USER=a-_=\x01ÿ";
  inst.module.WriteEditInfo();
  EXPECT_EQ(Stamp(), "[Project]\r\n[Info]\r\nS_Prog=1.0.3 - Standalone\r\nS_Editor=66426104\r\n");
}

TEST_F(EditInfoTest, IntegratedAndEmptyEditor) {
  inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\log.txt";
  inst.module.GetStartModeIntegrated();
  inst.process.environmentEntry = "X=-_-";
  inst.module.WriteEditInfo();
  inst.module.WriteEditInfo();
  EXPECT_EQ(Stamp(), "[Project]\r\n[Info]\r\nS_Prog=1.0.3 - Integrated\r\nS_Editor=\r\n");
}

TEST_F(EditInfoTest, EmptyEnvironment) {
  inst.process.environmentEntry = "";
  inst.module.WriteEditInfo();
  EXPECT_NE(Stamp().find("S_Editor=\r\n"), std::string::npos);
}

TEST_F(EditInfoTest, RefusedStampIsReportedOnce) {
  std::filesystem::permissions(inst.Cfg(), std::filesystem::perms::owner_read);
  inst.module.SilentMode = true;
  inst.module.WriteEditInfo();
  EXPECT_EQ(Stamp(), "[Project]\r\n");
  EXPECT_EQ(inst.module.FailuresReported(), 1);
  EXPECT_NE(inst.Read(inst.ErrorLog()).find("WriteEditInfo (Nr. 75) :Path/File access error"),
            std::string::npos);
}

}  // namespace
}  // namespace horavex::testing
