#pragma once

#include <QCheckBox>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/HoravexConfigForm.h"

namespace horavex {

// A check box that leaves its value to the model: a mouse click reports a toggle followed by
// the mouse-up, the space key only a toggle.
class ModelCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  using QCheckBox::QCheckBox;
  std::function<void()> onToggle;
  std::function<void()> onMouseUp;

 protected:
  void nextCheckState() override {}
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
};

// Draws the dialog model with Qt Widgets at its fixed positions and forwards the user's actions
// to the model's handlers.
class FormView : public QWidget {
  Q_OBJECT
 public:
  explicit FormView(HoravexConfigForm& dialog);

  // Shows the model's current state.
  void Sync();
  QWidget* WidgetFor(const std::string& name, int index = -1) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int Pixels(int twips) const;
  void Dispatch(const std::function<void()>& handler);

  HoravexConfigForm& dialog_;
  std::vector<QWidget*> widgets_;
  double scale_ = 1.0;
};

// The pictures of the three buttons.
QPixmap ButtonPicture(Picture picture);

}  // namespace horavex
