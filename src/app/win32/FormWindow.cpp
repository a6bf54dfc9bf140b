#include "app/win32/FormWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/win32/Wide.h"

namespace horavex {
namespace {

constexpr wchar_t kWindowClass[] = L"HoravexConfigForm";
// Control identifiers start above the dialog manager's own (IDOK, IDCANCEL, ...).
constexpr int kFirstId = 1000;
// Without WS_CLIPCHILDREN: the window's background shows through the frames, which draw only
// their outline and caption.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

double ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The model's colours are Windows' own: red + 256 * green + 65536 * blue.
COLORREF ToColorRef(uint32_t colour) {
  return static_cast<COLORREF>(colour & 0xFFFFFF);
}

}  // namespace

FormWindow::FormWindow(HoravexConfigForm& dialog, Win32UiServices& ui)
    : dialog_(dialog), ui_(ui), presenter_(dialog, [this] { Sync(); }) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hbrBackground = BrushFor(dialog_.form.backColor);
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);

  dpi_ = ScreenDpi();
  RECT frame{0, 0, FormPresenter::Pixels(dialog_.form.width, dpi_),
             FormPresenter::Pixels(dialog_.form.height, dpi_)};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, WS_EX_CONTROLPARENT);
  window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, instance, this);
  if (window_ == nullptr) return;
  CreateControls();
  Stack();
  Sync();
}

FormWindow::~FormWindow() {
  if (window_ != nullptr && ::IsWindow(window_)) ::DestroyWindow(window_);
  for (auto& [key, font] : fonts_) ::DeleteObject(font);
  for (auto& [colour, brush] : brushes_) ::DeleteObject(brush);
}

void FormWindow::CreateControls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const Form& form = dialog_.form;
  toolTips_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                window_, nullptr, instance, nullptr);
  controls_.resize(form.controls.size());
  shown_.resize(form.controls.size());
  toolTipTexts_.resize(form.controls.size());
  for (size_t i = 0; i < form.controls.size(); ++i) {
    const Control& c = form.controls[i];
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (c.tabIndex >= 0) style |= WS_TABSTOP;
    switch (c.kind) {
      case ControlKind::Frame:
        style |= BS_GROUPBOX;
        break;
      case ControlKind::Label:
        windowClass = L"STATIC";
        style |= SS_NOTIFY | (c.alignment == Alignment::Right    ? SS_RIGHT
                              : c.alignment == Alignment::Center ? SS_CENTER
                                                                 : SS_LEFT);
        break;
      case ControlKind::CheckBox:
        // The model sets the value: the box itself never toggles.
        style |= BS_CHECKBOX;
        break;
      case ControlKind::CommandButton:
        // A graphical button: its picture, a caption below it, the model's face colour.
        style |= BS_OWNERDRAW;
        break;
    }
    PixelRect r = presenter_.Placement(i, dpi_);
    HWND control = ::CreateWindowExW(
        0, windowClass, L"", style, r.left, r.top, r.width, r.height, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + static_cast<int>(i))), instance,
        nullptr);
    controls_[i] = control;
    if (control == nullptr) continue;
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font, c.font.size)),
                   FALSE);
    if (c.kind == ControlKind::CheckBox) {
      ::SetWindowSubclass(control, CheckBoxProc, i, reinterpret_cast<DWORD_PTR>(this));
    }
    if (toolTips_ != nullptr) {
      TOOLINFOW tool{};
      tool.cbSize = TTTOOLINFOW_V2_SIZE;
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = window_;
      tool.uId = reinterpret_cast<UINT_PTR>(control);
      tool.lpszText = LPSTR_TEXTCALLBACKW;
      ::SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
}

