#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace horavex {

enum class ControlKind { Label, Frame, CheckBox, CommandButton };
enum class Alignment { Left, Right, Center };
enum class Picture { None, Quest, Ok, Cancel };

// Colours as the VB run-time stores them: red + 256 * green + 65536 * blue.
inline constexpr uint32_t kLightGrey = 12632256;  // 192, 192, 192
inline constexpr uint32_t kGreen = 65280;         // 0, 255, 0

struct Font {
  std::string name = "MS Sans Serif";
  double size = 8.25;
  int weight = 700;
};

// One control of the dialog; positions and sizes in twips, relative to its container.
struct Control {
  ControlKind kind = ControlKind::Label;
  std::string name;
  int index = -1;      // array index, -1 for a control that is not part of a control array
  int container = -1;  // position of the containing control in Form::controls, -1 = the dialog
  std::string caption;
  std::string toolTip;
  std::string tag;
  bool enabled = true;
  bool visible = true;
  int value = 0;  // check boxes: 0 unchecked, 1 checked
  int helpId = 0;
  uint32_t backColor = kLightGrey;
  int left = 0, top = 0, width = 0, height = 0;
  Font font;
  Alignment alignment = Alignment::Left;
  Picture picture = Picture::None;
  int tabIndex = -1;  // focus order; -1 for controls that take no focus
};

// The dialog as data: its window and its controls in the order of the control collection.
struct Form {
  std::string caption;
  int width = 11880;  // client area, twips
  int height = 8595;
  uint32_t backColor = kLightGrey;
  int mousePointer = 0;
  std::vector<Control> controls;

  // The control of that name and array index; throws a "Subscript out of range" failure for
  // one that does not exist (a machine frame above 5, say).
  Control& Get(const std::string& name, int index = -1);
  const Control& Get(const std::string& name, int index = -1) const;
  int IndexOf(const Control& control) const;
};

// The dialog's design: every control of the settings page at its place.
Form BuildHoravexConfigLayout();

}  // namespace horavex
