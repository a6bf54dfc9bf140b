#pragma once

#include <exception>
#include <functional>
#include <new>
#include <string>

#include "platform/Failure.h"
#include "standard/StandardModule.h"

namespace horavex {

// The error handler of one reporting procedure. The body runs as steps: a failing step is
// reported through ErrorSub; on the answer 1 the program ends, otherwise the next step runs.
class Handler {
 public:
  // A fatal handler reports with Fatal true: the box "Fatal error" instead of the question.
  // The name is a literal: handlers are made for every call of a procedure, many times a record.
  Handler(StandardModule& module, const char* procedureName, bool fatal = false)
      : module_(module), procedureName_(procedureName), fatal_(fatal) {}

  template <class F>
  void step(F&& body) {
    try {
      body();
    } catch (...) {
      Report(std::current_exception());
    }
  }

  // The test of a conditional: true when the condition holds, and also when its evaluation
  // failed and the run went on (the then-branch runs).
  template <class F>
  bool test(F&& condition) {
    bool result = true;
    step([&] { result = condition(); });
    return result;
  }

  // Called with every failure of a step before it is reported: a caller that must know whether
  // certain steps all succeeded watches them through a handler of their own.
  void OnFailure(std::function<void(const Failure&)> watcher) { watcher_ = std::move(watcher); }

 private:
  void Report(std::exception_ptr failure);

  StandardModule& module_;
  const char* procedureName_;
  bool fatal_;
  std::function<void(const Failure&)> watcher_;
};

}  // namespace horavex
