#pragma once

#include <cstdint>
#include <optional>

#include "platform/Failure.h"

namespace horavex {

// The object an earlier, failed step should have set; 91 "Object variable or With block
// variable not set" when it is not there, as when the run went on after that failure.
template <class T>
T& Require(std::optional<T>& object) {
  if (!object) throw RuntimeFailure(kObjectNotSet);
  return *object;
}

template <class T>
T& Require(T* object) {
  if (object == nullptr) throw RuntimeFailure(kObjectNotSet);
  return *object;
}

}  // namespace horavex

namespace horavex {

// The number of the program's own database failures ("Database-Error - Contact
// Administrator!" and the checks of the update run).
inline constexpr int32_t kDatabaseErrorNumber = 9999;

// A value kept in a 16-bit Integer; 6 "Overflow" beyond its range.
inline int16_t ToInteger16(int64_t value) {
  if (value < INT16_MIN || value > INT16_MAX) throw RuntimeFailure(kOverflow);
  return static_cast<int16_t>(value);
}

}  // namespace horavex
