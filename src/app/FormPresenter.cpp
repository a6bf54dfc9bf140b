#include "app/FormPresenter.h"

#include <algorithm>

#include "app/TopLevel.h"

namespace horavex {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

FormPresenter::FormPresenter(HoravexConfigForm& dialog, std::function<void()> redraw)
    : dialog_(dialog), redraw_(std::move(redraw)) {}

int FormPresenter::Pixels(int twips, double dpi) {
  return static_cast<int>(twips / 15.0 * (dpi / 96.0) + 0.5);
}

PixelRect FormPresenter::Placement(size_t position, double dpi) const {
  const Form& form = dialog_.form;
  const Control& c = form.controls[position];
  PixelRect r{Pixels(c.left, dpi), Pixels(c.top, dpi), Pixels(c.width, dpi), Pixels(c.height, dpi)};
  for (int at = c.container; at >= 0; at = form.controls[size_t(at)].container) {
    r.left += Pixels(form.controls[size_t(at)].left, dpi);
    r.top += Pixels(form.controls[size_t(at)].top, dpi);
  }
  return r;
}

bool FormPresenter::Shown(size_t position) const {
  const Form& form = dialog_.form;
  for (int at = static_cast<int>(position); at >= 0; at = form.controls[size_t(at)].container) {
    if (!form.controls[size_t(at)].visible) return false;
  }
  return true;
}

bool FormPresenter::Enabled(size_t position) const {
  const Form& form = dialog_.form;
  for (int at = static_cast<int>(position); at >= 0; at = form.controls[size_t(at)].container) {
    if (!form.controls[size_t(at)].enabled) return false;
  }
  return true;
}

bool FormPresenter::Accepts(size_t position) const {
  return !handling_ && Enabled(position) && Shown(position);
}

std::vector<size_t> FormPresenter::FocusOrder() const {
  const Form& form = dialog_.form;
  std::vector<std::pair<int, size_t>> order;
  for (size_t i = 0; i < form.controls.size(); ++i) {
    if (form.controls[i].tabIndex >= 0) order.emplace_back(form.controls[i].tabIndex, i);
  }
  std::sort(order.begin(), order.end());
  std::vector<size_t> positions;
  for (const auto& [tabIndex, position] : order) positions.push_back(position);
  return positions;
}

std::optional<size_t> FormPresenter::InitialFocus() const {
  for (size_t position : FocusOrder()) {
    if (Accepts(position)) return position;
  }
  return std::nullopt;
}

std::optional<size_t> FormPresenter::LabelTarget(size_t label) const {
  const Form& form = dialog_.form;
  for (size_t next = label + 1; next < form.controls.size(); ++next) {
    if (form.controls[next].tabIndex >= 0) return next;
  }
  return std::nullopt;
}

std::string FormPresenter::Title() const {
  std::string title = dialog_.form.caption;
  if (!waitingFor_.empty()) title += " - " + waitingFor_;
  return title;
}

void FormPresenter::Click(size_t position) {
  if (!Accepts(position)) return;
  const std::string& name = dialog_.form.controls[position].name;
  Dispatch([this, name] {
    if (name == "CommandOK") dialog_.CommandOK_Click();
    if (name == "CommandCancel") dialog_.CommandCancel_Click();
    if (name == "CommandQuest") dialog_.CommandQuest_Click();
  });
}

void FormPresenter::Toggle(size_t position) {
  if (!Accepts(position)) return;
  Dispatch([this, position] {
    Control& box = dialog_.form.controls[position];
    dialog_.SetValue(box, box.value == 0 ? 1 : 0);
  });
}

void FormPresenter::MouseUp(size_t position, int button) {
  const Control& c = dialog_.form.controls[position];
  if (c.name != "CheckMa" || !Accepts(position)) return;
  int index = c.index;
  Dispatch([this, index, button] { dialog_.CheckMa_MouseUp(index, button, 0, 0, 0); });
}

void FormPresenter::KeyUp(size_t position, int keyCode, int shift) {
  const Control& c = dialog_.form.controls[position];
  if (c.name != "CheckMa" || !Accepts(position)) return;
  int index = c.index;
  Dispatch([this, index, keyCode, shift] { dialog_.CheckMa_KeyUp(index, keyCode, shift); });
}

bool FormPresenter::CloseRequested() {
  // Refused without a question while a handler runs: after OK the program ends by itself, and
  // any other handler is waiting for a message box.
  if (handling_) return false;
  bool cancel = false;
  Dispatch([&] { dialog_.Form_QueryUnload(cancel, 0); });
  return !cancel;
}

void FormPresenter::Activated() {
  Dispatch([this] { dialog_.Form_Activate(); });
}

void FormPresenter::Resized() {
  Dispatch([this] { dialog_.Form_Resize(); });
}

void FormPresenter::Dispatch(const std::function<void()>& handler) {
  if (handling_) return;
  struct Handling {
    bool& flag;
    ~Handling() { flag = false; }
  } handling{handling_ = true};
  RunTopLevel(dialog_, handler);
  if (redraw_) redraw_();
}

CaptionFit FitCaption(const std::string& caption, double designPoints, int room,
                      const std::function<int(const std::string& shown, double points)>& width) {
  CaptionFit fit{designPoints, caption};
  if (caption.empty()) return fit;
  auto tooWide = [&] { return width(WithoutAccessKeyMarks(fit.text), fit.points) > room; };
  constexpr double kSmallestPoints = 6.0;
  while (tooWide() && fit.points > kSmallestPoints) fit.points -= 0.5;
  for (size_t cut = fit.text.rfind(' '); tooWide() && cut != std::string::npos && cut > 0;
       cut = fit.text.rfind(' ')) {
    fit.text.resize(cut);
  }
  return fit;
}

std::string WithoutAccessKeyMarks(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

std::string OneBreakPerPair(const std::string& text) {
  std::string shown = text;
  ReplaceAll(shown, "\r\n", "\n");
  ReplaceAll(shown, "\n\r", "\n");
  ReplaceAll(shown, "\r", "\n");
  return shown;
}

}  // namespace horavex
