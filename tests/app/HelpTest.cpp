#include <gtest/gtest.h>

#include "app/HoravexConfigForm.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

class HelpTest : public ::testing::Test {
 protected:
  Installation inst;
  UpdateRun update{inst.module};
  HoravexConfigForm dialog{inst.module, update};
  std::filesystem::path languageFile = inst.bin / "Horavex_Config.ini";
  const Form design = BuildHoravexConfigLayout();

  // The stored value, or "-" when the entry does not exist.
  std::string Entry(const std::string& section, const std::string& name) {
    return inst.ini->GetString(section, name, "-", 255, languageFile.string());
  }
  // The lines of a section of the language file.
  std::vector<std::string> Lines(const std::string& section) {
    std::string content = inst.Read(languageFile);
    size_t at = content.find("[" + section + "]\r\n");
    std::vector<std::string> lines;
    if (at == std::string::npos) return lines;
    for (size_t pos = content.find('\n', at) + 1; pos < content.size() && content[pos] != '[';) {
      size_t end = content.find("\r\n", pos);
      lines.push_back(content.substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }
  void ExpectDesignTexts() {
    for (size_t i = 0; i < design.controls.size(); ++i) {
      EXPECT_EQ(dialog.form.controls[i].caption, design.controls[i].caption) << i;
      EXPECT_EQ(dialog.form.controls[i].toolTip, "") << i;
    }
  }
  // A click on a box as the view delivers it: the value toggles, the handlers run.
  void ClickUnitBox(int index) {
    Control& box = dialog.form.Get("CheckMa", index);
    dialog.SetValue(box, box.value == 1 ? 0 : 1);
    dialog.CheckMa_MouseUp(index, 1, 0, 0, 0);
  }
};

TEST_F(HelpTest, GermanFirstStartFillsTheFileWithTheDesignTexts) {
  dialog.LoadToolTipTexts();
  EXPECT_EQ(Entry("Language", "Language"), "1031");
  EXPECT_EQ(Entry("1031", "Caption_Header_"), "Horavex - Konfiguration Zeiten / Zähler");
  EXPECT_EQ(Entry("1031", "Caption_CheckDDZahler_"), "mit 3 DD-Zählern");
  EXPECT_EQ(Entry("1031", "Caption_LabelMaNummer16_"), "16");
  EXPECT_EQ(Entry("1031", "Caption_LabelMaZeiten3_"), "Std.");
  EXPECT_EQ(Entry("1031", "Caption_CheckMa4_"), "");
  EXPECT_EQ(Entry("1031", "TTT_MainFrame_"), "0");
  EXPECT_EQ(Entry("1031", "TTT_CheckMa239_"), "0");
  EXPECT_EQ(Entry("1031", "Caption_FrameMa0_"), "-");

  int captions = 0, placeholders = 0;
  for (const std::string& line : Lines("1031")) {
    if (line.rfind("Caption_", 0) == 0) ++captions;
    if (line.size() > 2 && line.substr(line.size() - 2) == "=0") ++placeholders;
  }
  EXPECT_EQ(captions, 345);
  EXPECT_EQ(placeholders, 352 + 4);  // every tooltip, Help1, Help2, Help11 and Help12
  EXPECT_EQ(Lines("1031").size(), 345u + 352u + 4u);
  ExpectDesignTexts();

  // A second start finds everything and leaves the file as it is.
  const std::string first = inst.Read(languageFile);
  HoravexConfigForm again{inst.module, update};
  again.LoadToolTipTexts();
  EXPECT_EQ(inst.Read(languageFile), first);
}

TEST_F(HelpTest, OtherLanguageGetsPlaceholdersAndKeepsTheGermanDesign) {
  inst.Write(languageFile, "[Language]\r\nLanguage=1033\r\n[1031]\r\nCaption_Header_=Kopf\r\n");
  dialog.LoadToolTipTexts();
  std::vector<std::string> lines = Lines("1033");
  EXPECT_EQ(lines.size(), 701u);
  for (const std::string& line : lines) EXPECT_EQ(line.substr(line.find('=')), "=0") << line;
  EXPECT_EQ(Lines("1031"), std::vector<std::string>{"Caption_Header_=Kopf"});
  ExpectDesignTexts();
}

TEST_F(HelpTest, TranslatedTextsReplaceTheDesignOnes) {
  inst.Write(languageFile,
             "[Language]\r\nLanguage=1033\r\n[1033]\r\nCaption_CommandOK_=OK\r\n"
             "TTT_CheckMa0_=Sekunden\r\nCaption_Header_=0\r\nHelp12=Zeile 1<crlf>Zeile 2\r\n");
  dialog.LoadToolTipTexts();
  EXPECT_EQ(dialog.form.Get("CommandOK").caption, "OK");
  EXPECT_EQ(dialog.form.Get("CheckMa", 0).toolTip, "Sekunden");
  EXPECT_EQ(dialog.form.Get("CheckMa", 1).toolTip, "");
  EXPECT_EQ(dialog.form.Get("Header").caption, "Horavex - Konfiguration Zeiten / Zähler");

  dialog.CommandQuest_Click();
  inst.ui.answers = {kAnswerOk};
  ClickUnitBox(7);
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text, "Zeile 1\r\nZeile 2");
  EXPECT_EQ(inst.ui.shown[0].title, "Info:");
  EXPECT_EQ(inst.ui.shown[0].icon, MsgIcon::Information);
  EXPECT_EQ(inst.ui.shown[0].buttons, MsgButtons::Ok);
}

TEST_F(HelpTest, HelpModeShowsHelpInsteadOfActing) {
  dialog.HelpTexts[1] = "a<crlf>b<CRLF><CrLf>c<crlf";
  dialog.HelpTexts[2] = "Abbruch";
  dialog.HelpTexts[11] = "DD";
  dialog.HelpTexts[12] = "Einheit";
  Control& dd = dialog.form.Get("CheckDDZahler");
  dialog.form.Get("CheckMa", 3).value = 1;
  dialog.CommandQuest_Click();
  EXPECT_EQ(dialog.form.Get("CommandQuest").backColor, kGreen);

  inst.ui.answers = {kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk};
  dialog.CommandOK_Click();
  dialog.CommandCancel_Click();
  dialog.SetValue(dd, 1);
  ClickUnitBox(5);
  std::vector<std::string> texts;
  for (const MessageBoxRequest& box : inst.ui.shown) texts.push_back(box.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"a\r\nb\r\n\r\nc<crlf", "Abbruch", "DD", "Einheit"}));
  EXPECT_EQ(inst.process.ends, 0);
  EXPECT_TRUE(dialog.form.Get("CommandCancel").enabled);
  EXPECT_EQ(dd.value, 0);
  EXPECT_EQ(dialog.form.Get("CheckMa", 3).value, 1);
  EXPECT_EQ(dialog.form.Get("CheckMa", 5).value, 0);

  dialog.CommandQuest_Click();
  EXPECT_EQ(dialog.form.Get("CommandQuest").backColor, kLightGrey);
  dialog.SetValue(dd, 1);
  ClickUnitBox(5);
  EXPECT_EQ(dd.value, 1);
  EXPECT_EQ(dialog.form.Get("CheckMa", 3).value, 0);
  EXPECT_EQ(dialog.form.Get("CheckMa", 5).value, 1);
  EXPECT_EQ(inst.ui.shown.size(), 4u);
}

