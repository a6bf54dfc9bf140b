#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace horavex {

// A run-time failure as the error log and the messages show it: number, source, description.
class Failure : public std::runtime_error {
 public:
  Failure(int32_t number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Source text of run-time failures raised by the program itself (the project name).
inline constexpr const char* kRuntimeSource = "Horavex_Config";

// VB run-time failure numbers used by the program.
enum RuntimeError : int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kBadFileName = 52,
  kFileNotFound = 53,
  kDeviceIoError = 57,
  kDiskFull = 61,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
};

// The standard text of a VB run-time failure number.
std::string RuntimeErrorText(int32_t number);

// A failure with a VB run-time number, its standard text and the program as source.
Failure RuntimeFailure(int32_t number);

}  // namespace horavex
