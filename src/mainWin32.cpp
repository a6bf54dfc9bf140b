#include <cstdio>
#include <memory>

#include "app/HoravexConfigForm.h"
#include "app/TopLevel.h"
#include "app/win32/FormWindow.h"
#include "app/win32/Win32UiServices.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/win32/ProfileApiIniStore.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

// The Windows program: the dialog drawn with Windows' own controls, or the silent start.
int main() {
  using namespace horavex;
  SystemProcess process(0, nullptr);
  HostFileSystem files;
  ProfileApiIniStore ini(files);
  Win32UiServices ui;
  StandardModule module(Services{process, files, ini, ui});
  UpdateRun update(module);
  HoravexConfigForm dialog(module, update);

  // A start that needs a window makes it before anything is read or written.
  module.GetStartModeIntegrated();
  std::unique_ptr<FormWindow> window;
  if (!module.SilentMode) {
    window = std::make_unique<FormWindow>(dialog, ui);
    if (window->Window() == nullptr) {
      std::fprintf(stderr,
                   "%s: no display to show the dialog on (the window system refused the window); "
                   "start it with /EXTERNAL SILENT to run without a window.\n",
                   process.ProgramFileName().c_str());
      process.EndNow(kExitNoDisplay);
    }
    ui.SetRedraw([&window] { window->Sync(); });
    ui.SetWaitNotice([&window](const std::string& what) { window->ShowWaiting(what); });
  }

  // A silent start runs OK inside the load handler and ends there, before any window exists.
  RunTopLevel(dialog, [&] { dialog.Form_Load(); });
  if (module.SilentMode) process.EndNow(kExitEndedOnError);

  window->Sync();
  window->Show();
  window->RunUntilClosed();
  // Only a confirmed close of the window gets here.
  process.EndNow(kExitCancelled);
}
