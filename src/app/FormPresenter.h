#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/HoravexConfigForm.h"

namespace horavex {

// A control's place in the client area, in pixels.
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// What a view of the dialog decides without drawing: where a control goes, whether it takes
// input now, the focus order, the title, and which handler a user action runs. A view draws the
// model, reports the user's actions here and draws again when redraw is called.
class FormPresenter {
 public:
  FormPresenter(HoravexConfigForm& dialog, std::function<void()> redraw);

  // 15 twips to a pixel at 96 dots per inch, scaled with the screen's dots per inch.
  static int Pixels(int twips, double dpi);
  // Relative to the dialog's client area: each container's offset rounded as a view that nests
  // the controls in their containers rounds it.
  PixelRect Placement(size_t position, double dpi) const;
  // Visible, and so is every container around it.
  bool Shown(size_t position) const;
  // Enabled, and so is every container around it.
  bool Enabled(size_t position) const;
  // Whether the control takes input now: enabled and shown with its containers, and no handler
  // runs (a handler that lets pending events run, as the update after OK does, gets no second
  // click, close request or activation).
  bool Accepts(size_t position) const;
  bool Handling() const { return handling_; }

  // The controls that take the focus, in their focus order.
  std::vector<size_t> FocusOrder() const;
  // The control the window opens with the focus on.
  std::optional<size_t> InitialFocus() const;
  // Where a label's access key moves the focus: the next control that takes it, as in a dialog
  // whose focus order is its creation order.
  std::optional<size_t> LabelTarget(size_t label) const;

  // The window title: the dialog's caption and what the program waits for.
  std::string Title() const;
  void ShowWaiting(const std::string& what) { waitingFor_ = what; }

  // --- the user's actions ---
  // A command button pressed.
  void Click(size_t position);
  // A check box toggled by the user (left click, Space, its access key).
  void Toggle(size_t position);
  // After the toggle, if any: the mouse button released over a check box, or its key released.
  void MouseUp(size_t position, int button);
  void KeyUp(size_t position, int keyCode, int shift);
  // A close request of the window; true when the window may close.
  bool CloseRequested();
  void Activated();
  void Resized();

 private:
  void Dispatch(const std::function<void()>& handler);

  HoravexConfigForm& dialog_;
  std::function<void()> redraw_;
  bool handling_ = false;
  std::string waitingFor_;
};

// A button caption below its picture, drawn whole: in a smaller font down to 6 points, else
// without its last words.
struct CaptionFit {
  double points = 0;
  std::string text;
};
// width(shown, points) is the drawn width of the shown text (access-key marks removed) in that
// font size; room is the width the button has for it.
CaptionFit FitCaption(const std::string& caption, double designPoints, int room,
                      const std::function<int(const std::string& shown, double points)>& width);

// The text as shown: "&" before the access key hidden, "&&" one "&".
std::string WithoutAccessKeyMarks(const std::string& text);

// A message text with each pair of line-break characters (CR LF or LF CR) and each single one
// as one line feed.
std::string OneBreakPerPair(const std::string& text);

}  // namespace horavex
