#pragma once

#include <windows.h>
#undef MessageBox

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/FormPresenter.h"
#include "app/HoravexConfigForm.h"
#include "app/win32/Win32UiServices.h"

namespace horavex {

// Draws the dialog model with Windows' own controls at its fixed positions and reports the
// user's actions to the presenter. Every control is a child of the dialog's window at its place
// in the client area; the frames lie below the controls they hold.
class FormWindow {
 public:
  FormWindow(HoravexConfigForm& dialog, Win32UiServices& ui);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Null when the window system refused the window (no display to show it on).
  HWND Window() const { return window_; }
  // Shows the window with the focus on the first control of the focus order.
  void Show();
  // Handles the window's messages until it is closed.
  void RunUntilClosed();
  // Shows the model's current state.
  void Sync();
  // Shows in the title what the program waits for; "" when the wait is over.
  void ShowWaiting(const std::string& what);
  // The dialog's keys before a message is dispatched: Tab, access keys and Space through the
  // dialog manager, Return and Enter on a button. True when the message was handled.
  bool FilterMessage(MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  static LRESULT CALLBACK CheckBoxProc(HWND box, UINT message, WPARAM w, LPARAM l, UINT_PTR id,
                                       DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  LRESULT HandleCheckBox(HWND box, size_t position, UINT message, WPARAM w, LPARAM l);
  void CreateControls();
  // Focus order as the dialog manager walks it: the controls' stacking, each label just before
  // the control its access key leads to.
  void Stack();
  void DrawButton(const DRAWITEMSTRUCT& item);
  // The control at this window, or -1.
  int PositionOf(HWND control) const;
  HFONT FontFor(const Font& font, double points);
  HBRUSH BrushFor(uint32_t colour);

  HoravexConfigForm& dialog_;
  Win32UiServices& ui_;
  FormPresenter presenter_;
  double dpi_ = 96.0;
  HWND window_ = nullptr;
  HWND toolTips_ = nullptr;
  std::vector<HWND> controls_;
  // What the controls show now, so that a redraw changes only what changed.
  struct Shown {
    std::wstring text;
    int value = -1;
    int enabled = -1;
    int visible = -1;
    uint32_t backColor = 0;
  };
  std::vector<Shown> shown_;
  std::vector<std::wstring> toolTipTexts_;
  std::wstring title_;
  std::map<std::tuple<std::string, double, int>, HFONT> fonts_;
  std::map<uint32_t, HBRUSH> brushes_;
  HWND focusOnLeaving_ = nullptr;
  int accessKey_ = 0;  // the letter of the last Alt key, for the key-up of an access key
  bool accessClick_ = false;
};

// Draws a button's picture in the rectangle, scaled to fit its height; grey when disabled.
void DrawButtonPicture(HDC dc, Picture picture, const RECT& area, bool disabled);
// A picture's size as designed, in pixels at 96 dots per inch.
SIZE ButtonPictureSize(Picture picture);

}  // namespace horavex