void FormWindow::Stack() {
  const Form& form = dialog_.form;
  std::vector<size_t> order;
  std::vector<bool> placed(form.controls.size(), false);
  for (size_t focus : presenter_.FocusOrder()) {
    for (size_t i = 0; i < form.controls.size(); ++i) {
      if (form.controls[i].kind == ControlKind::Label && presenter_.LabelTarget(i) == focus) {
        order.push_back(i);
        placed[i] = true;
      }
    }
    order.push_back(focus);
    placed[focus] = true;
  }
  for (size_t i = 0; i < form.controls.size(); ++i) {
    if (!placed[i] && form.controls[i].kind != ControlKind::Frame) order.push_back(i);
  }
  // A frame's container comes before it in the model: the outermost frame goes lowest.
  for (size_t i = form.controls.size(); i-- > 0;) {
    if (form.controls[i].kind == ControlKind::Frame) order.push_back(i);
  }
  HWND after = HWND_TOP;
  for (size_t position : order) {
    if (controls_[position] == nullptr) continue;
    ::SetWindowPos(controls_[position], after, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = controls_[position];
  }
}

void FormWindow::Show() {
  // A console that Windows opened for this program alone (a start from the Explorer) is closed:
  // the dialog is the program's only window. One shared with the starting shell stays.
  DWORD processes[2];
  if (::GetConsoleProcessList(processes, 2) == 1) ::FreeConsole();
  ui_.Attach(window_, [this](MSG& message) { return FilterMessage(message); });
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  if (std::optional<size_t> first = presenter_.InitialFocus()) ::SetFocus(controls_[*first]);
}

void FormWindow::RunUntilClosed() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ui_.Deliver(message);
}

void FormWindow::ShowWaiting(const std::string& what) {
  presenter_.ShowWaiting(what);
  Sync();
}

void FormWindow::Sync() {
  if (window_ == nullptr) return;
  const Form& form = dialog_.form;
  std::wstring title = win32::ToWide(presenter_.Title());
  if (title != title_) {
    ::SetWindowTextW(window_, title.c_str());
    title_ = title;
  }
  for (size_t i = 0; i < form.controls.size(); ++i) {
    HWND control = controls_[i];
    if (control == nullptr) continue;
    const Control& c = form.controls[i];
    Shown& now = shown_[i];
    std::wstring text = win32::ToWide(c.caption);
    bool repaint = false;
    if (text != now.text) {
      ::SetWindowTextW(control, text.c_str());
      now.text = text;
      repaint = true;
    }
    if (c.kind == ControlKind::CheckBox && c.value != now.value) {
      ::SendMessageW(control, BM_SETCHECK, c.value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
      now.value = c.value;
    }
    int enabled = presenter_.Enabled(i) ? 1 : 0;
    if (enabled != now.enabled) {
      ::EnableWindow(control, enabled);
      now.enabled = enabled;
    }
    int visible = presenter_.Shown(i) ? 1 : 0;
    if (visible != now.visible) {
      ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
      now.visible = visible;
    }
    if (c.backColor != now.backColor) {
      now.backColor = c.backColor;
      repaint = true;
    }
    if (repaint) ::InvalidateRect(control, nullptr, TRUE);
    toolTipTexts_[i] = win32::ToWide(c.toolTip);
  }
}

bool FormWindow::FilterMessage(MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !::IsChild(window_, message.hwnd))) {
    return false;
  }
  // Letters' virtual-key codes are their capitals, as the run-time's key codes are.
  if (message.message == WM_SYSKEYDOWN) accessKey_ = static_cast<int>(message.wParam);
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    // Return and keypad Enter press the focused button, as Space does; on anything else they do
    // nothing. A held key presses it once.
    bool repeated = (message.lParam & (1 << 30)) != 0;
    int position = PositionOf(::GetFocus());
    if (!repeated && position >= 0 &&
        dialog_.form.controls[size_t(position)].kind == ControlKind::CommandButton) {
      presenter_.Click(size_t(position));
    }
    return true;
  }
  return ::IsDialogMessageW(window_, &message) != FALSE;
}

