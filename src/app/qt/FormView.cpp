#include "app/qt/FormView.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcutEvent>
#include <QStyle>

#include "app/TopLevel.h"

namespace horavex {
namespace {

QColor ToQColor(uint32_t vb) {
  return QColor(vb & 0xFF, (vb >> 8) & 0xFF, (vb >> 16) & 0xFF);
}

QFont ToQFont(const Font& f) {
  QFont font(QString::fromStdString(f.name));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(f.size);
  font.setWeight(f.weight >= 700 ? QFont::Bold : QFont::Normal);
  return font;
}

// The text as shown: "&" before the access key hidden, "&&" one "&".
QString WithoutMnemonic(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

}  // namespace

bool ModelCheckBox::event(QEvent* event) {
  // The access key toggles the box as Space does; the button's own handling would only click
  // it, which the model never sees.
  if (event->type() == QEvent::Shortcut) {
    auto* shortcut = static_cast<QShortcutEvent*>(event);
    if (focusPolicy() != Qt::NoFocus) setFocus(Qt::ShortcutFocusReason);
    if (!shortcut->isAmbiguous() && !shortcut->key().isEmpty()) {
      KeyToggle(int(shortcut->key()[0].key()), kAltMask);
    }
    return true;
  }
  return QCheckBox::event(event);
}

void ModelCheckBox::KeyToggle(int keyCode, int shift) {
  if (onToggle) onToggle();
  if (onKeyUp) onKeyUp(keyCode, shift);
}

void ModelCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  bool inside = rect().contains(event->position().toPoint());
  QCheckBox::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && inside && onToggle) onToggle();
  int button = event->button() == Qt::RightButton    ? kRightButton
               : event->button() == Qt::MiddleButton ? kMiddleButton
                                                     : kLeftButton;
  if (onMouseUp) onMouseUp(button);
}

void ModelCheckBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    event->accept();
    return;
  }
  QCheckBox::keyPressEvent(event);
}

void ModelCheckBox::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    KeyToggle(kKeySpace, 0);
    event->accept();
    return;
  }
  QCheckBox::keyReleaseEvent(event);
}

PictureButton::PictureButton(const QPixmap& picture, QWidget* parent)
    : QToolButton(parent), picture_(picture.size()) {
  setIcon(QIcon(picture));
  setIconSize(picture_);
}

void PictureButton::SetCaption(const QString& caption, const QFont& designFont) {
  QFont font = designFont;
  QString fitted = caption;
  if (!caption.isEmpty()) {
    // The style draws the caption in the frame below the picture and 4 pixels under it.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int room = width() - 2 * frame - 2;
    auto tooWide = [&] {
      return QFontMetrics(font).horizontalAdvance(WithoutMnemonic(fitted)) > room;
    };
    constexpr double kSmallestPoints = 6.0;
    while (tooWide() && font.pointSizeF() > kSmallestPoints) {
      font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    for (qsizetype cut = fitted.lastIndexOf(' '); tooWide() && cut > 0;
         cut = fitted.lastIndexOf(' ')) {
      fitted.truncate(cut);
    }
    // The pressed button draws its content a pixel lower: one pixel to spare.
    int line = QFontMetrics(font).height();
    int pictureHeight = std::min(picture_.height(), height() - 2 * frame - 4 - line - 1);
    pictureHeight = std::max(pictureHeight, 1);
    setIconSize(QSize(picture_.width() * pictureHeight / picture_.height(), pictureHeight));
  } else {
    setIconSize(picture_);
  }
  setFont(font);
  setText(fitted);
  setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    event->accept();
    click();
    return;
  }
  QToolButton::keyPressEvent(event);
}

