#include <QApplication>
#include <cstdio>

#include "app/HoravexConfigForm.h"
#include "app/TopLevel.h"
#include "app/qt/FormView.h"
#include "app/qt/QtUiServices.h"
#ifdef HORAVEX_HAVE_LIBMDB
#include "jet/MdbImport.h"
#endif
#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Process.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

int main(int argc, char** argv) {
  using namespace horavex;
  SystemProcess process(argc, argv);
  HostFileSystem files;
  ProfileIniStore ini(files);
  QtUiServices ui(argc, argv);
  StandardModule module(Services{process, files, ini, ui});
  UpdateRun update(module);
#ifdef HORAVEX_HAVE_LIBMDB
  jet::MdbJetImport jetImport;
  update.jetImport = &jetImport;
#endif
  HoravexConfigForm dialog(module, update);

  // A start that needs a window connects to its display before anything is written.
  module.GetStartModeIntegrated();
  if (!module.SilentMode) {
    ui.ConnectToDisplay([&](const std::string& reason) {
      std::fprintf(stderr,
                   "%s: no display to show the dialog on (%s); start it with "
                   "/EXTERNAL SILENT to run without a window.\n",
                   process.ProgramFileName().c_str(), reason.c_str());
      process.EndNow(kExitNoDisplay);
    });
  }

  // A silent start runs OK inside the load handler and ends there, before any window exists.
  RunTopLevel(dialog, [&] { dialog.Form_Load(); });
  if (module.SilentMode) process.EndNow(kExitEndedOnError);

  QApplication& app = ui.Application();
  FormView view(dialog);
  ui.SetRedraw([&view] { view.Sync(); });
  ui.SetWaitNotice([&view](const std::string& what) { view.ShowWaiting(what); });
  view.show();
  app.exec();
  // Only a confirmed close of the window gets here.
  process.EndNow(kExitCancelled);
}
