#pragma once

#include <functional>

#include "app/HoravexConfigForm.h"

namespace horavex {

// Runs an event handler as the run-time does: a failure that no handler took ends the program
// with a run-time error message.
void RunTopLevel(HoravexConfigForm& dialog, const std::function<void()>& handler);

}  // namespace horavex
