#include <cstdio>

#include "app/HoravexConfigForm.h"
#include "app/TopLevel.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/UiServices.h"
#include "platform/win32/ProfileApiIniStore.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

// The Windows program: the silent start. The window is not drawn on Windows yet, so a start
// that needs one ends, before anything is written, as a start without a display does.
int main() {
  using namespace horavex;
  SystemProcess process(0, nullptr);
  HostFileSystem files;
  ProfileApiIniStore ini(files);
  NoWindowUi ui;
  StandardModule module(Services{process, files, ini, ui});
  UpdateRun update(module);
  HoravexConfigForm dialog(module, update);

  module.GetStartModeIntegrated();
  if (!module.SilentMode) {
    std::fprintf(stderr,
                 "%s: this Windows build has no window yet; start it with /EXTERNAL SILENT to "
                 "run without one.\n",
                 process.ProgramFileName().c_str());
    process.EndNow(kExitNoDisplay);
  }

  // A silent start runs OK inside the load handler and ends there.
  RunTopLevel(dialog, [&] { dialog.Form_Load(); });
  process.EndNow(kExitEndedOnError);
}
