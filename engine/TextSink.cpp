#include "engine/TextSink.h"

namespace kestrun {

bool TextSink::Flush() {
  if (failed_) return false;
  const std::size_t pending = static_cast<std::size_t>(pos - begin);
  if (pending == 0) return true;
  char* const next = consumer_ == nullptr ? nullptr : consumer_(context_, begin, pending);
  if (next == nullptr) {
    failed_ = true;
    return false;
  }
  handedOver_ += pending;
  begin = pos = next;
  end = next + capacity_;
  return true;
}

bool TextSink::SpillFor(std::size_t n) {
  if (!Flush()) return false;
  if (static_cast<std::size_t>(end - pos) < n) {
    failed_ = true;
    return false;
  }
  return true;
}

}  // namespace kestrun
