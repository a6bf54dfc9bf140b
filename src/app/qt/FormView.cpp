#include "app/qt/FormView.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>

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
    if (onToggle) onToggle();
    event->accept();
    return;
  }
  QCheckBox::keyReleaseEvent(event);
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
        }
        w = box;
        break;
      }
      case ControlKind::CommandButton: {
        // A graphical button: its picture, and a caption from the language file below it.
        auto* button = new QToolButton(parent);
        QPixmap picture = ButtonPicture(c.picture);
        button->setIcon(QIcon(picture));
        button->setIconSize(picture.size());
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
  std::vector<std::pair<int, QWidget*>> order;
  for (size_t i = 0; i < form.controls.size(); ++i) {
    if (form.controls[i].tabIndex >= 0) order.emplace_back(form.controls[i].tabIndex, widgets_[i]);
  }
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1].second, order[i].second);
  Sync();
}

int FormView::Pixels(int twips) const {
  return static_cast<int>(twips / 15.0 * scale_ + 0.5);
}

void FormView::Sync() {
  Form& form = dialog_.form;
  setWindowTitle(QString::fromStdString(form.caption));
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
    if (auto* button = qobject_cast<QToolButton*>(w)) {
      button->setText(caption);
      button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly
                                                   : Qt::ToolButtonTextUnderIcon);
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
