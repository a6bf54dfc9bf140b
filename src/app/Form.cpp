#include "app/Form.h"

#include "platform/Failure.h"

namespace horavex {

Control& Form::Get(const std::string& name, int index) {
  return const_cast<Control&>(static_cast<const Form&>(*this).Get(name, index));
}

const Control& Form::Get(const std::string& name, int index) const {
  for (const Control& c : controls) {
    if (c.index == index && c.name == name) return c;
  }
  throw RuntimeFailure(index >= 0 ? kSubscriptOutOfRange : kObjectNotSet);
}

int Form::IndexOf(const Control& control) const {
  return static_cast<int>(&control - controls.data());
}

}  // namespace horavex
