#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace horavex {

// Texts mapped to values for tables of many records: the texts are kept in large shared blocks
// instead of one allocation each.
template <typename T>
class TextIndex {
 public:
  void Reserve(size_t count) { map_.reserve(count); }
  // The value of the text, added with value when the text is not there yet; whether it was added.
  std::pair<T*, bool> Insert(std::string_view text, const T& value) {
    auto found = map_.find(text);
    if (found != map_.end()) return {&found->second, false};
    return {&map_.emplace(Keep(text), value).first->second, true};
  }
  T* Find(std::string_view text) {
    auto found = map_.find(text);
    return found == map_.end() ? nullptr : &found->second;
  }
  void Erase(std::string_view text) { map_.erase(text); }
  void Clear() {
    map_.clear();
    blocks_.clear();
    used_ = size_ = 0;
  }

 private:
  static constexpr size_t kBlockSize = 256 * 1024;

  std::string_view Keep(std::string_view text) {
    if (blocks_.empty() || used_ + text.size() > size_) {
      size_ = std::max(kBlockSize, text.size());
      blocks_.push_back(std::make_unique<char[]>(size_));
      used_ = 0;
    }
    char* kept = blocks_.back().get() + used_;
    if (!text.empty()) std::memcpy(kept, text.data(), text.size());
    used_ += text.size();
    return {kept, text.size()};
  }

  std::unordered_map<std::string_view, T> map_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0, size_ = 0;
};

}  // namespace horavex
