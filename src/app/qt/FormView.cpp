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
    CaptionFit fit =
        FitCaption(caption.toStdString(), designFont.pointSizeF(), width() - 2 * frame - 2,
                   [&](const std::string& shown, double points) {
                     QFont sized = designFont;
                     sized.setPointSizeF(points);
                     return QFontMetrics(sized).horizontalAdvance(QString::fromStdString(shown));
                   });
    font.setPointSizeF(fit.points);
    fitted = QString::fromStdString(fit.text);
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

FormView::FormView(HoravexConfigForm& dialog)
    : dialog_(dialog), presenter_(dialog, [this] { Sync(); }) {
  if (QScreen* screen = this->screen()) dpi_ = screen->logicalDotsPerInch();
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
        box->onToggle = [this, i] { presenter_.Toggle(i); };
        box->onMouseUp = [this, i](int button) { presenter_.MouseUp(i, button); };
        box->onKeyUp = [this, i](int keyCode, int shift) { presenter_.KeyUp(i, keyCode, shift); };
        w = box;
        break;
      }
      case ControlKind::CommandButton: {
        // A graphical button: its picture, and a caption from the language file below it.
        auto* button = new PictureButton(ButtonPicture(c.picture), parent);
        connect(button, &QToolButton::clicked, this, [this, i] { presenter_.Click(i); });
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
  std::vector<size_t> order = presenter_.FocusOrder();
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(widgets_[order[i - 1]], widgets_[order[i]]);
  for (size_t i = 0; i < form.controls.size(); ++i) {
    auto* label = qobject_cast<QLabel*>(widgets_[i]);
    if (label == nullptr) continue;
    if (std::optional<size_t> target = presenter_.LabelTarget(i)) {
      label->setBuddy(widgets_[*target]);
    }
  }
  Sync();
  if (std::optional<size_t> first = presenter_.InitialFocus()) {
    widgets_[*first]->setFocus(Qt::OtherFocusReason);
  }
}

void FormView::ShowWaiting(const std::string& what) {
  presenter_.ShowWaiting(what);
  setWindowTitle(QString::fromStdString(presenter_.Title()));
}

int FormView::Pixels(int twips) const {
  return FormPresenter::Pixels(twips, dpi_);
}

void FormView::Sync() {
  Form& form = dialog_.form;
  setWindowTitle(QString::fromStdString(presenter_.Title()));
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

void FormView::closeEvent(QCloseEvent* event) {
  if (presenter_.CloseRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void FormView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) presenter_.Activated();
  QWidget::changeEvent(event);
}

void FormView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  presenter_.Resized();
}

}  // namespace horavex
