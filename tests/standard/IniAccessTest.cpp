#include <gtest/gtest.h>

#include "support/Installation.h"

namespace horavex::testing {
namespace {

class IniAccessTest : public ::testing::Test {
 protected:
  Installation inst;
  StandardModule& m = inst.module;
  std::string file = (inst.parameter / "Program.ini").string();
};

TEST_F(IniAccessTest, StringsAreCutAt254Characters) {
  inst.Write(file, "[S]\r\nlong=" + std::string(300, 'x') + "\r\nempty=\r\n");
  EXPECT_EQ(m.LoadIniString("S", "long", file, false), std::string(254, 'x'));
  EXPECT_EQ(m.LoadIniString("s", "EMPTY", file, false), "");
  EXPECT_EQ(m.LoadIniString("S", "missing", file, false), "");
  EXPECT_TRUE(inst.ui.shown.empty());
}

TEST_F(IniAccessTest, NotFoundNoticeWhenAsked) {
  inst.ui.answers = {kAnswerOk};
  EXPECT_EQ(m.LoadIniString("S", "E", file, true), "");
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text, "File '" + file + "' or Section [S] or Entry 'E' not found");
}

TEST_F(IniAccessTest, BooleansAreTrueOnlyForTheWordTrue) {
  inst.Write(file, "[S]\r\na=true\r\nb=True\r\nc=TRUE\r\nd=1\r\ne=yes\r\nf=\r\n");
  for (const char* e : {"a", "b", "c"}) EXPECT_TRUE(m.LoadIniBoolean("S", e, file, false)) << e;
  for (const char* e : {"d", "e", "f", "g"})
    EXPECT_FALSE(m.LoadIniBoolean("S", e, file, false)) << e;
}

TEST_F(IniAccessTest, IntegersAre16Bit) {
  inst.Write(file, "[S]\r\nbig=40000\r\nminus=-1\r\nseven=7\r\n");
  EXPECT_EQ(m.LoadIniInteger("S", "seven", file, false), 7);
  EXPECT_EQ(m.LoadIniInteger("S", "minus", file, false), -1);
  EXPECT_EQ(m.LoadIniInteger("S", "missing", file, false), -1);
  inst.ui.answers = {kAnswerYes};
  EXPECT_EQ(m.LoadIniInteger("S", "big", file, false), 0);
  EXPECT_EQ(inst.Read(inst.ErrorLog()),
            "Fehler in Horavex / Horavex_Config / LoadIniInteger (Nr. 6) :Overflow\r\n");
}

TEST_F(IniAccessTest, SaveWritesEachKindWithoutBlanksAndCreatesTheFile) {
  EXPECT_NE(m.SaveIni(int16_t(7), "S", "i", file), 0);
  m.SaveIni(int32_t(-5), "S", "l", file);
  m.SaveIni(true, "S", "b", file);
  m.SaveIni(std::string("True"), "S", "s", file);
  m.SaveIni(1.5, "S", "d", file);
  // Floating-point values in their own precision, the exponent in upper case.
  m.SaveIni(0.1f, "S", "f", file);
  m.SaveIni(1e20, "S", "e", file);
  EXPECT_EQ(inst.Read(file),
            "[S]\r\ni=7\r\nl=-5\r\nb=true\r\ns=True\r\nd=1.5\r\nf=0.1\r\ne=1E+20\r\n");
}

TEST_F(IniAccessTest, WrongKindIsRefusedAndKeepsTheEntry) {
  inst.Write(file, "[S]\r\nkeep=old\r\n");
  inst.ui.answers = {kAnswerOk};
  EXPECT_EQ(m.SaveIni(NoValue{}, "S", "keep", file), 0);
  EXPECT_EQ(inst.ui.shown.at(0).text, "Ini Save:  wrong data type");
  EXPECT_EQ(inst.Read(file), "[S]\r\nkeep=old\r\n");
}

TEST_F(IniAccessTest, RefusedWriteReturnsZeroSilently) {
  std::string missingFolder = (inst.root / "no" / "such" / "x.ini").string();
  EXPECT_EQ(m.SaveIni(std::string("v"), "S", "e", missingFolder), 0);
  EXPECT_TRUE(inst.ui.shown.empty());
  EXPECT_FALSE(inst.Exists(inst.root / "no"));
}

}  // namespace
}  // namespace horavex::testing
