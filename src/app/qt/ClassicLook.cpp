#include "app/qt/ClassicLook.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <filesystem>
#include <string>

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

bool DisplayAvailable() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  if (set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY")) return true;
  if (!set("DISPLAY")) return false;
  // A local display ":N" listens on /tmp/.X11-unix/XN; a remote one cannot be checked here.
  std::string display = std::getenv("DISPLAY");
  if (display.empty() || display[0] != ':') return true;
  std::string number = display.substr(1, display.find('.') - 1);
  std::error_code ec;
  return std::filesystem::exists("/tmp/.X11-unix/X" + number, ec);
}

}  // namespace horavex
