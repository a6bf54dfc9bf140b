#pragma once

#include <string>
#include <vector>

#include "platform/Failure.h"

namespace horavex {

// A growable list of strings whose index 0 holds an empty string and no item; items run from
// index 1 to UBound().
class IndexList {
 public:
  IndexList() : items_(1) {}
  int UBound() const { return static_cast<int>(items_.size()) - 1; }
  void Append(std::string item) { items_.push_back(std::move(item)); }
  // Grows the list to upper index n, keeping its contents.
  void Resize(int n) { items_.resize(static_cast<size_t>(n) + 1); }
  const std::string& operator[](int i) const { return items_.at(Checked(i)); }
  std::string& operator[](int i) { return items_.at(Checked(i)); }

 private:
  size_t Checked(int i) const {
    if (i < 0 || i > UBound()) throw RuntimeFailure(kSubscriptOutOfRange);
    return static_cast<size_t>(i);
  }
  std::vector<std::string> items_;
};

}  // namespace horavex
