#include <gtest/gtest.h>

#include <map>

#include "app/HoravexConfigForm.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

class NoUpdate : public UpdateRun {
 public:
  using UpdateRun::UpdateRun;
  void WorkOnMDB() override {}
};

// Refuses every write to one file, as a read-only or full disk would.
class RefusingIni : public IniStore {
 public:
  RefusingIni(IniStore& inner, std::string refused) : inner_(inner), refused_(std::move(refused)) {}
  std::string GetString(const std::string& s, const std::string& e, const std::string& d, size_t n,
                        const std::string& f) const override {
    return inner_.GetString(s, e, d, n, f);
  }
  uint32_t GetInt(const std::string& s, const std::string& e, int32_t d,
                  const std::string& f) const override {
    return inner_.GetInt(s, e, d, f);
  }
  bool WriteString(const std::string& s, const std::string& e, const std::string& v,
                   const std::string& f) override {
    return f != refused_ && inner_.WriteString(s, e, v, f);
  }
  void CheckReadable(const std::string& f) const override { inner_.CheckReadable(f); }
  void BeginGroup() override { inner_.BeginGroup(); }
  bool EndGroup() override { return inner_.EndGroup(); }

 private:
  IniStore& inner_;
  std::string refused_;
};

class SettingsPageTest : public ::testing::Test {
 protected:
  Installation inst;
  NoUpdate update{inst.module};
  HoravexConfigForm dialog{inst.module, update};
  std::string programIni = inst.ProgramIni().string();

  // Program.ini with machines 1 to count, each section followed by its entries from extra.
  void Machines(int count, const std::map<int, std::string>& extra = {}) {
    std::string ini = "[Project]\r\nNumberOfMachines=" + std::to_string(count) + "\r\n";
    for (int n = 1; n <= count; ++n) {
      ini += "[Machine" + std::to_string(n) + "]\r\nMachineName=Linie " + std::to_string(n) +
             "\r\n" + (extra.count(n) ? extra.at(n) : "");
    }
    inst.Write(inst.ProgramIni(), ini);
  }
  void SwitchOn(std::initializer_list<int> machines) {
    std::string cfg = "[Project]\r\n";
    for (int n : machines) cfg += "ForMachine" + std::to_string(n) + "=true\r\n";
    inst.Write(inst.Cfg(), cfg);
  }
  void Load(HoravexConfigForm& d) {
    d.module().GetExistingMachines("");
    d.SetupUserInterFace();
  }
  Control& Box(int machine, int row, int column) {
    return dialog.form.Get("CheckMa", 48 * (machine - 1) + 3 * (row - 1) + column);
  }
  // The values of a row's seconds, minutes and hours boxes, "100" for seconds.
  std::string Units(int machine, int row) {
    std::string s;
    for (int c = 0; c < 3; ++c) s += Box(machine, row, c).value == 1 ? '1' : '0';
    return s;
  }
  // A mouse click as the view delivers it: the box toggles, then the mouse-up handler runs.
  void Click(int machine, int row, int column) {
    Control& box = Box(machine, row, column);
    dialog.SetValue(box, box.value == 1 ? 0 : 1);
    dialog.CheckMa_MouseUp(box.index, 1, 0, 0, 0);
  }
  std::string Stored(int machine, const std::string& entry) {
    return inst.ini->GetString("Machine" + std::to_string(machine), entry, "", 255, programIni);
  }
  std::string LogLine(const std::string& procedure, int number, const std::string& text) {
    return "Fehler in Horavex / Horavex_Config / " + procedure + " (Nr. " + std::to_string(number) +
           ") :" + text + "\r\n";
  }
};

TEST_F(SettingsPageTest, StoredUnitsCheckTheirBoxesAndEverythingElseReadsAsSeconds) {
  Machines(1, {{1,
                "HoravexFormat1=3\r\nHoravexFormat2=2\r\nHoravexFormat3=1\r\n"
                "HoravexFormat4=0\r\nHoravexFormat5=7\r\n"}});
  SwitchOn({1});
  Load(dialog);
  std::vector<std::string> rows;
  for (int r = 1; r <= 6; ++r) rows.push_back(Units(1, r));
  EXPECT_EQ(rows, (std::vector<std::string>{"001", "010", "100", "100", "100", "100"}));
  EXPECT_EQ(Units(1, 16), "100");
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 0);
}

