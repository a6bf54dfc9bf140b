#include "app/Form.h"

namespace horavex {
namespace {

Control Make(ControlKind kind, std::string name, int index, int container, int left, int top,
             int width, int height, std::string caption = {}, double fontSize = 8.25) {
  Control c;
  c.kind = kind;
  c.name = std::move(name);
  c.index = index;
  c.container = container;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  c.caption = std::move(caption);
  c.font.size = fontSize;
  return c;
}

int Add(Form& form, Control c) {
  form.controls.push_back(std::move(c));
  return static_cast<int>(form.controls.size()) - 1;
}

}  // namespace

Form BuildHoravexConfigLayout() {
  Form form;
  form.caption = "Base Q4TCFG-Erweiterung";
  form.controls.reserve(352);
  using K = ControlKind;

  Add(form, Make(K::Label, "Header", -1, -1, 30, 30, 11775, 360,
                 "Horavex - Konfiguration Zeiten / Zähler", 13.5));
  int main = Add(form, Make(K::Frame, "MainFrame", 0, -1, 0, 390, 11880, 7260));

  Control ddFrame = Make(K::Frame, "FrameDDZaehler", -1, main, 90, 120, 4470, 600);
  ddFrame.helpId = 11;
  int dd = Add(form, ddFrame);
  Control ddBox =
      Make(K::CheckBox, "CheckDDZahler", -1, dd, 120, 150, 4245, 375, "mit 3 DD-Zählern", 12);
  ddBox.helpId = 11;
  ddBox.tabIndex = 3;
  Add(form, ddBox);

  // Frames 1 to 4 number their column headings and row labels backwards; the boxes go
  // forwards in every frame.
  static const char* kUnits[3] = {"Sek.", "Min.", "Std."};
  int nextTab = 4;
  for (int m = 0; m < 5; ++m) {
    Control frame = Make(K::Frame, "FrameMa", m, main, 90 + 2160 * m, 765, 2100, 5910, "Ma1", 12);
    frame.visible = m == 0;
    int f = Add(form, frame);
    Add(form, Make(K::Label, "LabelMaUeber", m, f, 135, 330, 1800, 300, "Zeitenformat", 9.75));
    for (int c = 0; c < 3; ++c) {
      int index = m == 0 ? c : 3 * m + (2 - c);
      Control label =
          Make(K::Label, "LabelMaZeiten", index, f, 615 + 480 * c, 660, 480, 300, kUnits[c], 9.75);
      label.alignment = Alignment::Center;
      Add(form, label);
    }
    for (int r = 0; r < 16; ++r) {
      int index = m == 0 ? r : 16 * m + 15 - r;
      Control label = Make(K::Label, "LabelMaNummer", index, f, 90, 990 + 300 * r, 390, 300,
                           std::to_string(r + 1), 9.75);
      label.alignment = Alignment::Right;
      Add(form, label);
    }
    for (int r = 0; r < 16; ++r) {
      for (int c = 0; c < 3; ++c) {
        Control box = Make(K::CheckBox, "CheckMa", 48 * m + 3 * r + c, f, 720 + 480 * c,
                           960 + 300 * r, 240, 300);
        box.helpId = 12;
        // Frame 0 takes the focus in increasing index, frames 1 to 4 in decreasing index.
        box.tabIndex = m == 0 ? nextTab + 3 * r + c : nextTab + 47 - (3 * r + c);
        Add(form, box);
      }
    }
    nextTab += 48;
  }

  Control quest = Make(K::CommandButton, "CommandQuest", -1, -1, 7350, 7710, 975, 855);
  quest.picture = Picture::Quest;
  quest.tabIndex = 2;
  Add(form, quest);
  Control ok = Make(K::CommandButton, "CommandOK", -1, -1, 8400, 7710, 1695, 855);
  ok.picture = Picture::Ok;
  ok.helpId = 1;
  ok.enabled = false;
  ok.tabIndex = 0;
  Add(form, ok);
  Control cancel = Make(K::CommandButton, "CommandCancel", -1, -1, 10170, 7710, 1695, 855);
  cancel.picture = Picture::Cancel;
  cancel.helpId = 2;
  cancel.tabIndex = 1;
  Add(form, cancel);
  return form;
}

}  // namespace horavex