int FormWindow::PositionOf(HWND control) const {
  if (control == nullptr || ::GetParent(control) != window_) return -1;
  int position = ::GetDlgCtrlID(control) - kFirstId;
  return position >= 0 && size_t(position) < controls_.size() ? position : -1;
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return ::DefWindowProcW(window, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT FormWindow::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND: {
      int position = PositionOf(reinterpret_cast<HWND>(l));
      if (position < 0 || HIWORD(w) != BN_CLICKED) return 0;
      const Control& c = dialog_.form.controls[size_t(position)];
      if (c.kind == ControlKind::CommandButton) presenter_.Click(size_t(position));
      if (c.kind == ControlKind::CheckBox) presenter_.Toggle(size_t(position));
      return 0;
    }
    case WM_NEXTDLGCTL: {
      // The dialog manager moves the focus with this, as a label's access key does (to the label,
      // then on to the next control, which its stacking makes the label's own).
      HWND next = LOWORD(l) != 0 ? reinterpret_cast<HWND>(w)
                                 : ::GetNextDlgTabItem(window_, ::GetFocus(), w != 0);
      if (next != nullptr) ::SetFocus(next);
      return 0;
    }
    case WM_CLOSE:
      if (presenter_.CloseRequested()) ::DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(w) == WA_INACTIVE) {
        focusOnLeaving_ = ::GetFocus();
        return 0;
      }
      // The focus comes back to where it was, as in a dialog.
      if (focusOnLeaving_ != nullptr && ::IsWindow(focusOnLeaving_)) ::SetFocus(focusOnLeaving_);
      presenter_.Activated();
      return 0;
    case WM_SIZE:
      presenter_.Resized();
      return 0;
    case WM_SETCURSOR:
      if (ui_.ShowsHourglass()) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      int position = PositionOf(reinterpret_cast<HWND>(l));
      uint32_t colour = position >= 0 ? dialog_.form.controls[size_t(position)].backColor
                                      : dialog_.form.backColor;
      // The control fills its background with the brush and draws its text over it: Wine draws
      // no glyphs at all in the opaque mode on some X servers (Xvfb).
      HDC dc = reinterpret_cast<HDC>(w);
      ::SetBkColor(dc, ToColorRef(colour));
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(BrushFor(colour));
    }
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(l);
      if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(l);
        int position = PositionOf(reinterpret_cast<HWND>(header->idFrom));
        info->lpszText =
            position >= 0 ? toolTipTexts_[size_t(position)].data() : const_cast<wchar_t*>(L"");
        ::SendMessageW(toolTips_, TTM_SETMAXTIPWIDTH, 0, 600);
        return 0;
      }
      break;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, w, l);
}

LRESULT CALLBACK FormWindow::CheckBoxProc(HWND box, UINT message, WPARAM w, LPARAM l, UINT_PTR id,
                                          DWORD_PTR self) {
  return reinterpret_cast<FormWindow*>(self)->HandleCheckBox(box, size_t(id), message, w, l);
}

