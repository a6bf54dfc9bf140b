#include "app/HoravexConfigForm.h"

namespace horavex {

void HoravexConfigForm::LoadToolTipTexts() {
  // Placeholder: captions, tooltips and help texts come from the language file.
}

void HoravexConfigForm::ShowHelp(const Control& /*control*/) {
  // Placeholder: help texts come with help mode.
}

void HoravexConfigForm::UndoHelpClick(Control& /*box*/) {
  // Placeholder: help mode.
}

void HoravexConfigForm::CommandQuest_Click() {
  HelpMode = !HelpMode;
  form.Get("CommandQuest").backColor = HelpMode ? kGreen : kLightGrey;
}

}  // namespace horavex
