#pragma once

#include <array>
#include <string>

#include "app/Form.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

namespace horavex {

// The dialog Horavex_Config: its controls and its event handlers. The handlers work on the
// model; a view shows it and forwards the user's actions.
class HoravexConfigForm {
 public:
  HoravexConfigForm(StandardModule& module, UpdateRun& update);

  Form form;
  std::string ConfigIniPath;
  bool HelpMode = false;
  bool HelpClickGuard = false;
  std::array<std::string, 101> HelpTexts;  // indices 1 to 100 by help number

  // --- life cycle ---
  void Form_Load();
  void Form_Activate();
  void Form_Resize();
  void Form_QueryUnload(bool& cancel, int unloadMode);
  void CommandCancel_Click();
  void CloseMe();

  // --- settings page ---
  void SetupUserInterFace();
  void CommandOK_Click();
  void WriteInputs();
  void CheckMa_MouseUp(int index, int button, int shift, float x, float y);
  // After a key on the box; Space and the box's access key (with Alt) have toggled it.
  void CheckMa_KeyUp(int index, int keyCode, int shift);
  void CheckDDZahler_Click();

  // --- help and localised texts ---
  void LoadToolTipTexts();
  void ShowHelp(const Control& control);
  void UndoHelpClick(Control& box);
  void CommandQuest_Click();

  // Sets a check box's value; a change runs the box's click handler, as the run-time does.
  void SetValue(Control& box, int value);

  // From the moment CloseMe starts until the program ends.
  bool Closing() const { return closing_; }

  StandardModule& module() { return module_; }

 private:
  // The caption, help and tooltip entries of one control, named with key.
  void LoadTexts(Control& control, const std::string& key, const std::string& language,
                 const std::string& file);

  StandardModule& module_;
  UpdateRun& update_;
  bool closing_ = false;
};

// Mouse buttons as the run-time numbers them in MouseUp.
enum MouseButton : int { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
// Key codes and the shift state as the run-time gives them in KeyUp.
enum KeyCode : int { kKeySpace = 32 };
enum ShiftMask : int { kShiftMask = 1, kCtrlMask = 2, kAltMask = 4 };

}  // namespace horavex
