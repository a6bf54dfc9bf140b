#include "app/TopLevel.h"

#include <cstdio>

#include "platform/Failure.h"

namespace horavex {

void RunTopLevel(HoravexConfigForm& dialog, const std::function<void()>& handler) {
  int32_t number = 0;
  std::string description;
  try {
    handler();
    return;
  } catch (const Failure& f) {
    number = f.number();
    description = f.description();
  } catch (const std::bad_alloc&) {
    number = kOutOfMemory;
    description = RuntimeErrorText(kOutOfMemory);
  } catch (const std::exception& e) {
    number = kInvalidProcedureCall;
    description = e.what();
  }
  StandardModule& module = dialog.module();
  std::string message = "Run-time error '" + std::to_string(number) + "':\n\n" + description;
  if (module.SilentMode) {
    std::fprintf(stderr, "%s\n", message.c_str());
  } else {
    module.services().ui.MessageBox({message, module.services().process.ProgramFileName(),
                                     MsgIcon::Critical, MsgButtons::Ok, MsgDefault::First});
  }
  module.services().process.EndNow(kExitEndedOnError);
}

}  // namespace horavex
