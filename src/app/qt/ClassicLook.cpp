#include "app/qt/ClassicLook.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace horavex {

void ApplyClassicLook(QApplication& app) {
  if (QStyle* windows = QStyleFactory::create("Windows")) app.setStyle(windows);
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
  QPalette palette = app.style()->standardPalette();
  const QColor grey(192, 192, 192);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, grey);
    palette.setColor(group, QPalette::Button, grey);
  }
  app.setPalette(palette);
}

}  // namespace horavex
