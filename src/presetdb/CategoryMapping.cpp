#include "platform/Text.h"
#include "presetdb/Objects.h"
#include "presetdb/UpdateRun.h"
#include "standard/Handler.h"

namespace horavex {

void UpdateRun::CategorieNachCategoryID() {
  Handler h(module_, "CategorieNachCategoryID");
  std::string path;
  h.step([&] { path = TakeoverPath(); });
  if (path.empty()) return;

  dao::Database* database = nullptr;
  h.step([&] { database = &takeover_.Open(path, databaseOptions); });
  std::optional<dao::TableDef> presets;
  h.step([&] { presets = Require(database).TableDefs()["PRESET_DEFS"]; });
  h.step([&] {
    for (dao::Field field : Require(presets).Fields()) {
      if (text::Upper(field.Name()) == "CATEGORIE") {
        h.step([&] { field.SetName("category_id"); });
      }
    }
  });
  h.step([&] { Require(presets).Fields().Refresh(); });
  // The database stays open for the rest of the update run, which closes it after the takeover.
}

}  // namespace horavex
