#include "fuzz/FuzzDriver.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/Codes.h"
#include "tttr/TttrHeader.h"

namespace kestrun::fuzz {

namespace {

constexpr std::size_t kMaxBlock = 1'048'576, kRoomy = 1 << 20;
constexpr std::size_t kGuard = 256;  // bytes after each text area that no decoder may touch
constexpr char kGuardByte = static_cast<char>(0xA5);

// A buffer kept from input to input (fresh mebibytes cost more than the decoding), usable under ASan only
// where opened last, marked in pieces: ASan drops a large region's shadow pages and faults them in again.
struct Region {
  explicit Region(std::size_t size) : bytes(std::make_unique<char[]>(size)) { Mark(size, false); }
  void Mark(std::size_t n, bool usable) {
    for (std::size_t at = 0, piece = 256 * 1024; at < n; at += piece) {
      const std::size_t m = std::min(piece, n - at);
      usable ? ASAN_UNPOISON_MEMORY_REGION(bytes.get() + at, m) : ASAN_POISON_MEMORY_REGION(bytes.get() + at, m);
    }
  }
  char* Open(std::size_t n) { return Close(), Mark(used = n, true), bytes.get(); }
  void Close() { Mark(std::exchange(used, 0), false); }
  std::unique_ptr<char[]> bytes;
  std::size_t used = 0;
};

// The two text areas of a pass, handed out in turn as the engine hands out its text buffer's chunks.
Region* Areas() {
  static Region areas[2] = {Region(kRoomy + kGuard), Region(kRoomy + kGuard)};
  return areas;
}

// Cuts the data into blocks: each length choice from the back of what is left, the block from its front.
// A final empty block closes the stream, as a run hands one over after a file ending on a block boundary.
std::vector<std::string_view> CutBlocks(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> blocks;
  std::size_t front = 0, back = size;
  auto take = [&](int bytes) {
    std::size_t value = 0;
    for (int i = 0; i < bytes && front < back; ++i) value |= std::size_t{data[--back]} << (8 * i);
    return value;
  };
  auto length = [&](std::size_t c) -> std::size_t {
    switch (c & 7) {
      case 0: return 0;
      case 1: return 1 + (c >> 3) % 3;  // a block that ends inside its first word
      case 2: return 4 * ((c >> 3) + 1);
      case 3: return 4092 + ((c >> 3) & 7);
      case 4: return take(2);
      case 5: return take(3) % (kMaxBlock + 1);
      default: return kMaxBlock;
    }
  };
  while (front < back) {
    const std::size_t n = std::min(length(take(1)), back - front);
    blocks.emplace_back(reinterpret_cast<const char*>(data) + front, n);
    front += n;
  }
  blocks.emplace_back();
  return blocks;
}

// One pass over the blocks on `state`, reset first; its sink's consumer checks each hand-over of text.
struct Pass {
  Pass(DecoderState& state, bool parsed, bool overflow, std::size_t capacity, std::string& text,
       const DecoderChoice& c, const std::vector<std::string_view>& blocks)
      : state(state), capacity(capacity), text(text) {
    text.clear();
    state.Reset();
    state.generateParsed = parsed;
    state.outputOverflow = overflow;
    Areas()[1].Close();
    if (parsed) sink = TextSink(OpenArea(), capacity, &Pass::Collect, this);
    Run(c, blocks);
  }

  char* OpenArea() {
    char* const a = Areas()[current].Open(capacity + kGuard);
    std::memset(a + capacity, kGuardByte, kGuard);
    return a;
  }
  bool GuardIntact() const {
    const char* const guard = Areas()[current].bytes.get() + capacity;
    return std::all_of(guard, guard + kGuard, [](char c) { return c == kGuardByte; });
  }

  static char* Collect(void* self, char* data, std::size_t size) {
    Pass& p = *static_cast<Pass*>(self);
    Check(data == Areas()[p.current].bytes.get(), "text handed over from outside the area");
    Check(size <= p.capacity, "hand-over larger than the area");
    Check(p.GuardIntact(), "text written past the area");
    p.text.append(data, size);
    Areas()[p.current].Close();
    p.current = 1 - p.current;
    return p.OpenArea();
  }

  // One decoder call, then: the write position inside the area, the guard intact, the result the bytes produced.
  template <class Decode> void Call(Decode decode) {
    const std::uint64_t producedBefore = sink.Produced();
    const std::int32_t result = decode();
    Check(result >= 0, "a decoder failed to write its text");
    if (!state.generateParsed) {
      Check(result == 0 && sink.begin == nullptr && sink.pos == nullptr, "text written with parsed text off");
      return;
    }
    Check(sink.begin == Areas()[current].bytes.get(), "the sink left its area");
    Check(sink.pos >= sink.begin && sink.pos <= sink.end, "write position outside the area");
    Check(GuardIntact(), "text written past the area");
    Check(!sink.Failed(), "text area failed");
    Check(static_cast<std::uint64_t>(result) == sink.Produced() - producedBefore, "result differs from the text");
    returned += static_cast<std::uint64_t>(result);
  }

