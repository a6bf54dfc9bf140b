#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace horavex {

// Texts mapped to values for tables of many records: an open-addressing table of hashes whose
// texts are kept in large shared blocks, so that neither an entry nor a text is an allocation of
// its own and a lookup touches one slot in most cases.
template <typename T>
class TextIndex {
 public:
  void Reserve(size_t count) {
    entries_.reserve(count);
    if (count * 2 > slots_.size()) Rehash(count * 2);
  }
  // The value of the text, added with value when the text is not there yet; whether it was
  // added. The pointer is good until the next Insert.
  std::pair<T*, bool> Insert(std::string_view text, const T& value) {
    if ((used_ + 1) * 2 > slots_.size()) Rehash(std::max<size_t>(64, slots_.size() * 2));
    uint64_t hash = Hash(text);
    Slot& slot = slots_[Probe(text, hash)];
    if (slot.state == kFull) return {&entries_[slot.entry].value, false};
    if (slot.state == kEmpty) ++used_;
    slot = Slot{hash, uint32_t(entries_.size()), kFull};
    entries_.push_back(Entry{Keep(text), value});
    return {&entries_.back().value, true};
  }
  T* Find(std::string_view text) {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[Probe(text, Hash(text))];
    return slot.state == kFull ? &entries_[slot.entry].value : nullptr;
  }
  void Erase(std::string_view text) {
    if (slots_.empty()) return;
    Slot& slot = slots_[Probe(text, Hash(text))];
    if (slot.state == kFull) slot.state = kErased;
  }
  void Clear() { *this = TextIndex(); }

 private:
  enum State : uint32_t { kEmpty, kFull, kErased };
  // A slot holds the hash, so that a probe reads the text only when the hashes are equal.
  struct Slot {
    uint64_t hash = 0;
    uint32_t entry = 0;
    State state = kEmpty;
  };
  struct Entry {
    std::string_view text;
    T value;
  };
  static constexpr size_t kBlockSize = 256 * 1024;

  // Eight bytes at a time, each word mixed in by a multiplication, so that texts that differ in
  // a few characters spread over the table.
  static uint64_t Hash(std::string_view text) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    uint64_t hash = text.size() * kMultiplier;
    const char* p = text.data();
    size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      hash = (hash ^ word) * kMultiplier;
      hash ^= hash >> 29;
    }
    // The rest as two loads that may overlap (the length is hashed in already).
    if (n >= 4) {
      uint32_t head, tail;
      std::memcpy(&head, p, 4);
      std::memcpy(&tail, p + n - 4, 4);
      hash = (hash ^ (uint64_t(head) << 32 | tail)) * kMultiplier;
    } else if (n > 0) {
      uint64_t word =
          uint64_t(uint8_t(p[0])) << 16 | uint64_t(uint8_t(p[n / 2])) << 8 | uint8_t(p[n - 1]);
      hash = (hash ^ word) * kMultiplier;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return hash;
  }

  // The slot holding text, or else the slot where it would go (the first erased one passed, or
  // the empty one that ends the probe).
  size_t Probe(std::string_view text, uint64_t hash) const {
    size_t mask = slots_.size() - 1;
    size_t free = SIZE_MAX;
    for (size_t at = size_t(hash) & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.state == kEmpty) return free != SIZE_MAX ? free : at;
      if (slot.state == kErased) {
        if (free == SIZE_MAX) free = at;
      } else if (slot.hash == hash && entries_[slot.entry].text == text) {
        return at;
      }
    }
  }

  void Rehash(size_t atLeast) {
    size_t size = 64;
    while (size < atLeast) size *= 2;
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
    used_ = 0;
    for (const Slot& slot : old) {
      if (slot.state != kFull) continue;
      slots_[Probe(entries_[slot.entry].text, slot.hash)] = slot;
      ++used_;
    }
  }

  std::string_view Keep(std::string_view text) {
    if (blocks_.empty() || blockUsed_ + text.size() > blockSize_) {
      blockSize_ = std::max(kBlockSize, text.size());
      blocks_.push_back(std::make_unique<char[]>(blockSize_));
      blockUsed_ = 0;
    }
    char* kept = blocks_.back().get() + blockUsed_;
    if (!text.empty()) std::memcpy(kept, text.data(), text.size());
    blockUsed_ += text.size();
    return {kept, text.size()};
  }

  std::vector<Slot> slots_;  // a power of two in size, at most half used
  size_t used_ = 0;          // full and erased slots
  std::vector<Entry> entries_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockUsed_ = 0, blockSize_ = 0;
};

}  // namespace horavex
