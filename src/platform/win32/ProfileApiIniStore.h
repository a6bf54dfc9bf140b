#pragma once

#include "platform/FileSystem.h"
#include "platform/IniStore.h"

namespace horavex {

// The ini services of Windows itself: the profile API's ANSI functions, with the program's
// UTF-8 text converted to Windows-1252 on the way in and back on the way out. Paths go through
// the FileSystem. Each write reaches the file at once, as the API writes it (in place); a group
// only collects whether every write of it succeeded.
class ProfileApiIniStore : public IniStore {
 public:
  explicit ProfileApiIniStore(FileSystem& files) : files_(files) {}

  std::string GetString(const std::string& section, const std::string& entry,
                        const std::string& defaultValue, size_t bufferSize,
                        const std::string& file) const override;
  uint32_t GetInt(const std::string& section, const std::string& entry, int32_t defaultValue,
                  const std::string& file) const override;
  bool WriteString(const std::string& section, const std::string& entry, const std::string& value,
                   const std::string& file) override;
  void CheckReadable(const std::string& file) const override;
  void BeginGroup() override;
  bool EndGroup() override;

 private:
  FileSystem& files_;
  int groupDepth_ = 0;
  bool groupWritten_ = true;
};

}  // namespace horavex
