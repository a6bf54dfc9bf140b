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

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool XDisplayReachable() {
  std::string display = Environment("DISPLAY");
  if (display.empty()) return false;
  // A local display ":N" listens on /tmp/.X11-unix/XN; a remote one cannot be checked here.
  if (display[0] != ':') return true;
  std::error_code ec;
  return std::filesystem::exists("/tmp/.X11-unix/X" + display.substr(1, display.find('.') - 1), ec);
}

bool WaylandDisplayReachable() {
  std::string display = Environment("WAYLAND_DISPLAY");
  if (display.empty()) return false;
  std::filesystem::path socket = display;
  if (socket.is_relative()) socket = std::filesystem::path(Environment("XDG_RUNTIME_DIR")) / socket;
  std::error_code ec;
  return std::filesystem::exists(socket, ec);
}

}  // namespace

bool DisplayAvailable() {
  std::string platform = Environment("QT_QPA_PLATFORM");
  platform = platform.substr(0, platform.find(':'));
  if (platform == "xcb") return XDisplayReachable();
  if (platform.rfind("wayland", 0) == 0) return WaylandDisplayReachable();
  // Any other platform chosen explicitly (offscreen, vnc, ...) needs no display.
  if (!platform.empty()) return true;
  return XDisplayReachable() || WaylandDisplayReachable();
}

}  // namespace horavex
