#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PresetFixture.h"
#include "presetdb/UpdateRun.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ReplaceSearchItemTest : public PresetFixture {};

TEST_F(ReplaceSearchItemTest, ReplacesTheFirstOccurrenceFoundWithoutRegardToCase) {
  EXPECT_EQ(run.ReplaceSearchItem("Temp.###VAR_NAME", "###Var_Name", "Speed"), "Temp.Speed");
  EXPECT_EQ(run.ReplaceSearchItem("M###machine_###MACHINE", "###machine", "A1"), "MA1_###MACHINE");
  EXPECT_EQ(run.ReplaceSearchItem("Drücken.ÄB.x", "äb", "Ö"), "Drücken.Ö.x");
  EXPECT_EQ(run.ReplaceSearchItem("no item here", "###machine", "A1"), "no item here");
  EXPECT_EQ(run.ReplaceSearchItem("", "###machine", "A1"), "");
}

TEST_F(ReplaceSearchItemTest, AnOccurrenceBeyondSixteenBitPositionsFails) {
  inst.module.SilentMode = true;
  std::string text = std::string(32767, 'x') + "###machine";
  EXPECT_EQ(run.ReplaceSearchItem(text, "###machine", "A1"), "");
  EXPECT_THAT(ErrorLog(), HasSubstr("/ ReplaceSearchItem (Nr. 6) :Overflow"));
  text = std::string(32766, 'x') + "###machine";
  EXPECT_EQ(run.ReplaceSearchItem(text, "###machine", "A1"), std::string(32766, 'x') + "A1");
}

class CreateRecordSetsTest : public PresetFixture {};

TEST_F(CreateRecordSetsTest, EmptyTemplateGivesAnEmptyTable) {
  MakeTemplate({});
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target()), IsEmpty());
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(CreateRecordSetsTest, SelectedMachinesGetOneRecordPerTemplateRowInIdOrder) {
  inst.Write(inst.ProgramIni(),
             "[Project]\r\nNumberOfMachines=3\r\n[Machine1]\r\nMachineName=M1"
             "\r\n[Machine2]\r\nMachineName=M2\r\n[Machine3]\r\nMachineName=M3\r\n");
  inst.Write(inst.Cfg(),
             "[Project]\r\nForMachine1=True\r\nForMachine2=False\r\nForMachine3=true\r\n");
  inst.module.MachineNames.reset();
  inst.module.GetExistingMachines("");
  std::vector<std::string> rows;
  for (int id : {7, 2, 9, 1, 10, 4, 3, 8, 6, 5}) {
    rows.push_back(Row(id * 100, 1, "V" + std::to_string(id), id));
  }
  MakeTemplate(rows);
  run.WorkOnMDB();
  std::vector<std::string> expected;
  for (int machine : {1, 3}) {
    for (int id = 1; id <= 10; ++id) {
      expected.push_back(std::to_string(expected.size() + 1) + "|M" + std::to_string(machine) +
                         ".V" + std::to_string(id) + "|" + std::to_string(id));
    }
  }
  EXPECT_EQ(Presets(Target(), "ID, var_name, offset_or_bitno"), expected);
}

TEST_F(CreateRecordSetsTest, ValuesFollowTheTextAndVariableNameRules) {
  MakeTemplate({"1, 1, 'M###machine_###machine', 3, 'Cnt_###machine', NULL, -1, 2, NULL, "
                "'###MACHINE page', 0.5, NULL, 1, 2, 3"},
               {"'VisiWin32', 1, '###machine.###Var_Name'"});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=False\r\nForMachine2=True\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(
      Presets(Target(), "*"),
      ElementsAre("1|1|MB2_###machine|3|B2.Cnt_B2|NULL|-1|2|NULL|B2 page|0.5|NULL|1.0|2.0|3"));
}

TEST_F(CreateRecordSetsTest, MissingPatternGivesAnEmptyName) {
  MakeTemplate({Row(1, 2, "Speed", 4)});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target()), ElementsAre("1|"));
}

TEST_F(CreateRecordSetsTest, PartAfterVarNameIsReported) {
  MakeDatabase(Source(),
               "CREATE TABLE Source_DEFS (System TEXT(50), Part INTEGER, Var_Name TEXT(255));"
               "INSERT INTO Source_DEFS VALUES ('VisiWin32', 1, 'P.###Var_Name');"
               "CREATE TABLE Source_PRESET_DEFS (ID INTEGER, var_name TEXT(50), part SMALLINT);"
               "INSERT INTO Source_PRESET_DEFS VALUES (1, 'Speed', 1);");
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\n");
  inst.module.SilentMode = true;
  run.WorkOnMDB();
  EXPECT_THAT(ErrorLog(), HasSubstr("/ CreateRecordSets (Nr. 94) :Invalid use of Null\r\n"));
  // A record short of its variable name is no complete result to publish.
  EXPECT_THAT(ErrorLog(), HasSubstr("Horavex.mdb was kept unchanged: the new PRESET_DEFS could "
                                    "not be generated."));
  EXPECT_FALSE(std::filesystem::exists(Target()));
}

// Earlier records of the component database under the other system's names are renamed to the
// current system's before the takeover, so their values survive a change of system.
TEST_F(CreateRecordSetsTest, ChangeOfSystemRewritesTheEarlierNamesInBothDirections) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  MakeComponent({"1, 1, 'PRESS', 3, 'a1.speed', 1, 0, 4, 't', 'p', -1, 1, -1, 1, 7",
                 "2, 1, 'PRESS', 3, 'Ns1.B2.Speed', 1, 0, 4, 't', 'p', -2, 2, -2, 2, 8"});
  inst.Write(inst.ProgramIni(),
             "[Project]\r\nNumberOfMachines=2\r\nVWStudio=True\r\n"
             "[Machine1]\r\nMachineName=A1\r\n[Machine2]\r\nMachineName=B2\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "var_name, pass"), ElementsAre("Ns1.A1.Speed|7", "Ns1.B2.Speed|8"));

  inst.Write(inst.ProgramIni(), "[Project]\r\nNumberOfMachines=2\r\nVWStudio=False\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "var_name, pass"), ElementsAre("A1.Speed|7", "B2.Speed|8"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(CreateRecordSetsTest, QuoteInAVariableNameIsJustAnotherCharacter) {
  MakeTemplate({Row(1, 1, "Say\"Hi", 4)});
  MakeComponent({"1, 1, 'PRESS', 3, 'Ns1.A1.Say\"Hi', 1, 0, 4, 't', 'p', -1, 1, -1, 1, 7"});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "var_name, pass"), ElementsAre("A1.Say\"Hi|7"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

// Another tool wrote the ä as the single Windows-1252 byte E4.
TEST_F(CreateRecordSetsTest, AnsiTextInTheTemplateIsReadAsCharacters) {
  MakeTemplate({Row(1, 1, "Temp' || CAST(X'E4' AS TEXT) || '_###machine", 4)});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target()), ElementsAre("1|A1.Tempä_A1"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(CreateRecordSetsTest, PendingEventsAreProcessedThroughoutTheGeneration) {
  MakeTemplate({Row(1, 1, "Speed", 4), Row(2, 1, "Time", 6)});
  run.WorkOnMDB();
  // Before each of the 15 template fields of 2 rows, and before each record of 2 machines and
  // each of its 14 fields after ID.
  EXPECT_EQ(inst.ui.pendingEventRuns, 2 * 15 + 2 * 2 * 15);
}

}  // namespace
}  // namespace horavex::testing