  // The decoders of `c` over `blocks` as a run calls them: the T2/T3 header first, the T1 histograms last,
  // each block read from a copy of its own size (ASan catches a read past it).
  void Run(const DecoderChoice& c, const std::vector<std::string_view>& blocks) {
    static Region copy(kMaxBlock);
    const char* const device = DeviceDisplayName(c.deviceType);
    const bool device3 = c.deviceType == kDeviceQZ48, parsed = state.generateParsed;
    const std::int32_t ps = c.resolutionPs;
    DecoderState& d = state;
    TextSink& out = sink;
    if (parsed && c.dataType == kDataTypeT2) Call([&] { return WriteT2Header(sink, ps, device); });
    if (parsed && c.dataType == kDataTypeT3) Call([&] { return WriteT3Header(sink, ps, device); });
    for (const std::string_view b : blocks) {
      char* const block = copy.Open(b.size());
      std::copy(b.begin(), b.end(), block);
      const auto* const p = reinterpret_cast<const std::uint8_t*>(block);
      const auto n = static_cast<std::int32_t>(b.size());
      Call([&] {
        switch (c.dataType) {
          case kDataTypeT1: return d.DecodeT1(p, n, device);
          case kDataTypeT2: return device3 ? d.DecodeT2Device3(p, n, out, ps, c.packetInfo) : d.DecodeT2(p, n, out, ps);
          case kDataTypeT3: return device3 ? d.DecodeT3Device3(p, n, out, ps, c.packetInfo) : d.DecodeT3(p, n, out, ps);
          default: return d.DecodeIttr(p, n, out);
        }
      });
    }
    if (c.dataType == kDataTypeT1) Call([&] { return d.WriteT1Text(sink, ps, device); });
    if (parsed) {
      Check(sink.Flush(), "final flush failed");
      Check(text.size() == returned, "text collected differs from the bytes reported");
    }
    // ITTR_T and ITTR_M share their report; the packet info bit picks which code asks for it.
    report = state.BuildReportText(c.dataType == kDataTypeIttrT && c.packetInfo ? kDataTypeIttrM : c.dataType);
    Check(!report.empty(), "empty report");
  }

  DecoderState& state;
  std::size_t capacity;
  std::string& text;  // kept from one input to the next, with its capacity
  TextSink sink;
  int current = 0;
  std::uint64_t returned = 0;
  std::string report;
};

}  // namespace

std::pair<std::string, std::string> DecodeChecked(DecoderState& d, const DecoderChoice& c, bool parsed, bool overflow,
                                                  std::size_t capacity, const std::vector<std::string_view>& blocks) {
  std::string text;
  const Pass pass(d, parsed, overflow, capacity, text, c, blocks);
  d.Reset();
  return {text, pass.report};
}

void RunDecoderFuzz(std::int32_t dataType, bool device3, const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  static constexpr std::int32_t kResolutions[] = {16, 1, 0, 1000, 2147483647, -1, -2147483647 - 1, 333};
  // The smallest area still holds the longest line any decoder writes in one piece.
  static constexpr std::size_t kCapacities[] = {128, 160, 256, 511, 1024, 4096, 65536, kRoomy};
  const DecoderChoice c{dataType, device3 ? kDeviceQZ48 : kDeviceKR77A5, kResolutions[(data[0] >> 2) & 7],
                        (data[0] & 1) != 0};
  const bool overflow = (data[0] & 2) != 0;
  const std::vector<std::string_view> blocks = CutBlocks(data + 1, size - 1);
  static std::string texts[3];
  // The pass without text runs on a state kept from input to input (reset, it must report as a fresh
  // one); the third on the first pass's state after its reset, as a parser's next run does.
  static DecoderState kept;
  const auto fresh = std::make_unique<DecoderState>();
  const Pass small(*fresh, true, overflow, kCapacities[data[0] >> 5], texts[0], c, blocks);
  const Pass off(kept, false, overflow, 0, texts[1], c, blocks);
  const Pass roomy(*fresh, true, overflow, kRoomy, texts[2], c, blocks);
  // libFuzzer takes memory that outlives an input for a leak and runs the input again to look for one.
  kept.Reset();
  Check(small.report == off.report, "the report differs with parsed text on and off");
  Check(small.text == roomy.text, "the text differs after a reset or with another area size");
  Check(small.report == roomy.report, "the report differs after a reset or with another area size");
}

}  // namespace kestrun::fuzz
