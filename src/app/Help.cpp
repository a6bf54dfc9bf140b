#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "app/HoravexConfigForm.h"
#include "platform/Failure.h"
#include "platform/IniStore.h"
#include "platform/Text.h"

namespace horavex {
namespace {

constexpr std::string_view kLineBreakMarker = "<CRLF>";

// The language file: the program's own ini beside the program file.
std::string LanguageFile(StandardModule& module) {
  return module.ProgramFolder() + kSep + module.services().process.ProgramFileName() + ".ini";
}

bool HasCaption(ControlKind kind) {
  return kind == ControlKind::Label || kind == ControlKind::CommandButton ||
         kind == ControlKind::CheckBox;
}

// "0" and the empty value both mean that the language file holds no text for the entry.
bool IsText(const std::string& value) {
  return !value.empty() && value != "0";
}

std::string& HelpTextFor(std::array<std::string, 101>& texts, int helpId) {
  if (helpId < 1 || helpId > 100) throw RuntimeFailure(kSubscriptOutOfRange);
  return texts[static_cast<size_t>(helpId)];
}

// The marker is plain ASCII and no other character upper-cases to one of its letters, so an
// ASCII comparison finds exactly what a comparison of the upper-cased text would.
size_t FindMarker(const std::string& text, size_t from) {
  auto at = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                        kLineBreakMarker.begin(), kLineBreakMarker.end(),
                        [](char a, char b) { return text::AsciiUpper(a) == b; });
  return at == text.end() ? std::string::npos : static_cast<size_t>(at - text.begin());
}

std::string WithLineBreaks(const std::string& text) {
  std::string message;
  size_t from = 0;
  for (size_t at = FindMarker(text, 0); at != std::string::npos; at = FindMarker(text, from)) {
    message.append(text, from, at - from).append("\r\n");
    from = at + kLineBreakMarker.size();
  }
  message.append(text, from);
  return message;
}

// A step of ShowHelp: its failure is not reported and the next step runs.
template <class F>
void Quietly(F&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

void HoravexConfigForm::LoadToolTipTexts() {
  const std::string language = module_.GetLanguage();
  const std::string file = LanguageFile(module_);

  std::unordered_map<std::string, int> sharing;
  for (const Control& c : form.controls) ++sharing[c.name];

  // The template entries of a first start go into the language file in one write.
  IniWriteGroup group(module_.services().ini);

  for (Control& c : form.controls) {
    const bool arrayMember = sharing[c.name] > 1;
    try {
      std::string key = c.name + (arrayMember ? std::to_string(c.index) : "") + "_" + c.tag;
      LoadTexts(c, key, language, file);
    } catch (const std::exception&) {
      // Abandons this control's remaining texts only; the next control loads as usual.
    }
  }
}

void HoravexConfigForm::LoadTexts(Control& c, const std::string& key, const std::string& language,
                                  const std::string& file) {
  if (HasCaption(c.kind)) {
    const std::string entry = "Caption_" + key;
    std::string caption = module_.LoadIniString(language, entry, file, false);
    if (IsText(caption)) {
      c.caption = caption;
    } else {
      // The German file is the design's own language and fills itself with the design texts;
      // any other gets placeholders for the translator.
      module_.SaveIni(language == "1031" ? c.caption : std::string("0"), language, entry, file);
    }
    if (c.helpId != 0) {
      const std::string helpEntry = "Help" + std::to_string(c.helpId);
      std::string help = module_.LoadIniString(language, helpEntry, file, false);
      HelpTextFor(HelpTexts, c.helpId) = help;
      if (!IsText(help)) module_.SaveIni(std::string("0"), language, helpEntry, file);
    }
  }
  if (text::Upper(c.tag).find("NOTTT") == std::string::npos) {
    const std::string entry = "TTT_" + key;
    std::string tip = module_.LoadIniString(language, entry, file, false);
    if (IsText(tip)) {
      c.toolTip = tip;
    } else {
      module_.SaveIni(std::string("0"), language, entry, file);
    }
  }
}

void HoravexConfigForm::ShowHelp(const Control& control) {
  if (!HelpMode) return;
  std::string text;
  std::string message;
  Quietly([&] { text = HelpTextFor(HelpTexts, control.helpId); });
  Quietly([&] { message = WithLineBreaks(text); });
  Quietly([&] {
    module_.services().ui.MessageBox(
        {message, "Info:", MsgIcon::Information, MsgButtons::Ok, MsgDefault::First});
  });
}

void HoravexConfigForm::UndoHelpClick(Control& box) {
  if (!HelpMode) return;
  if (HelpClickGuard) {
    // The click that the undo below caused.
    HelpClickGuard = false;
    return;
  }
  HelpClickGuard = true;
  SetValue(box, box.value != 0 ? 0 : 1);
  ShowHelp(box);
}

void HoravexConfigForm::CommandQuest_Click() {
  HelpMode = !HelpMode;
  form.Get("CommandQuest").backColor = HelpMode ? kGreen : kLightGrey;
}

}  // namespace horavex
