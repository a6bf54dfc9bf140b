#pragma once

#include "standard/StandardModule.h"

namespace horavex {

// The preset database update that runs on every OK before the settings are written.
class UpdateRun {
 public:
  explicit UpdateRun(StandardModule& module) : module_(module) {}
  virtual ~UpdateRun() = default;
  virtual void WorkOnMDB();

 private:
  StandardModule& module_;
};

}  // namespace horavex
