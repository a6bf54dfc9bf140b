#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PresetFixture.h"
#include "presetdb/UpdateRun.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CategorieNachCategoryIDTest : public PresetFixture {
 protected:
  std::vector<std::string> Columns() const {
    return QueryRows(Target(), "SELECT name FROM pragma_table_info('PRESET_DEFS')");
  }
};

TEST_F(CategorieNachCategoryIDTest, LegacyColumnIsRenamedInPlaceWithItsValues) {
  MakeDatabase(Target(), PresetDefsSql("ID INTEGER, Categorie INTEGER, cAtEgOrIe2 TEXT(5)",
                                       {"1, 17, 'a'", "2, NULL, 'b'"}));
  run.CategorieNachCategoryID();
  EXPECT_THAT(Columns(), ElementsAre("ID", "category_id", "cAtEgOrIe2"));
  EXPECT_THAT(QueryRows(Target(), "SELECT * FROM PRESET_DEFS"), ElementsAre("1|17|a", "2|NULL|b"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(CategorieNachCategoryIDTest, CurrentLayoutAndMissingDatabaseAreLeftAlone) {
  run.CategorieNachCategoryID();
  EXPECT_FALSE(inst.Exists(Target()));
  MakeComponent({});
  std::string before = inst.Read(Target());
  UpdateRun again(inst.module);
  again.CategorieNachCategoryID();
  EXPECT_EQ(inst.Read(Target()), before);
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(CategorieNachCategoryIDTest, TakenNameIsReportedAndTheOldColumnKeepsItsName) {
  MakeDatabase(Target(), PresetDefsSql("ID INTEGER, category_id INTEGER, CATEGORIE INTEGER", {}));
  inst.module.SilentMode = true;
  run.CategorieNachCategoryID();
  EXPECT_THAT(Columns(), ElementsAre("ID", "category_id", "CATEGORIE"));
  EXPECT_THAT(ErrorLog(), HasSubstr("/ CategorieNachCategoryID (Nr. 3191) :Can't define field "
                                    "more than once."));
}

}  // namespace
}  // namespace horavex::testing
