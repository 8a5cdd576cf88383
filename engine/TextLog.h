#pragma once
// An append-only text log whose memory stays bounded however much is appended: the first megabyte is
// kept in memory, and beyond that the text goes to an unnamed temporary file (gone when the log is, or
// when the process dies). The report's error lists live in these, so damaged input of any size cannot
// run the memory out. When the temporary file cannot be written, the log is failed: it keeps counting
// but no more text, and says why. Nothing here throws, apart from what a Writer given to it throws.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/Digits.h"

namespace kestrun {

// Where a log's text goes once it outgrows memory (empty: the system's temporary directory), and whether
// it is kept at all: a run that writes no report only counts its errors.
struct TextLogPlace {
  std::string directory;
  bool keepText = true;
};

class TextLog {
 public:
  // Takes `size` bytes; false stops the writing.
  using Writer = std::function<bool(const char*, std::size_t)>;
  static constexpr std::size_t kMemoryBytes = 1 << 20;

  TextLog() = default;
  ~TextLog();
  // A copy holds the same text (in a temporary file of its own when the original has one).
  TextLog(const TextLog& other);
  TextLog& operator=(const TextLog& other);
  TextLog(TextLog&& other) noexcept;
  TextLog& operator=(TextLog&& other) noexcept;

  // One entry: counted, and its text kept as `place` says.
  void Append(std::string_view text, const TextLogPlace& place);
  std::uint64_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  bool Failed() const { return failed_; }
  const std::string& Failure() const { return failure_; }
  // The whole text, in order, in pieces of up to a megabyte. False when `write` returned false, or
  // when the log has failed or its temporary file could not be read; then `*failure` (if given) gets
  // the log's message.
  bool WriteTo(const Writer& write, std::string* failure = nullptr) const;
  // Empty again, not failed, its temporary file gone.
  void Clear();

 private:
  bool Store(const char* data, std::size_t size, const TextLogPlace& place);
  bool Spill(const char* data, std::size_t size);
  // Drops the text kept so far; the message is prefix + subject.
  void Fail(const char* prefix, const std::string& subject) noexcept;
  void CloseFile() noexcept;

  std::string memory_;           // text not (yet) in the file: all of it until the first spill
  std::intptr_t file_ = -1;      // the temporary file (descriptor or handle), -1 without one
  std::uint64_t fileBytes_ = 0;  // text in the file, which comes before memory_
  std::uint64_t count_ = 0;
  std::string directory_;        // where the file was made, for the messages and for copies
  std::string failure_;
  bool failed_ = false;
};

// A text streamed out through a Writer: small pieces gather in a staging string that goes out in
// pieces of about 64 KiB, logs go out in their own pieces. After a failure nothing more is written.
class TextStream {
 public:
  struct Hex {
    std::uint32_t value;  // lower-case digits, no prefix
  };
  static constexpr std::size_t kStagingBytes = 1 << 16;

  explicit TextStream(const TextLog::Writer& write) : write_(write) {}
  TextStream& operator<<(std::string_view text) {
    if (ok_) {
      staging_.append(text);
      if (staging_.size() >= kStagingBytes) Flush();
    }
    return *this;
  }
  TextStream& operator<<(const char* text) { return *this << std::string_view(text); }
  template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>)
  TextStream& operator<<(T value) {
    char digits[24];
    if constexpr (std::signed_integral<T>) {
      return *this << std::string_view(digits, static_cast<std::size_t>(WriteI64(digits, value) - digits));
    } else {
      return *this << std::string_view(digits, static_cast<std::size_t>(WriteU64(digits, value) - digits));
    }
  }
  TextStream& operator<<(Hex value) {
    char digits[8];
    return *this << std::string_view(digits, static_cast<std::size_t>(WriteHex32(digits, value.value) - digits));
  }
  // The log's whole text, after what is staged.
  TextStream& operator<<(const TextLog& log);
  // Writes out what is staged; false once anything failed.
  bool Flush();
  bool Ok() const { return ok_; }
  // Why a log could not be written out ("" when the writer failed).
  const std::string& Failure() const { return failure_; }

 private:
  const TextLog::Writer& write_;
  std::string staging_;
  std::string failure_;
  bool ok_ = true;
};

}  // namespace kestrun
