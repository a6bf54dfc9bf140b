#include "app/HoravexConfigForm.h"
#include "standard/Handler.h"

namespace horavex {

void HoravexConfigForm::SetupUserInterFace() {
  // Placeholder: the page is filled from the ini files by the settings page.
}

void HoravexConfigForm::CommandOK_Click() {
  Handler h(module_, "CommandOK_Click");
  if (h.test([&] { return HelpMode; })) {
    h.step([&] { ShowHelp(form.Get("CommandOK")); });
    return;
  }
  h.step([&] { form.Get("CommandOK").enabled = false; });
  h.step([&] { form.Get("CommandCancel").enabled = false; });
  h.step([&] { CloseMe(); });
}

void HoravexConfigForm::WriteInputs() {
  // Placeholder: the page's settings are written by the settings page.
}

void HoravexConfigForm::CheckMa_MouseUp(int /*index*/, int, int, float, float) {
  // Placeholder: unit selection comes with the settings page.
}

void HoravexConfigForm::CheckDDZahler_Click() {
  // Placeholder: help-mode undo comes with help.
}

}  // namespace horavex