FormView::FormView(HoravexConfigForm& dialog) : dialog_(dialog) {
  if (QScreen* screen = this->screen()) scale_ = screen->logicalDotsPerInch() / 96.0;
  Form& form = dialog_.form;
  setFixedSize(Pixels(form.width), Pixels(form.height));
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, ToQColor(form.backColor));
  setPalette(p);

  widgets_.reserve(form.controls.size());
  for (size_t i = 0; i < form.controls.size(); ++i) {
    Control& c = form.controls[i];
    QWidget* parent = c.container >= 0 ? widgets_[c.container] : this;
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::Frame:
        w = new QGroupBox(parent);
        break;
      case ControlKind::Label: {
        auto* label = new QLabel(parent);
        label->setAlignment(c.alignment == Alignment::Right    ? Qt::AlignRight | Qt::AlignTop
                            : c.alignment == Alignment::Center ? Qt::AlignHCenter | Qt::AlignTop
                                                               : Qt::AlignLeft | Qt::AlignTop);
        w = label;
        break;
      }
      case ControlKind::CheckBox: {
        auto* box = new ModelCheckBox(parent);
        int position = static_cast<int>(i);
        box->onToggle = [this, position] {
          if (!Accepts(position)) return;
          Dispatch([this, position] {
            Control& model = dialog_.form.controls[position];
            dialog_.SetValue(model, model.value == 0 ? 1 : 0);
          });
        };
        if (c.name == "CheckMa") {
          int index = c.index;
          box->onMouseUp = [this, position, index](int button) {
            if (!Accepts(position)) return;
            Dispatch([this, index, button] { dialog_.CheckMa_MouseUp(index, button, 0, 0, 0); });
          };
          box->onKeyUp = [this, position, index](int keyCode, int shift) {
            if (!Accepts(position)) return;
            Dispatch(
                [this, index, keyCode, shift] { dialog_.CheckMa_KeyUp(index, keyCode, shift); });
          };
        }
        w = box;
        break;
      }
      case ControlKind::CommandButton: {
        // A graphical button: its picture, and a caption from the language file below it.
        auto* button = new PictureButton(ButtonPicture(c.picture), parent);
        std::string name = c.name;
        size_t position = i;
        connect(button, &QToolButton::clicked, this, [this, name, position] {
          if (!Accepts(position)) return;
          Dispatch([this, name] {
            if (name == "CommandOK") dialog_.CommandOK_Click();
            if (name == "CommandCancel") dialog_.CommandCancel_Click();
            if (name == "CommandQuest") dialog_.CommandQuest_Click();
          });
        });
        w = button;
        break;
      }
    }
    w->setObjectName(
        QString::fromStdString(c.index >= 0 ? c.name + std::to_string(c.index) : c.name));
    w->setGeometry(Pixels(c.left), Pixels(c.top), Pixels(c.width), Pixels(c.height));
    w->setFont(ToQFont(c.font));
    w->setAutoFillBackground(c.kind != ControlKind::Frame);
    if (c.tabIndex < 0) w->setFocusPolicy(Qt::NoFocus);
    widgets_.push_back(w);
  }
  // Focus order as designed.
  std::vector<std::pair<int, size_t>> order;
  for (size_t i = 0; i < form.controls.size(); ++i) {
    if (form.controls[i].tabIndex >= 0) order.emplace_back(form.controls[i].tabIndex, i);
  }
  std::sort(order.begin(), order.end());
  for (size_t i = 1; i < order.size(); ++i) {
    setTabOrder(widgets_[order[i - 1].second], widgets_[order[i].second]);
  }
  // A label's access key gives the focus to the control that follows it, as the next one in
  // the focus order of a dialog laid out in creation order.
  for (size_t i = 0; i < form.controls.size(); ++i) {
    auto* label = qobject_cast<QLabel*>(widgets_[i]);
    if (label == nullptr) continue;
    for (size_t next = i + 1; next < form.controls.size(); ++next) {
      if (form.controls[next].tabIndex >= 0) {
        label->setBuddy(widgets_[next]);
        break;
      }
    }
  }
  Sync();
  // The window opens with the focus on the first control of the focus order that takes it.
  for (const auto& [tabIndex, position] : order) {
    if (Accepts(position)) {
      widgets_[position]->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
}

void FormView::ShowWaiting(const std::string& what) {
  waitingFor_ = what;
  setWindowTitle(Title());
}

QString FormView::Title() const {
  std::string title = dialog_.form.caption;
  if (!waitingFor_.empty()) title += " - " + waitingFor_;
  return QString::fromStdString(title);
}

int FormView::Pixels(int twips) const {
  return static_cast<int>(twips / 15.0 * scale_ + 0.5);
}

void FormView::Sync() {
  Form& form = dialog_.form;
  setWindowTitle(Title());
  setCursor(form.mousePointer == kPointerHourglass ? Qt::WaitCursor : Qt::ArrowCursor);
  for (size_t i = 0; i < form.controls.size(); ++i) {
    const Control& c = form.controls[i];
    QWidget* w = widgets_[i];
    QString caption = QString::fromStdString(c.caption);
    if (auto* frame = qobject_cast<QGroupBox*>(w)) frame->setTitle(caption);
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(caption);
    if (auto* box = qobject_cast<ModelCheckBox*>(w)) {
      box->setText(caption);
      box->setChecked(c.value == 1);
    }
    if (auto* button = qobject_cast<PictureButton*>(w)) {
      button->SetCaption(caption, ToQFont(c.font));
    }
    w->setToolTip(QString::fromStdString(c.toolTip));
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, ToQColor(c.backColor));
    p.setColor(QPalette::Button, ToQColor(c.backColor));
    w->setPalette(p);
  }
}

QWidget* FormView::WidgetFor(const std::string& name, int index) const {
  const Form& form = dialog_.form;
  for (size_t i = 0; i < form.controls.size(); ++i) {
    if (form.controls[i].name == name && form.controls[i].index == index) return widgets_[i];
  }
  return nullptr;
}

bool FormView::Accepts(size_t position) const {
  if (handling_) return false;
  const Form& form = dialog_.form;
  for (int at = static_cast<int>(position); at >= 0; at = form.controls[size_t(at)].container) {
    const Control& c = form.controls[size_t(at)];
    if (!c.enabled || !c.visible) return false;
  }
  return true;
}

void FormView::Dispatch(const std::function<void()>& handler) {
  if (handling_) return;
  struct Handling {
    bool& flag;
    ~Handling() { flag = false; }
  } handling{handling_ = true};
  RunTopLevel(dialog_, handler);
  Sync();
}

void FormView::closeEvent(QCloseEvent* event) {
  // A close request while a handler runs is refused without a question: after OK the program
  // ends by itself, and any other handler is waiting for a message box.
  if (handling_) {
    event->ignore();
    return;
  }
  bool cancel = false;
  Dispatch([&] { dialog_.Form_QueryUnload(cancel, 0); });
  if (cancel) {
    event->ignore();
  } else {
    event->accept();
  }
}

void FormView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    Dispatch([this] { dialog_.Form_Activate(); });
  }
  QWidget::changeEvent(event);
}

void FormView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Dispatch([this] { dialog_.Form_Resize(); });
}

}  // namespace horavex
