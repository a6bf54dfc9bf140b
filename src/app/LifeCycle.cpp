#include "app/HoravexConfigForm.h"
#include "standard/Handler.h"

namespace horavex {

HoravexConfigForm::HoravexConfigForm(StandardModule& module, UpdateRun& update)
    : form(BuildHoravexConfigLayout()), module_(module), update_(update) {}

void HoravexConfigForm::Form_Load() {
  Handler h(module_, "Form_Load");
  h.step([&] { LoadToolTipTexts(); });
  h.step([&] { module_.StartModeIntegrated = module_.GetStartModeIntegrated(); });
  h.step([&] { ConfigIniPath = module_.GetQ4TConfigurationIniPath(); });
  h.step([&] {
    std::string folder = module_.GetFileNameOnly(module_.ProgramFolder());
    form.caption = module_.GetStartModeIntegrated()
                       ? "Erweiterte Konfiguration " + folder + " - integriert"
                       : "Erweiterte Konfiguration " + folder + " - standalone";
  });
  h.step([&] { module_.GetExistingMachines(ConfigIniPath); });
  h.step([&] { SetupUserInterFace(); });
  if (h.test([&] { return !module_.SilentMode; })) {
    h.step([&] { form.Get("CommandOK").enabled = true; });
    h.step([&] { form.Get("CommandCancel").enabled = true; });
  } else {
    h.step([&] { CommandOK_Click(); });
  }
}

void HoravexConfigForm::Form_Activate() {
  // Once OK is pressed the program ends by itself; an activation on the way (a message box
  // closing) must not offer OK again.
  if (closing_) return;
  Handler h(module_, "Form_Activate");
  h.step([&] { form.Get("CommandOK").enabled = true; });
}

void HoravexConfigForm::Form_Resize() {
  // The controls keep their positions and sizes.
  Handler h(module_, "Form_Resize");
}

void HoravexConfigForm::Form_QueryUnload(bool& cancel, int /*unloadMode*/) {
  // While OK runs there is nothing left to cancel: the program ends by itself.
  if (closing_) {
    cancel = true;
    return;
  }
  Handler h(module_, "Form_QueryUnload");
  if (h.test([&] { return !module_.ConfirmCancel(); })) {
    h.step([&] { cancel = true; });
  }
}

void HoravexConfigForm::CommandCancel_Click() {
  Handler h(module_, "CommandCancel_Click");
  if (h.test([&] { return HelpMode; })) {
    h.step([&] { ShowHelp(form.Get("CommandCancel")); });
    return;
  }
  if (h.test([&] { return module_.ConfirmCancel(); })) {
    module_.services().process.EndNow(kExitCancelled);
  }
}

void HoravexConfigForm::CloseMe() {
  closing_ = true;
  Handler h(module_, "CloseMe");
  UiServices& ui = module_.services().ui;
  h.step([&] { ui.ProcessPendingEvents(); });
  h.step([&] {
    form.mousePointer = kPointerHourglass;
    ui.SetMousePointer(kPointerHourglass);
  });
  h.step([&] { update_.WorkOnMDB(); });
  h.step([&] { WriteInputs(); });
  h.step([&] {
    form.mousePointer = kPointerDefault;
    ui.SetMousePointer(kPointerDefault);
  });
  module_.services().process.EndNow(module_.FailuresReported() > 0 ? kExitDoneWithFailures
                                                                   : kExitOk);
}

void HoravexConfigForm::SetValue(Control& box, int value) {
  if (box.value == value) return;
  box.value = value;
  if (box.name == "CheckDDZahler") CheckDDZahler_Click();
}

}  // namespace horavex
