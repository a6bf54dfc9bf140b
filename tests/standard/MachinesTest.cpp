#include <gtest/gtest.h>

#include "support/Installation.h"

namespace horavex::testing {
namespace {

class MachinesTest : public ::testing::Test {
 protected:
  Installation inst;
  StandardModule& m = inst.module;

  void Integrated(const std::string& common) {
    inst.Write(inst.ConfigIni(), "[Common]\r\n" + common);
    inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\log.txt";
    m.GetStartModeIntegrated();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 1; i <= m.MachineNames->UBound(); ++i) names.push_back((*m.MachineNames)[i]);
    return names;
  }
};

TEST_F(MachinesTest, IntegratedListEndsAtDashOrEmpty) {
  Integrated("NameM1=A\r\nNameM2=B\r\nNameM3=-\r\nNameM4=D\r\n");
  m.GetExistingMachines(inst.ConfigIni().string());
  ASSERT_TRUE(m.MachineNames.has_value());
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(MachinesTest, IntegratedReadsAtMostFive) {
  Integrated("NameM1=A\r\nNameM2=B\r\nNameM3=C\r\nNameM4=D\r\nNameM5=E\r\nNameM6=F\r\n");
  m.GetExistingMachines(inst.ConfigIni().string());
  EXPECT_EQ(m.MachineNames->UBound(), 5);
}

TEST_F(MachinesTest, IntegratedWithoutConfigurationIniLeavesListUnallocated) {
  Integrated("");
  inst.Write(inst.root / "Copy" / "parameter" / "program.ini", "");
  inst.Write(inst.ConfigIni(),
             "[Common]\r\nSaveAndRestore=" + (inst.root / "Copy").string() + "\r\n");
  m.GetExistingMachines("");
  EXPECT_FALSE(m.MachineNames.has_value());
  EXPECT_NE(m.ProgramIniPath, "");
}

TEST_F(MachinesTest, StandaloneCountsMachinesAndKeepsEmptySlots) {
  inst.Write(inst.ProgramIni(),
             "[Project]\r\nNumberOfMachines=3\r\n[Machine1]\r\nMachineName=Press\r\n"
             "[Machine3]\r\nMachineName=Oven\r\n");
  m.GetExistingMachines("");
  EXPECT_EQ(m.ProgramIniPath, inst.ProgramIni().string());
  EXPECT_EQ(Names(), (std::vector<std::string>{"Press", "", "Oven"}));
}

TEST_F(MachinesTest, StandaloneWithoutCountHasNoMachine) {
  inst.Write(inst.ProgramIni(), "[Project]\r\n");
  m.GetExistingMachines("");
  EXPECT_FALSE(m.MachineNames.has_value());
}

TEST_F(MachinesTest, LanguageDefaultsTo1031AndIsWritten) {
  EXPECT_EQ(m.GetLanguage(), "1031");
  EXPECT_EQ(inst.Read(inst.bin / "Horavex_Config.ini"), "[Language]\r\nLanguage=1031\r\n");
  inst.Write(inst.bin / "Horavex_Config.ini", "[Language]\r\nLanguage=1033\r\n");
  EXPECT_EQ(m.GetLanguage(), "1033");
}

TEST_F(MachinesTest, AdditionalFieldsKeepBlanksAndEmptyNames) {
  m.GetAddFields();
  EXPECT_EQ(m.AdditionalFieldsCount, 1);
  EXPECT_EQ(m.AdditionalFields[0], "");
  EXPECT_EQ(m.AdditionalFields[1], "part");
  EXPECT_EQ(m.AdditionalFieldsSelect, ", PRESET_DEFS.part");

  inst.Write(inst.Cfg(), "[Project]\r\nDataBaseAdditionalFields=Speed, Temp,,\r\n");
  m.GetAddFields();
  EXPECT_EQ(m.AdditionalFieldsCount, 5);
  EXPECT_EQ(m.AdditionalFields[3], " Temp");
  EXPECT_EQ(m.AdditionalFieldsSelect,
            ", PRESET_DEFS.part, PRESET_DEFS.Speed, PRESET_DEFS. Temp, PRESET_DEFS., PRESET_DEFS.");
}

}  // namespace
}  // namespace horavex::testing
