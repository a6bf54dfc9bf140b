#include "standard/Handler.h"

namespace horavex {

void Handler::Report(std::exception_ptr failure) {
  int32_t number = 0;
  std::string source, description;
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& f) {
    number = f.number();
    source = f.source();
    description = f.description();
  } catch (const std::bad_alloc&) {
    number = kOutOfMemory;
    source = kRuntimeSource;
    description = RuntimeErrorText(kOutOfMemory);
  } catch (const std::exception& e) {
    number = kInvalidProcedureCall;
    source = kRuntimeSource;
    description = e.what();
  }
  // Anything else (the end of the process in tests) is not a failure and passes through.
  if (watcher_) watcher_(Failure(number, source, description));

  // A failure while a report is under way goes one level up instead of re-entering ErrorSub.
  if (module_.Reporting()) std::rethrow_exception(failure);
  int32_t answer = module_.ErrorSub(number, source, description, procedureName_, fatal_);
  if (answer == 1) module_.EndProgram();
}

}  // namespace horavex
