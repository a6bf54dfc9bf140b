#pragma once

class QApplication;

namespace horavex {

// The look of the platform the dialog comes from: Qt's "Windows" style (frames with their
// caption on the top border, flat 3D grey buttons and boxes), every background exactly
// red 192, green 192, blue 192, and "MS Sans Serif" drawn with Liberation Sans, whose widths
// are close to it.
void ApplyClassicLook(QApplication& app);

}  // namespace horavex
