#pragma once
// What the engine, T1 and ITTR tests share: conversions, and a text area whose file refuses the text.

#include <gtest/gtest.h>

#include "support/Conversion.h"

namespace kestrun::test {

// A text area of `capacity` bytes handed to a file that takes nothing.
struct FailingSink {
  explicit FailingSink(std::size_t capacity) : area(capacity) {}
  std::vector<char> area;
  TextSink sink{area.data(), area.size(), [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr};
};

}  // namespace kestrun::test