TEST_F(SettingsPageTest, OnlyMachineTwoOnWritesExactlyItsSection) {
  Machines(3, {{1, "HoravexFormat1=2\r\nHoravexWith3DD=True\r\n"}, {2, "HoravexFormat3=3\r\n"}});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=FALSE\r\nForMachine2=TRUE\r\n");
  const std::string before = inst.Read(inst.ProgramIni());
  Load(dialog);
  // Machine 1 is off: its frame keeps the design state and none of its settings are loaded.
  const Control& first = dialog.form.Get("FrameMa", 0);
  EXPECT_TRUE(first.visible);
  EXPECT_EQ(first.caption, "Ma1");
  EXPECT_EQ(Units(1, 1), "000");
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 0);
  EXPECT_EQ(dialog.form.Get("FrameMa", 1).caption, "Linie 2");
  EXPECT_FALSE(dialog.form.Get("FrameMa", 2).visible);

  dialog.SetValue(dialog.form.Get("CheckDDZahler"), 1);
  Click(2, 3, 1);
  Click(2, 16, 2);
  dialog.WriteInputs();

  const std::string stored = "MachineName=Linie 2\r\nHoravexFormat3=3\r\n";
  std::string machine2 = "MachineName=Linie 2\r\nHoravexFormat3=2\r\nHoravexWith3DD=True\r\n";
  for (int k = 1; k <= 16; ++k) {
    if (k != 3)
      machine2 += "HoravexFormat" + std::to_string(k) + "=" + (k == 16 ? "3" : "1") + "\r\n";
  }
  std::string expected = before;
  expected.replace(expected.find(stored), stored.size(), machine2);
  EXPECT_EQ(inst.Read(inst.ProgramIni()), expected);
  EXPECT_NE(inst.Read(inst.Cfg()).find("S_Prog=1.0.3 - Standalone"), std::string::npos);
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(SettingsPageTest, DdBoxShowsCheckedWhenAnySwitchedOnMachineHasIt) {
  Machines(3, {{2, "HoravexWith3DD=True\r\n"}, {3, "HoravexWith3DD=True\r\n"}});
  SwitchOn({1, 3});
  Load(dialog);
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 1);
  dialog.WriteInputs();
  EXPECT_EQ(Stored(1, "HoravexWith3DD"), "True");
  EXPECT_EQ(Stored(3, "HoravexWith3DD"), "True");
  EXPECT_EQ(Stored(2, "HoravexFormat1"), "");

  // A later machine without the entry does not clear what an earlier one set.
  HoravexConfigForm second{inst.module, update};
  Machines(3, {{1, "HoravexWith3DD=True\r\n"}, {3, "HoravexWith3DD=False\r\n"}});
  Load(second);
  EXPECT_EQ(second.form.Get("CheckDDZahler").value, 1);
}

TEST_F(SettingsPageTest, ClicksAndKeyboardToggledRowsAreWrittenByPriority) {
  Machines(1, {{1, "HoravexFormat1=3\r\n"}});
  SwitchOn({1});
  Load(dialog);
  Click(1, 1, 1);
  EXPECT_EQ(Units(1, 1), "010");
  Click(1, 1, 1);  // the checked box stays checked
  EXPECT_EQ(Units(1, 1), "010");

  Box(1, 2, 0).value = 0;  // the keyboard toggles without the mouse-up handler
  Box(1, 3, 1).value = 1;
  Box(1, 3, 2).value = 1;
  Box(1, 4, 1).value = 1;
  dialog.WriteInputs();
  EXPECT_EQ(Stored(1, "HoravexFormat1"), "2");
  EXPECT_EQ(Stored(1, "HoravexFormat2"), "1");
  EXPECT_EQ(Stored(1, "HoravexFormat3"), "3");
  EXPECT_EQ(Stored(1, "HoravexFormat4"), "2");
  EXPECT_EQ(Stored(1, "HoravexWith3DD"), "False");
}

TEST_F(SettingsPageTest, FiveMachinesShowSideBySide) {
  Machines(5);
  SwitchOn({1, 2, 3, 4, 5});
  Load(dialog);
  for (int m = 0; m < 5; ++m) {
    const Control& frame = dialog.form.Get("FrameMa", m);
    EXPECT_TRUE(frame.visible);
    EXPECT_EQ(frame.left, 90 + 2160 * m);
    EXPECT_EQ(frame.caption, "Linie " + std::to_string(m + 1));
    EXPECT_EQ(Units(m + 1, 16), "100");
  }
}

