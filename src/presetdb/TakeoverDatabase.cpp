#include "presetdb/TakeoverDatabase.h"

#include <exception>

#include "platform/Text.h"
#include "presetdb/MatchKey.h"

namespace horavex {

dao::Database& TakeoverDatabase::Open(const std::string& path, const dao::OpenOptions& options) {
  if (!database_) {
    database_ = dao::Database::Open(path, options);
    writeFailure_.reset();
  }
  return *database_;
}

void TakeoverDatabase::Close() {
  if (!database_) return;
  names_.reset();
  recordsByName_.clear();
  indexState_ = IndexState::kNotBuilt;
  bool commit = inTransaction_;
  inTransaction_ = false;
  try {
    if (commit) database_->CommitTrans();
  } catch (const Failure& f) {
    if (!writeFailure_) writeFailure_ = f;
    database_.reset();
    throw;
  }
  database_->Close();
  database_.reset();
}

void TakeoverDatabase::Abandon() noexcept {
  names_.reset();
  inTransaction_ = false;
  database_.reset();  // closing rolls the pending rewrites back
}

void TakeoverDatabase::BuildIndex() {
  indexState_ = IndexState::kUnusable;
  if (!database_->TableDefs().Find("PRESET_DEFS")) return;
  names_ = database_->OpenRecordset("SELECT var_name FROM PRESET_DEFS");
  dao::Recordset& names = *names_;
  std::string scratch;
  dao::RecordsetField field = names.Fields()[0];
  for (int64_t position = 0; !names.Eof(); names.MoveNext(), ++position) {
    const dao::Variant& name = field.Value();
    if (name.IsNull()) continue;  // NULL equals nothing
    recordsByName_[text::Upper(TextOf(name, scratch))].push_back(position);
  }
  indexState_ = IndexState::kBuilt;
}

void TakeoverDatabase::RewriteVarName(const std::string& oldName, const std::string& newName) {
  if (indexState_ == IndexState::kNotBuilt) BuildIndex();
  if (indexState_ != IndexState::kBuilt) return;
  auto found = recordsByName_.find(text::Upper(oldName));
  if (found == recordsByName_.end()) return;
  std::vector<int64_t> matching = std::move(found->second);
  recordsByName_.erase(found);
  if (!inTransaction_) {
    try {
      database_->BeginTrans();
    } catch (const Failure& f) {
      indexState_ = IndexState::kUnusable;
      writeFailure_ = f;
      throw;
    }
    inTransaction_ = true;
  }

  // The records keep their place in the index: renamed under the new name, else the old one.
  std::exception_ptr firstFailure;
  std::vector<int64_t> kept;
  for (int64_t position : matching) {
    try {
      names_->SetAbsolutePosition(position);
      names_->Edit();
      names_->Fields()[0].SetValue(newName);
      names_->Update();
      recordsByName_[text::Upper(newName)].push_back(position);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
      kept.push_back(position);
    }
  }
  for (int64_t position : kept) recordsByName_[text::Upper(oldName)].push_back(position);
  if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace horavex
