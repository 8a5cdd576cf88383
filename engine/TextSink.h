#pragma once
// The text area a decoder writes one block's (or the end of run's) text into. Decoders write at `pos`
// and must keep `pos <= end`; when a line might not fit they call Reserve, which hands the pending text
// to the consumer (the parsed file) and goes on in the area the consumer gives back. So no text is
// ever written past the buffer, and the bytes reach the consumer in order, however much text a block
// produces. Decoders must not keep `begin` or `end` across a Reserve: the area may change.

#include <cstddef>
#include <cstdint>

namespace kestrun {

class TextSink {
 public:
  // Takes the `size` bytes at `data` and returns the area (of the same capacity) to go on in, which may
  // be `data` itself; null when it could not take them.
  using Consumer = char* (*)(void* context, char* data, std::size_t size);

  TextSink() = default;  // no text area: for runs without parsed text, which never write
  TextSink(char* buffer, std::size_t capacity, Consumer consumer, void* context)
      : begin(buffer), pos(buffer), end(buffer + capacity), capacity_(capacity), consumer_(consumer), context_(context) {}

  // Makes room for `n` more bytes at `pos`, handing over the pending text if need be. False when the
  // consumer failed or `n` exceeds the whole area; the sink is then failed and takes nothing more.
  bool Reserve(std::size_t n) { return static_cast<std::size_t>(end - pos) >= n || SpillFor(n); }

  // Hands the pending text [begin, pos) to the consumer and empties the area. False on failure.
  bool Flush();

  std::size_t Room() const { return static_cast<std::size_t>(end - pos); }
  // Bytes produced since construction: handed over plus pending.
  std::uint64_t Produced() const { return handedOver_ + static_cast<std::uint64_t>(pos - begin); }
  bool Failed() const { return failed_; }

  char* begin = nullptr;
  char* pos = nullptr;
  char* end = nullptr;

 private:
  bool SpillFor(std::size_t n);

  std::size_t capacity_ = 0;
  Consumer consumer_ = nullptr;
  void* context_ = nullptr;
  std::uint64_t handedOver_ = 0;
  bool failed_ = false;
};

}  // namespace kestrun
