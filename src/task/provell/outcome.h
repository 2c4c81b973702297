#pragma once

#include <string>
#include <vector>

namespace zarn::provell {

/// One item that did not go through, and why.
struct Failure {
  std::string item;
  std::string reason;

  friend bool operator==(const Failure&, const Failure&) = default;
};

/// What became of the items of one operation: those done and those that
/// failed, each in processing order. A failure never stops the others.
struct Outcome {
  std::vector<std::string> done;
  std::vector<Failure> failures;

  /// The items that failed, in order.
  std::vector<std::string> failed_items() const {
    std::vector<std::string> items;
    items.reserve(failures.size());
    for (const Failure& failure : failures) items.push_back(failure.item);
    return items;
  }

  friend bool operator==(const Outcome&, const Outcome&) = default;
};

}  // namespace zarn::provell
