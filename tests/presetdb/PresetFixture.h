#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presetdb/UpdateRun.h"
#include "support/Databases.h"
#include "support/Installation.h"

namespace horavex::testing {

// An installation with two machines, A1 and B2, both using the component, and helpers to lay
// out its template and component databases.
class PresetFixture : public ::testing::Test {
 protected:
  PresetFixture() {
    inst.Write(inst.ProgramIni(),
               "[Project]\r\nNumberOfMachines=2\r\nVWStudio=False\r\n"
               "[Machine1]\r\nMachineName=A1\r\n[Machine2]\r\nMachineName=B2\r\n");
    inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\nForMachine2=True\r\n");
    inst.module.GetExistingMachines("");
  }

  std::filesystem::path Source() const { return inst.component / "Horavex_Source.mdb"; }
  std::filesystem::path Target() const { return inst.component / "Horavex.mdb"; }

  // A template row: the value columns after ID and part are fixed, apart from var_name and
  // offset_or_bitno.
  static std::string Row(int id, int part, const std::string& varName, int offset) {
    return std::to_string(id) + ", " + std::to_string(part) + ", 'PRESS', 3, '" + varName +
           "', 1, 0, " + std::to_string(offset) + ", 'Text ###machine', 'Timers', 0, 600, 1, 60, 2";
  }
  static std::vector<std::string> StandardPatterns() {
    return {"'VisiWin32', 1, '###machine.###Var_Name'",
            "'VisiWinStudio', 1, 'Ns1.###machine.###Var_Name'"};
  }
  void MakeTemplate(const std::vector<std::string>& rows,
                    const std::vector<std::string>& patterns = StandardPatterns()) const {
    MakeDatabase(Source(), TemplateSql(patterns, rows));
  }
  // The component database with earlier records in the template's layout.
  void MakeComponent(const std::vector<std::string>& rows) const {
    MakeDatabase(Target(), PresetDefsSql(kPresetColumns, rows));
  }
  std::vector<std::string> Presets(const std::filesystem::path& file,
                                   const std::string& columns = "ID, var_name") const {
    return QueryRows(file, "SELECT " + columns + " FROM PRESET_DEFS ORDER BY rowid");
  }
  std::string ErrorLog() const { return inst.Read(inst.ErrorLog()); }

  Installation inst;
  UpdateRun run{inst.module};
};

}  // namespace horavex::testing
