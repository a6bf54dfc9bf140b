#include "app/HoravexConfigForm.h"
#include "platform/Failure.h"
#include "platform/IniStore.h"
#include "standard/Handler.h"

namespace horavex {
namespace {

std::string MachineSection(int n) {
  return "Machine" + std::to_string(n);
}

std::string FormatEntry(int row) {
  return "HoravexFormat" + std::to_string(row + 1);
}

// The seconds box of row r in machine n's frame; minutes and hours follow it.
int RowStart(int n, int r) {
  return 48 * (n - 1) + 3 * r;
}

// The highest machine number; an unallocated list fails, as UBound of an empty array does.
int MachineCount(const StandardModule& module) {
  if (!module.MachineNames) throw RuntimeFailure(kSubscriptOutOfRange);
  return module.MachineNames->UBound();
}

bool UsesComponent(StandardModule& module, int n) {
  return module.LoadIniBoolean("Project", "ForMachine" + std::to_string(n), module.GetCFGPath(),
                               false);
}

// Machine n's frame, or nullptr once the missing frame is reported. Looking it up before
// anything else keeps a machine the page cannot show from being read into the page or written.
Control* FrameOf(Handler& h, Form& form, int n) {
  Control* frame = nullptr;
  h.step([&] { frame = &form.Get("FrameMa", n - 1); });
  return frame;
}

}  // namespace

void HoravexConfigForm::SetupUserInterFace() {
  Handler h(module_, "SetupUserInterFace");
  std::string iniPath;
  h.step([&] { iniPath = module_.GetProgramIniPath(1); });
  int machines = 0;
  h.step([&] { machines = MachineCount(module_); });
  for (int n = 1; n <= machines; ++n) {
    if (!h.test([&] { return UsesComponent(module_, n); })) continue;
    Control* frame = FrameOf(h, form, n);
    if (frame == nullptr) continue;
    const std::string section = MachineSection(n);
    h.step([&] {
      Control& dd = form.Get("CheckDDZahler");
      bool with3DD = module_.LoadIniBoolean(section, "HoravexWith3DD", iniPath, false);
      SetValue(dd, dd.value == 1 || with3DD ? 1 : 0);
    });
    h.step([&] { frame->visible = true; });
    h.step([&] { frame->caption = (*module_.MachineNames)[n]; });
    for (int r = 0; r < 16; ++r) {
      h.step([&] {
        int16_t unit = module_.LoadIniInteger(section, FormatEntry(r), iniPath, false);
        int column = unit == 2 ? 1 : unit == 3 ? 2 : 0;
        SetValue(form.Get("CheckMa", RowStart(n, r) + column), 1);
      });
    }
  }
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
  Handler h(module_, "WriteInputs");
  std::string iniPath;
  h.step([&] {
    iniPath = module_.GetProgramIniPath(2);
    // Without a program ini there is nowhere to store the page. The profile API would quietly
    // write elsewhere or nowhere, and the program would end as if the settings were saved.
    if (iniPath.empty()) {
      std::string expected = module_.ProjectFolder() + kSep + "parameter" + kSep + "Program.ini";
      throw Failure(kFileNotFound, kRuntimeSource,
                    RuntimeErrorText(kFileNotFound) + ": " + expected);
    }
  });

  if (!iniPath.empty()) {
    // The settings land in Program.ini together: it is always the old file or the new one.
    IniWriteGroup group(module_.services().ini);
    bool refused = false;
    auto save = [&](const IniValue& value, const std::string& section, const std::string& entry) {
      if (module_.SaveIni(value, section, entry, iniPath) == 0) refused = true;
    };
    auto checked = [&](int index) { return form.Get("CheckMa", index).value == 1; };

    int machines = 0;
    h.step([&] { machines = MachineCount(module_); });
    for (int n = 1; n <= machines; ++n) {
      if (!h.test([&] { return UsesComponent(module_, n); })) continue;
      if (FrameOf(h, form, n) == nullptr) continue;
      const std::string section = MachineSection(n);
      h.step([&] {
        bool with3DD = form.Get("CheckDDZahler").value == 1;
        save(std::string(with3DD ? "True" : "False"), section, "HoravexWith3DD");
      });
      for (int r = 0; r < 16; ++r) {
        h.step([&] {
          int b = RowStart(n, r);
          int16_t unit = checked(b + 2) ? 3 : checked(b + 1) ? 2 : 1;
          save(unit, section, FormatEntry(r));
        });
      }
    }
    if (!group.End()) refused = true;
    // A refused write (read-only file, full disk) is reported once, not once per entry.
    h.step([&] {
      if (refused) {
        throw Failure(kPathFileAccessError, kRuntimeSource,
                      RuntimeErrorText(kPathFileAccessError) + ": " + iniPath);
      }
    });
  }
  h.step([&] { module_.WriteEditInfo(); });
}

void HoravexConfigForm::CheckMa_MouseUp(int index, int button, int /*shift*/, float /*x*/,
                                        float /*y*/) {
  if (!HelpMode) {
    int first = 3 * (index / 3);
    for (int k = first; k < first + 3; ++k) SetValue(form.Get("CheckMa", k), 0);
    SetValue(form.Get("CheckMa", index), 1);
    return;
  }
  // A left click has already toggled the box; toggling it back keeps the setting. The other
  // buttons never toggle a box, so there is nothing to undo.
  if (button == kLeftButton) {
    Control& box = form.Get("CheckMa", index);
    SetValue(box, box.value == 1 ? 0 : 1);
  }
  ShowHelp(form.Get("CheckMa", 0));
}

void HoravexConfigForm::CheckMa_KeyUp(int index, int keyCode, int shift) {
  // A key that toggled the box in help mode is undone as a click is: the setting stays, and the
  // box shows its help.
  if (!HelpMode) return;
  if (keyCode != kKeySpace && (shift & kAltMask) == 0) return;
  Control& box = form.Get("CheckMa", index);
  SetValue(box, box.value == 1 ? 0 : 1);
  ShowHelp(form.Get("CheckMa", 0));
}

void HoravexConfigForm::CheckDDZahler_Click() {
  UndoHelpClick(form.Get("CheckDDZahler"));
}

}  // namespace horavex