TEST_F(HelpTest, FailuresStayQuietAndAbandonOnlyTheirControl) {
  inst.Write(languageFile, "[Language]\r\nLanguage=1031\r\n[1031]\r\nHelp11=0\r\n");
  dialog.form.Get("CommandOK").helpId = 150;
  dialog.form.Get("CommandCancel").tag = "xNotTT";
  dialog.LoadToolTipTexts();
  EXPECT_EQ(Entry("1031", "Caption_CommandOK_"), "");
  EXPECT_EQ(Entry("1031", "Help150"), "-");
  EXPECT_EQ(Entry("1031", "TTT_CommandOK_"), "-");
  EXPECT_EQ(Entry("1031", "Caption_CommandCancel_xNotTT"), "");
  EXPECT_EQ(Entry("1031", "TTT_CommandCancel_xNotTT"), "-");
  EXPECT_EQ(Entry("1031", "Help2"), "0");

  // A control without help shows an empty box; a box that fails is not reported either.
  dialog.CommandQuest_Click();
  inst.ui.answers = {kAnswerOk, ScriptedUi::kFail};
  dialog.ShowHelp(dialog.form.Get("Header"));
  dialog.ShowHelp(dialog.form.Get("CheckDDZahler"));
  ASSERT_EQ(inst.ui.shown.size(), 2u);
  EXPECT_EQ(inst.ui.shown[0].text, "");
  EXPECT_EQ(inst.ui.shown[1].text, "0");
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

}  // namespace
}  // namespace horavex::testing
