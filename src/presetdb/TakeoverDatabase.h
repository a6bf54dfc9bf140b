#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dao/Database.h"
#include "platform/Failure.h"

namespace horavex {

// The component database as the update run uses it: opened once, on first need, and kept open
// until the takeover is done, instead of once per generated variable name. Its variable names
// are indexed in memory so that each rewrite finds its records without a scan of the table.
class TakeoverDatabase {
 public:
  // The open database for this host path (opened now when it is not yet); throws the open's
  // failure.
  dao::Database& Open(const std::string& path, const dao::OpenOptions& options = {});
  bool IsOpen() const { return database_.has_value(); }
  // Commits the pending rewrites and closes the file; throws the commit's failure.
  void Close();
  // Closes the file without committing the pending rewrites.
  void Abandon() noexcept;
  // The first failure to begin or commit the rewrites' transaction, if any: some rewrites
  // were then not made.
  const std::optional<Failure>& writeFailure() const { return writeFailure_; }

  // Gives every record of PRESET_DEFS whose var_name equals oldName (without regard to case)
  // the var_name newName, as an UPDATE ... WHERE var_name = oldName would. The rewrites of a
  // run share one transaction, committed by Close. A database without PRESET_DEFS has nothing
  // to rewrite. Throws the failure of a record's write; after a failure to read the names or to
  // begin the transaction the index stays unusable and later calls do nothing, so no wait for a
  // lock repeats for every name.
  void RewriteVarName(const std::string& oldName, const std::string& newName);

 private:
  void BuildIndex();

  std::optional<dao::Database> database_;
  enum class IndexState { kNotBuilt, kBuilt, kUnusable };
  IndexState indexState_ = IndexState::kNotBuilt;
  // The hash of the upper-cased name, left in upper_.
  size_t HashOfName(std::string_view name);

  // The hash of each record's upper-cased var_name -> its position in table order. Hashes keep
  // the index small; a record is renamed only after its name was compared.
  std::unordered_multimap<size_t, int64_t> recordsByName_;
  // One bit per hash modulo kFilterBits, set for every name in the index: most names looked up
  // are not in the table, and 128 KB of bits answer that without a walk through the index.
  static constexpr size_t kFilterBits = size_t(1) << 20;
  std::vector<bool> mayHold_;
  std::string upper_;
  // Every record's var_name, written through; opened at the first rewrite.
  std::optional<dao::Recordset> names_;
  bool inTransaction_ = false;
  std::optional<Failure> writeFailure_;
};

}  // namespace horavex