LRESULT FormWindow::HandleCheckBox(HWND box, size_t position, UINT message, WPARAM w, LPARAM l) {
  // The box reports a toggle (BN_CLICKED) while it handles a left button's release, Space's
  // release or an access key's click; the mouse-up or key-up follows it, as the run-time
  // orders them. Another button only reports its mouse-up.
  switch (message) {
    case WM_LBUTTONUP: {
      LRESULT result = ::DefSubclassProc(box, message, w, l);
      if (!accessClick_) presenter_.MouseUp(position, kLeftButton);
      return result;
    }
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      LRESULT result = ::DefSubclassProc(box, message, w, l);
      presenter_.MouseUp(position, message == WM_RBUTTONUP ? kRightButton : kMiddleButton);
      return result;
    }
    case WM_KEYUP: {
      LRESULT result = ::DefSubclassProc(box, message, w, l);
      if (w == VK_SPACE) presenter_.KeyUp(position, kKeySpace, 0);
      return result;
    }
    case BM_CLICK: {
      accessClick_ = true;
      LRESULT result = ::DefSubclassProc(box, message, w, l);
      accessClick_ = false;
      presenter_.KeyUp(position, accessKey_, kAltMask);
      return result;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(box, CheckBoxProc, position);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(box, message, w, l);
}

void FormWindow::DrawButton(const DRAWITEMSTRUCT& item) {
  int position = PositionOf(item.hwndItem);
  if (position < 0) return;
  const Control& c = dialog_.form.controls[size_t(position)];
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  ::FillRect(dc, &r, BrushFor(c.backColor));
  // The classic push button: raised, sunken while pressed, a dark outline when it has the focus.
  RECT edge = r;
  if ((item.itemState & ODS_FOCUS) != 0) {
    ::FrameRect(dc, &edge, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::InflateRect(&edge, -1, -1);
  }
  ::DrawEdge(dc, &edge, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  const int frame = 2;
  const int shift = pressed ? 1 : 0;

  SIZE picture = ButtonPictureSize(c.picture);
  picture.cx = FormPresenter::Pixels(int(picture.cx) * 15, dpi_);
  picture.cy = FormPresenter::Pixels(int(picture.cy) * 15, dpi_);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  std::wstring caption;
  HFONT font = nullptr;
  int line = 0;
  if (!c.caption.empty()) {
    CaptionFit fit =
        FitCaption(c.caption, c.font.size, width - 2 * frame - 2,
                   [&](const std::string& shown, double points) {
                     std::wstring text = win32::ToWide(shown);
                     HGDIOBJ old = ::SelectObject(dc, FontFor(c.font, points));
                     SIZE extent{};
                     ::GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
                     ::SelectObject(dc, old);
                     return int(extent.cx);
                   });
    font = FontFor(c.font, fit.points);
    caption = win32::ToWide(fit.text);
    TEXTMETRICW metrics{};
    HGDIOBJ old = ::SelectObject(dc, font);
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    line = int(metrics.tmHeight);
    // The picture gives way to the caption: smaller, never more than the button holds.
    int pictureHeight = std::min(int(picture.cy), height - 2 * frame - 4 - line - 1);
    pictureHeight = std::max(pictureHeight, 1);
    picture.cx = picture.cx * pictureHeight / picture.cy;
    picture.cy = pictureHeight;
  }
  const int content = picture.cy + (caption.empty() ? 0 : 4 + line);
  const int top = r.top + (height - content) / 2 + shift;
  const int left = r.left + (width - picture.cx) / 2 + shift;
  RECT pictureArea{left, top, left + picture.cx, top + picture.cy};
  DrawButtonPicture(dc, c.picture, pictureArea, disabled);
  if (!caption.empty()) {
    HGDIOBJ old = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    RECT text{r.left + frame + shift, top + picture.cy + 4, r.right - frame + shift,
              top + picture.cy + 4 + line};
    auto draw = [&](COLORREF colour, int offset) {
      RECT at = text;
      ::OffsetRect(&at, offset, offset);
      ::SetTextColor(dc, colour);
      ::DrawTextW(dc, caption.c_str(), int(caption.size()), &at, DT_CENTER | DT_SINGLELINE);
    };
    if (disabled) {
      draw(::GetSysColor(COLOR_3DHILIGHT), 1);
      draw(::GetSysColor(COLOR_GRAYTEXT), 0);
    } else {
      draw(::GetSysColor(COLOR_BTNTEXT), 0);
    }
    ::SelectObject(dc, old);
  }
  if ((item.itemState & ODS_FOCUS) != 0) {
    RECT focus = r;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}

HFONT FormWindow::FontFor(const Font& font, double points) {
  auto key = std::make_tuple(font.name, points, font.weight);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  LOGFONTW description{};
  description.lfHeight = -static_cast<LONG>(std::lround(points * dpi_ / 72.0));
  description.lfWeight = font.weight;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfQuality = DEFAULT_QUALITY;
  std::wstring face = win32::ToWide(font.name).substr(0, LF_FACESIZE - 1);
  std::copy(face.begin(), face.end(), description.lfFaceName);
  HFONT created = ::CreateFontIndirectW(&description);
  fonts_[key] = created;
  return created;
}

HBRUSH FormWindow::BrushFor(uint32_t colour) {
  auto found = brushes_.find(colour);
  if (found != brushes_.end()) return found->second;
  HBRUSH brush = ::CreateSolidBrush(ToColorRef(colour));
  brushes_[colour] = brush;
  return brush;
}

}  // namespace horavex
