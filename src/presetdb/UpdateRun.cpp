#include "presetdb/UpdateRun.h"

namespace horavex {

void UpdateRun::WorkOnMDB() {
  // Placeholder: the preset database update.
  (void)module_;
}

}  // namespace horavex
