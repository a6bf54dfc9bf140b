#pragma once

#include <QCheckBox>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/HoravexConfigForm.h"

namespace horavex {

// A check box that leaves its value to the model: a left click reports a toggle followed by
// the mouse-up, another button only the mouse-up (with the run-time's button number), the
// space key and the access key of its caption (Alt and the letter after "&") a toggle followed
// by the key-up.
class ModelCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  using QCheckBox::QCheckBox;
  std::function<void()> onToggle;
  std::function<void(int button)> onMouseUp;
  std::function<void(int keyCode, int shift)> onKeyUp;

 protected:
  bool event(QEvent* event) override;
  void nextCheckState() override {}
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void KeyToggle(int keyCode, int shift);
};

// A button with a picture, and a caption from the language file below it drawn whole: in a
// smaller font, with a smaller picture or without its last words where the button is too small
// for it. Return and Enter press it when it has the focus, as Space does.
class PictureButton : public QToolButton {
  Q_OBJECT
 public:
  PictureButton(const QPixmap& picture, QWidget* parent);
  // The caption in the design font or, where it does not fit, as much of it as fits.
  void SetCaption(const QString& caption, const QFont& designFont);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QSize picture_;
};

// Draws the dialog model with Qt Widgets at its fixed positions and forwards the user's actions
// to the model's handlers: only to controls the model shows enabled and visible, and only while
// no handler runs (a handler that lets pending events run, as the update after OK does, gets no
// second click, close request or activation).
class FormView : public QWidget {
  Q_OBJECT
 public:
  explicit FormView(HoravexConfigForm& dialog);

  // Shows the model's current state.
  void Sync();
  // Shows in the title what the program waits for; "" when the wait is over.
  void ShowWaiting(const std::string& what);
  QWidget* WidgetFor(const std::string& name, int index = -1) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int Pixels(int twips) const;
  // Whether the control at this position takes input now.
  bool Accepts(size_t position) const;
  void Dispatch(const std::function<void()>& handler);
  QString Title() const;

  HoravexConfigForm& dialog_;
  std::vector<QWidget*> widgets_;
  double scale_ = 1.0;
  bool handling_ = false;
  std::string waitingFor_;
};

// The pictures of the three buttons.
QPixmap ButtonPicture(Picture picture);

}  // namespace horavex
