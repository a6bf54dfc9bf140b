#include "presetdb/TakeoverDatabase.h"

#include <algorithm>
#include <exception>

#include "platform/Text.h"
#include "presetdb/MatchKey.h"

namespace horavex {

namespace {
constexpr const char* kNamesSql = "SELECT var_name FROM PRESET_DEFS";
}  // namespace

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
  mayHold_.clear();
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

size_t TakeoverDatabase::HashOfName(std::string_view name) {
  upper_.clear();
  text::AppendUpper(upper_, name);
  return std::hash<std::string_view>{}(upper_);
}

void TakeoverDatabase::BuildIndex() {
  indexState_ = IndexState::kUnusable;
  if (!database_->TableDefs().Find("PRESET_DEFS")) return;
  mayHold_.assign(kFilterBits, false);
  recordsByName_.reserve(size_t(database_->OpenRecordset("SELECT count(*) FROM PRESET_DEFS")
                                    .Fields()[0]
                                    .Value()
                                    .ToInteger()));
  // Read forward once; the records are written through a record set of the same selection,
  // opened only when a name is rewritten, in which each record has the same position.
  dao::Recordset names = database_->OpenRecordset(kNamesSql, {}, dao::kOpenForwardOnly);
  std::string scratch;
  dao::RecordsetField field = names.Fields()[0];
  for (int64_t position = 0; !names.Eof(); names.MoveNext(), ++position) {
    const dao::Variant& name = field.Value();
    if (name.IsNull()) continue;  // NULL equals nothing
    size_t hash = HashOfName(TextOf(name, scratch));
    mayHold_[hash % kFilterBits] = true;
    recordsByName_.emplace(hash, position);
  }
  indexState_ = IndexState::kBuilt;
}

void TakeoverDatabase::RewriteVarName(const std::string& oldName, const std::string& newName) {
  if (indexState_ == IndexState::kNotBuilt) BuildIndex();
  if (indexState_ != IndexState::kBuilt) return;
  const size_t oldHash = HashOfName(oldName);
  if (!mayHold_[oldHash % kFilterBits]) return;
  auto [first, last] = recordsByName_.equal_range(oldHash);
  if (first == last) return;
  const size_t newHash = HashOfName(newName);
  if (!names_) {
    try {
      names_ = database_->OpenRecordset(kNamesSql);
    } catch (const Failure&) {
      indexState_ = IndexState::kUnusable;
      throw;
    }
  }
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
  std::vector<decltype(recordsByName_)::node_type> matching;
  while (first != last) matching.push_back(recordsByName_.extract(first++));
  std::sort(matching.begin(), matching.end(),
            [](const auto& a, const auto& b) { return a.mapped() < b.mapped(); });

  // The records keep their place in the index: under the new name when renamed, else as they
  // were. A record whose name is not the old one (another name of the same hash, or one that
  // another program changed since the index was built) is left as the UPDATE would leave it.
  std::string scratch;
  std::exception_ptr firstFailure;
  for (auto& record : matching) {
    try {
      names_->SetAbsolutePosition(record.mapped());
      const dao::Variant& current = names_->Fields()[0].Value();
      if (!current.IsNull() && text::EqualsNoCase(TextOf(current, scratch), oldName)) {
        names_->Edit();
        names_->Fields()[0].SetValue(newName);
        names_->Update();
        record.key() = newHash;
        mayHold_[newHash % kFilterBits] = true;
      }
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
    recordsByName_.insert(std::move(record));
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace horavex
