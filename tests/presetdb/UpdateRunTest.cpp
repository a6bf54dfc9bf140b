#include "presetdb/UpdateRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PresetFixture.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

class WorkOnMDBTest : public PresetFixture {};

TEST_F(WorkOnMDBTest, WithoutSourceDatabaseNothingChangesAndNothingIsSaid) {
  MakeComponent({Row(1, 1, "A1.Old", 0)});
  std::string before = inst.Read(Target());
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Target()), before);
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
  EXPECT_THAT(inst.ui.shown, IsEmpty());
}

TEST_F(WorkOnMDBTest, StandaloneRunBuildsTheComponentDatabaseAsACopy) {
  MakeTemplate({Row(1, 1, "Speed", 4), Row(2, 1, "Cnt_###machine", 6)});
  Execute(Source(), "CREATE TABLE Units (Unit TEXT(10)); INSERT INTO Units VALUES ('ms');");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "ID, var_name, offset_or_bitno, text"),
              ElementsAre("1|A1.Speed|4|Text A1", "2|A1.Cnt_A1|6|Text A1", "3|B2.Speed|4|Text B2",
                          "4|B2.Cnt_B2|6|Text B2"));
  EXPECT_THAT(QueryRows(Target(), "SELECT Unit FROM Units"), ElementsAre("ms"));
  // The template keeps its rebuilt table; the published file is a copy of it.
  EXPECT_EQ(DumpDatabase(Target()), DumpDatabase(Source()));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(WorkOnMDBTest, SystemComesFromTheProgramIniOnlyInTheStandaloneStart) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  inst.Write(inst.ProgramIni(),
             "[Project]\r\nNumberOfMachines=1\r\nVWStudio=True\r\n"
             "[Machine1]\r\nMachineName=A1\r\n");
  run.WorkOnMDB();
  EXPECT_EQ(run.SystemIndex, 1);
  EXPECT_THAT(Presets(Target()), ElementsAre("1|Ns1.A1.Speed", "2|Ns1.B2.Speed"));

  inst.module.StartModeIntegrated = true;
  inst.ui.answers = {kAnswerOk};  // no machine copy
  run.WorkOnMDB();
  EXPECT_EQ(run.SystemIndex, 0);
}

TEST_F(WorkOnMDBTest, IntegratedStartWithoutMachineCopySaysSoAndGoesOn) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  MakeComponent({"7, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9"});
  inst.module.StartModeIntegrated = true;
  inst.ui.answers = {kAnswerOk};
  run.WorkOnMDB();
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text,
            "Konnte die Datei:\"Horavex.mdb\" in der Vorlage nicht finden!\r\n\r\n"
            "Ist das Bild in der Vorlage noch nicht vorhanden (also neu)?\r\n"
            "Dann ist diese Meldung völlig normal und es wird eine neue Datei mit den "
            "Standardwerten erzeugt.");
  EXPECT_EQ(inst.ui.shown[0].icon, MsgIcon::Information);
  EXPECT_EQ(inst.ui.shown[0].buttons, MsgButtons::Ok);
  // The values of the component database as it was are taken over.
  EXPECT_THAT(Presets(Target(), "var_name, abs_min, pass"),
              ElementsAre("A1.Speed|-5.0|9", "B2.Speed|0.0|2"));
}

TEST_F(WorkOnMDBTest, IntegratedStartTakesTheValuesOfTheMachineCopy) {
  fs::path copies = inst.root / "SaveAndRestore";
  inst.Write(inst.ConfigIni(),
             "[Common]\r\nNameM1=A1\r\nNameM2=-\r\nSaveAndRestore=" + copies.string() + "\r\n");
  MakeTemplate({Row(1, 1, "Speed", 4)});
  MakeComponent({"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9"});
  MakeDatabase(copies / "Horavex" / "Horavex.mdb",
               PresetDefsSql(kPresetColumns,
                             {"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -1, 1, -1, 1, 4"}));
  inst.module.StartModeIntegrated = true;
  inst.module.MachineNames.reset();
  inst.module.GetExistingMachines(inst.ConfigIni().string());
  run.WorkOnMDB();
  EXPECT_THAT(inst.ui.shown, IsEmpty());
  EXPECT_THAT(Presets(Target(), "var_name, abs_min, abs_max, pass"),
              ElementsAre("A1.Speed|-1.0|1.0|4"));
}

