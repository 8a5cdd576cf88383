#include "tttr/T3FieldText.h"

#include <mutex>
#include <new>

#include "engine/Digits.h"

namespace kestrun {

namespace {

// `value` in `text` with a tab when `tab`, its length in the last byte.
template <std::size_t N>
void Fill(char (&text)[N], std::uint64_t value, bool tab) {
  char digits[24];
  char* end = WriteU64(digits, value);
  if (tab) *end++ = '\t';
  const auto length = static_cast<std::size_t>(end - digits);
  std::memcpy(text, digits, length);
  text[N - 1] = static_cast<char>(length);
}

}  // namespace

T3FieldText::T3FieldText(std::int32_t resolutionPs)
    : resolutionPs_(resolutionPs), bins_(32768), sequences_(1024), channels_(128) {
  // bins x resolution in unsigned 64-bit arithmetic: a negative resolution wraps around, as the
  // line writer without tables has it.
  const auto resolution = static_cast<std::uint64_t>(static_cast<std::int64_t>(resolutionPs));
  for (std::uint32_t v = 0; v < bins_.size(); ++v) {
    Fill(bins_[v].bins, v, true);
    Fill(bins_[v].time, v * resolution, false);
  }
  for (std::uint32_t v = 0; v < sequences_.size(); ++v) Fill(sequences_[v].bytes, v, true);
  for (std::uint32_t v = 0; v < channels_.size(); ++v) Fill(channels_[v].bytes, v, true);
}

std::shared_ptr<const T3FieldText> T3FieldText::For(std::int32_t resolutionPs) {
  static std::mutex mutex;
  static std::shared_ptr<const T3FieldText> latest;
  std::lock_guard lock(mutex);
  if (latest == nullptr || latest->ResolutionPs() != resolutionPs) {
    try {
      latest = std::make_shared<const T3FieldText>(resolutionPs);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return latest;
}

}  // namespace kestrun
