#include "presetdb/TakeoverDatabase.h"

#include <exception>

#include "platform/Text.h"

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
  recordByRowid_.reset();
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

void TakeoverDatabase::BuildIndex() {
  indexState_ = IndexState::kUnusable;
  if (!database_->TableDefs().Find("PRESET_DEFS")) return;
  dao::Recordset names =
      database_->OpenRecordset("SELECT rowid AS record, var_name FROM PRESET_DEFS");
  for (; !names.Eof(); names.MoveNext()) {
    dao::Variant name = names.Fields()[1].Value();
    if (name.IsNull()) continue;  // NULL equals nothing
    recordsByName_[text::Upper(name.ToText())].push_back(names.Fields()[0].Value().ToInteger());
  }
  recordByRowid_ = database_->CreateQuery("SELECT var_name FROM PRESET_DEFS WHERE rowid = ?");
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

  std::vector<int64_t> kept;
  std::vector<int64_t>& renamed = recordsByName_[text::Upper(newName)];
  std::exception_ptr firstFailure;
  for (int64_t rowid : matching) {
    try {
      recordByRowid_->Bind(1, rowid);
      dao::Recordset record = recordByRowid_->OpenRecordset();
      record.Edit();
      record.Fields()[0].SetValue(newName);
      record.Update();
      renamed.push_back(rowid);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
      kept.push_back(rowid);
    }
  }
  if (!kept.empty()) {
    std::vector<int64_t>& old = recordsByName_[text::Upper(oldName)];
    old.insert(old.end(), kept.begin(), kept.end());
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace horavex