TEST_F(WorkOnMDBTest, EarlierValuesGoToTheFirstGeneratedRecordOfTheirKeyOnly) {
  // Two template rows give records that match alike (names compare without regard to case);
  // the earlier record's limits go to the first of them, as the earlier selection found it.
  MakeTemplate({Row(1, 1, "Speed", 4), Row(2, 1, "SPEED", 4), Row(3, 1, "Speed", 5)});
  MakeComponent({"1, 1, 'press', 3, 'a1.speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9",
                 "2, 1, 'PRESS', 3, 'B2.Speed', 1, 0, 5, 't', 'p', -7, 700, 3, 70, 8"});
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "var_name, offset_or_bitno, abs_min, pass"),
              ElementsAre("A1.Speed|4|-5.0|9", "A1.SPEED|4|0.0|2", "A1.Speed|5|0.0|2",
                          "B2.Speed|4|0.0|2", "B2.SPEED|4|0.0|2", "B2.Speed|5|-7.0|8"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(WorkOnMDBTest, EarlierPresetDefsIsReplacedByTheTemplateLayoutAlone) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  Execute(Source(),
          "CREATE TABLE PRESET_DEFS (ID INTEGER PRIMARY KEY, stale TEXT(5) NOT NULL DEFAULT 'x');"
          "CREATE INDEX stale_index ON PRESET_DEFS (stale);"
          "INSERT INTO PRESET_DEFS VALUES (99, 'old');");
  run.WorkOnMDB();
  std::vector<std::string> templateColumns =
      QueryRows(Source(),
                "SELECT name, type, \"notnull\", dflt_value, pk "
                "FROM pragma_table_info('Source_PRESET_DEFS')");
  EXPECT_EQ(QueryRows(Source(),
                      "SELECT name, type, \"notnull\", dflt_value, pk "
                      "FROM pragma_table_info('PRESET_DEFS')"),
            templateColumns);
  EXPECT_EQ(templateColumns.size(), 15u);
  EXPECT_THAT(QueryRows(Source(), "SELECT name FROM sqlite_schema WHERE tbl_name = 'PRESET_DEFS'"),
              ElementsAre("PRESET_DEFS"));
  EXPECT_THAT(Presets(Source()), ElementsAre("1|A1.Speed", "2|B2.Speed"));
}

TEST_F(WorkOnMDBTest, ComponentDatabaseWithoutPresetDefsReportsTheCategoryStepAndGoesOn) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  MakeDatabase(Target(), "CREATE TABLE Other (x INTEGER);");
  // The missing table, then the two steps that had no table definition to work on.
  inst.ui.answers = {kAnswerYes, kAnswerYes, kAnswerYes};
  run.WorkOnMDB();
  EXPECT_EQ(ErrorLog(),
            "Fehler in Horavex / DAO.TableDefs / CategorieNachCategoryID (Nr. 3265) :Item not "
            "found in this collection.\r\n"
            "Fehler in Horavex / Horavex_Config / CategorieNachCategoryID (Nr. 91) :Object "
            "variable or With block variable not set\r\n"
            "Fehler in Horavex / Horavex_Config / CategorieNachCategoryID (Nr. 91) :Object "
            "variable or With block variable not set\r\n");
  EXPECT_THAT(Presets(Target(), "var_name, abs_min"), ElementsAre("A1.Speed|0.0", "B2.Speed|0.0"));
}

TEST_F(WorkOnMDBTest, LaterPatternRecordWinsAndFaultyRecordsFallBackSilently) {
  MakeTemplate({Row(1, 1, "Speed", 4), Row(2, 2, "Count", 6)},
               {"'VisiWin32', 1, 'first.###Var_Name'", "'VISIWIN32', 1, 'second.###Var_Name'",
                "'visiwin32', 2, 'P2.###machine.###Var_Name'", "'Other', 1, 'other.###Var_Name'"});
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target()),
              ElementsAre("1|second.Speed", "2|P2.A1.Count", "3|second.Speed", "4|P2.B2.Count"));
  EXPECT_EQ(run.VarNamePatterns(1, 1), "");

  MakeTemplate({Row(1, 1, "Speed_###machine", 4)},
               {"'VisiWin32', 1, 'first.###Var_Name'", "'VisiWin32', NULL, 'x.###Var_Name'"});
  run.WorkOnMDB();
  EXPECT_EQ(run.VarNamePatterns(0, 1), "###Var_Name");
  EXPECT_EQ(run.VarNamePatterns(1, 1), "###Var_Name");
  EXPECT_THAT(Presets(Target()), ElementsAre("1|Speed_A1", "2|Speed_B2"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
  EXPECT_THAT(inst.ui.shown, IsEmpty());
}

TEST_F(WorkOnMDBTest, SourceDatabaseKeepsItsFileTimes) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(Source(), past);
  std::optional<FileTimes> before = inst.files.GetTimes(Source().string());
  ASSERT_TRUE(before);
  run.WorkOnMDB();
  std::optional<FileTimes> after = inst.files.GetTimes(Source().string());
  ASSERT_TRUE(after);
  EXPECT_EQ(after->lastWrite, before->lastWrite);
  EXPECT_EQ(after->creation, before->creation);  // 0 on both sides where not kept
  EXPECT_THAT(Presets(Source()), ElementsAre("1|A1.Speed", "2|B2.Speed"));
}

}  // namespace
}  // namespace horavex::testing
