#include <algorithm>

#include "app/win32/FormWindow.h"

namespace horavex {
namespace {

// Maps the picture's design coordinates into the area it is drawn in.
struct Scale {
  const RECT& area;
  double factor;
  POINT operator()(double x, double y) const {
    return POINT{area.left + LONG(x * factor + 0.5), area.top + LONG(y * factor + 0.5)};
  }
  int Width(double w) const { return std::max(1, int(w * factor + 0.5)); }
};

HPEN RoundPen(COLORREF colour, int width) {
  LOGBRUSH brush{BS_SOLID, colour, 0};
  return ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, DWORD(width),
                        &brush, 0, nullptr);
}

void Lines(HDC dc, const Scale& at, COLORREF colour, double width,
           std::initializer_list<std::pair<double, double>> points) {
  HPEN pen = RoundPen(colour, at.Width(width));
  HGDIOBJ old = ::SelectObject(dc, pen);
  bool first = true;
  for (const auto& [x, y] : points) {
    POINT p = at(x, y);
    if (first) {
      ::MoveToEx(dc, p.x, p.y, nullptr);
    } else {
      ::LineTo(dc, p.x, p.y);
    }
    first = false;
  }
  ::SelectObject(dc, old);
  ::DeleteObject(pen);
}

}  // namespace

SIZE ButtonPictureSize(Picture picture) {
  return picture == Picture::Quest ? SIZE{41, 45}
         : picture == Picture::Ok  ? SIZE{44, 36}
                                   : SIZE{37, 39};
}

void DrawButtonPicture(HDC dc, Picture picture, const RECT& area, bool disabled) {
  SIZE design = ButtonPictureSize(picture);
  Scale at{area, double(area.bottom - area.top) / double(design.cy)};
  const COLORREF grey = RGB(128, 128, 128);
  switch (picture) {
    case Picture::Ok:
      Lines(dc, at, disabled ? grey : RGB(0, 160, 0), 7, {{5, 19}, {16, 30}, {39, 6}});
      break;
    case Picture::Cancel:
      Lines(dc, at, disabled ? grey : RGB(220, 0, 0), 7, {{6, 6}, {31, 33}});
      Lines(dc, at, disabled ? grey : RGB(220, 0, 0), 7, {{31, 6}, {6, 33}});
      break;
    case Picture::Quest: {
      const COLORREF ink = disabled ? grey : RGB(0, 0, 0);
      LOGFONTW description{};
      description.lfHeight = -at.Width(30);
      description.lfWeight = FW_BOLD;
      description.lfCharSet = DEFAULT_CHARSET;
      std::copy_n(L"Arial", 6, description.lfFaceName);
      HFONT font = ::CreateFontIndirectW(&description);
      HGDIOBJ oldFont = ::SelectObject(dc, font);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, ink);
      POINT from = at(14, 0), to = at(41, 32);
      RECT box{from.x, from.y, to.x, to.y};
      ::DrawTextW(dc, L"?", 1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      ::SelectObject(dc, oldFont);
      ::DeleteObject(font);
      Lines(dc, at, ink, 3, {{16, 28}, {5, 40}});
      HBRUSH fill = ::CreateSolidBrush(ink);
      HPEN outline = ::CreatePen(PS_SOLID, 1, ink);
      HGDIOBJ oldBrush = ::SelectObject(dc, fill);
      HGDIOBJ oldPen = ::SelectObject(dc, outline);
      POINT head[3] = {at(2, 43), at(3, 33), at(12, 41)};
      ::Polygon(dc, head, 3);
      ::SelectObject(dc, oldPen);
      ::SelectObject(dc, oldBrush);
      ::DeleteObject(outline);
      ::DeleteObject(fill);
      break;
    }
    case Picture::None:
      break;
  }
}

}  // namespace horavex