TEST_F(SettingsPageTest, MachineSixIsReportedAndLeftUntouched) {
  Machines(6, {{6, "HoravexWith3DD=True\r\nHoravexFormat1=3\r\n"}});
  SwitchOn({1, 2, 3, 4, 5, 6});
  const std::string before = inst.Read(inst.ProgramIni());
  const std::string machine6 = before.substr(before.find("[Machine6]"));
  inst.ui.answers = {kAnswerYes, kAnswerYes};
  Load(dialog);
  EXPECT_EQ(dialog.form.Get("CheckDDZahler").value, 0);
  EXPECT_EQ(dialog.form.Get("FrameMa", 4).caption, "Linie 5");
  dialog.WriteInputs();

  EXPECT_EQ(inst.Read(inst.ErrorLog()), LogLine("SetupUserInterFace", 9, "Subscript out of range") +
                                            LogLine("WriteInputs", 9, "Subscript out of range"));
  const std::string after = inst.Read(inst.ProgramIni());
  EXPECT_EQ(after.substr(after.find("[Machine6]")), machine6);
  for (int n = 1; n <= 5; ++n) EXPECT_EQ(Stored(n, "HoravexFormat16"), "1") << n;
}

TEST_F(SettingsPageTest, EmptyMachineListIsReportedAndNothingIsWritten) {
  inst.Write(inst.ProgramIni(), "[Project]\r\nNumberOfMachines=0\r\n");
  inst.ui.answers = {kAnswerYes, kAnswerYes};
  Load(dialog);
  EXPECT_TRUE(dialog.form.Get("FrameMa", 0).visible);
  dialog.WriteInputs();
  EXPECT_EQ(inst.Read(inst.ErrorLog()), LogLine("SetupUserInterFace", 9, "Subscript out of range") +
                                            LogLine("WriteInputs", 9, "Subscript out of range"));
  EXPECT_EQ(inst.Read(inst.ProgramIni()), "[Project]\r\nNumberOfMachines=0\r\n");
  EXPECT_NE(inst.Read(inst.Cfg()).find("S_Prog="), std::string::npos);
}

TEST_F(SettingsPageTest, MachineSwitchedOffBeforeOkIsNotWritten) {
  Machines(2);
  SwitchOn({1, 2});
  Load(dialog);
  SwitchOn({2});
  dialog.WriteInputs();
  EXPECT_EQ(Stored(1, "HoravexWith3DD"), "");
  EXPECT_EQ(Stored(2, "HoravexWith3DD"), "False");
}

// Integrated start: the page comes from the save-and-restore folder, the project folder has
// no program ini to write to.
TEST_F(SettingsPageTest, MissingProgramIniForWritingIsReportedAndNothingIsCreated) {
  const auto saved = inst.root / "SaR";
  inst.Write(inst.ConfigIni(),
             "[Common]\r\nNameM1=Linie 1\r\nSaveAndRestore=" + saved.string() + "\r\n");
  inst.Write(saved / "parameter" / "program.ini", "[Machine1]\r\nHoravexFormat1=3\r\n");
  SwitchOn({1});
  inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\CFGLOG.TXT";
  inst.module.GetStartModeIntegrated();
  inst.module.GetExistingMachines(inst.module.GetQ4TConfigurationIniPath());
  dialog.SetupUserInterFace();
  ASSERT_EQ(Units(1, 1), "001");

  const auto cwd = std::filesystem::current_path();
  std::filesystem::create_directories(inst.root / "cwd");
  std::filesystem::current_path(inst.root / "cwd");
  inst.ui.answers = {kAnswerYes};
  dialog.WriteInputs();
  std::filesystem::current_path(cwd);

  EXPECT_EQ(inst.Read(inst.driveC / "CFGLOG.TXT"),
            LogLine("WriteInputs", 53, "File not found: " + programIni));
  EXPECT_FALSE(inst.Exists(inst.ProgramIni()));
  EXPECT_TRUE(std::filesystem::is_empty(inst.root / "cwd"));
  EXPECT_EQ(inst.Read(saved / "parameter" / "program.ini"), "[Machine1]\r\nHoravexFormat1=3\r\n");
}

TEST_F(SettingsPageTest, RefusedWritesAreReportedOnce) {
  Machines(2);
  SwitchOn({1, 2});
  RefusingIni refusing(*inst.ini, programIni);
  StandardModule module(Services{inst.process, inst.files, refusing, inst.ui});
  HoravexConfigForm readOnly{module, update};
  Load(readOnly);
  inst.ui.answers = {kAnswerYes};
  readOnly.WriteInputs();
  EXPECT_EQ(inst.Read(inst.ErrorLog()),
            LogLine("WriteInputs", 75, "Path/File access error: " + programIni));
  EXPECT_NE(inst.Read(inst.Cfg()).find("S_Editor="), std::string::npos);
}

}  // namespace
}  // namespace horavex::testing
