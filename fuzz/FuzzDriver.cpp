#include "fuzz/FuzzDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/Codes.h"
#include "engine/DecoderState.h"
#include "tttr/TttrHeader.h"

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUN_ASAN 1
#endif
#endif
#ifdef KESTRUN_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace kestrun::fuzz {

namespace {

constexpr std::size_t kMaxBlock = 1'048'576;
constexpr std::size_t kRoomyCapacity = 1 << 20;
// Bytes after each text area that no decoder may touch.
constexpr std::size_t kGuard = 256;
constexpr char kGuardByte = static_cast<char>(0xA5);
constexpr std::size_t kAreaBytes = (1 << 20) + kGuard;

// ASan marks a region usable or unusable; in pieces, because it would drop the shadow pages of a large
// region at once and fault them in again at the next marking, which costs more than the decoding.
constexpr std::size_t kPoisonPiece = 256 * 1024;
void Unpoison(const void* p, std::size_t n) {
#ifdef KESTRUN_ASAN
  for (std::size_t at = 0; at < n; at += kPoisonPiece) {
    ASAN_UNPOISON_MEMORY_REGION(static_cast<const char*>(p) + at, std::min(kPoisonPiece, n - at));
  }
#else
  (void)p, (void)n;
#endif
}
void Poison(const void* p, std::size_t n) {
#ifdef KESTRUN_ASAN
  for (std::size_t at = 0; at < n; at += kPoisonPiece) {
    ASAN_POISON_MEMORY_REGION(static_cast<const char*>(p) + at, std::min(kPoisonPiece, n - at));
  }
#else
  (void)p, (void)n;
#endif
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

struct Options {
  bool packetInfo = false;
  bool overflow = false;
  std::int32_t resolutionPs = 16;
  std::size_t capacity = 128;
};

Options ReadOptions(std::uint8_t b) {
  static constexpr std::int32_t kResolutions[] = {16, 1, 0, 1000, 2147483647, -1, -2147483647 - 1, 333};
  // The smallest area still holds the longest line any decoder writes in one piece.
  static constexpr std::size_t kCapacities[] = {128, 160, 256, 511, 1024, 4096, 65536, 1 << 20};
  Options o;
  o.packetInfo = (b & 1) != 0;
  o.overflow = (b & 2) != 0;
  o.resolutionPs = kResolutions[(b >> 2) & 7];
  o.capacity = kCapacities[(b >> 5) & 7];
  return o;
}

struct Block {
  std::size_t offset;
  std::size_t length;
};

// Cuts [data, data + size) into blocks: each length choice is read from the back of what is left, the
// block itself from its front, shortened to the data left. A final empty block closes the stream, as
// the run hands one over after a file that ends on a block boundary.
void CutBlocks(const std::uint8_t* data, std::size_t size, std::vector<Block>& blocks) {
  blocks.clear();
  std::size_t front = 0;
  std::size_t back = size;
  auto take = [&]() -> std::uint32_t { return front < back ? data[--back] : 0; };
  while (front < back) {
    const std::uint32_t c = take();
    std::size_t want = 0;
    switch (c & 7) {
      case 0:
        want = 0;
        break;
      case 1:
        want = 1 + (c >> 3) % 3;  // a block that ends inside its first word
        break;
      case 2:
        want = 4 * ((c >> 3) + 1);
        break;
      case 3:
        want = 4092 + ((c >> 3) & 7);
        break;
      case 4:
        want = take();
        want |= take() << 8;
        break;
      case 5:
        want = take();
        want |= take() << 8;
        want |= take() << 16;
        want %= kMaxBlock + 1;
        break;
      default:
        want = kMaxBlock;
        break;
    }
    const std::size_t length = std::min(want, back - front);
    blocks.push_back({front, length});
    front += length;
  }
  blocks.push_back({front, 0});
}

// Where a pass writes its text: two areas of one capacity, handed out in turn as the engine hands out
// the chunks of its text buffer. Kept from one input to the next (fresh mebibytes per input would cost
// more than the decoding). Past the capacity come guard bytes; under ASan everything but the area in
// use is poisoned, so a write past its end or into an area already handed over is caught at once.
struct AreaPair {
  std::unique_ptr<char[]> bytes[2] = {std::make_unique<char[]>(kAreaBytes), std::make_unique<char[]>(kAreaBytes)};
  std::size_t usable[2] = {0, 0};  // bytes at the start of each area not poisoned

  AreaPair() {
    Poison(bytes[0].get(), kAreaBytes);
    Poison(bytes[1].get(), kAreaBytes);
  }
  // Start of a pass: both areas closed.
  void Reset() {
    Close(0);
    Close(1);
  }
  char* Open(int i, std::size_t capacity) {
    char* const a = bytes[i].get();
    Close(i);
    Unpoison(a, capacity + kGuard);
    std::memset(a + capacity, kGuardByte, kGuard);
    Poison(a + capacity, kGuard);
    usable[i] = capacity;
    return a;
  }
  void Close(int i) {
    Poison(bytes[i].get(), usable[i]);
    usable[i] = 0;
  }
  bool GuardIntact(int i, std::size_t capacity) const {
#ifdef KESTRUN_ASAN
    (void)i, (void)capacity;
    return true;  // poisoned: ASan has already checked
#else
    const char* const a = bytes[i].get();
    for (std::size_t k = 0; k < kGuard; ++k) {
      if (a[capacity + k] != kGuardByte) return false;
    }
    return true;
#endif
  }
};

// Where a pass reads a block from: a copy at the start of a buffer kept from one input to the next,
// under ASan usable for exactly the block's bytes, so that reading past its end (or before its start)
// is caught as with an allocation of its own size.
struct BlockCopy {
  static constexpr std::size_t kLead = 64;  // poisoned bytes before the block
  std::unique_ptr<std::uint8_t[]> bytes = std::make_unique<std::uint8_t[]>(kLead + kMaxBlock + 64);
  std::size_t usable = 0;

  BlockCopy() { Poison(bytes.get(), kLead + kMaxBlock + 64); }
  const std::uint8_t* Hold(const std::uint8_t* data, std::size_t length) {
    Poison(bytes.get() + kLead, usable);
    Unpoison(bytes.get() + kLead, length);
    usable = length;
    if (length != 0) std::memcpy(bytes.get() + kLead, data, length);
    return bytes.get() + kLead;
  }
};

// One pass over the blocks: a fresh state (or one used before and reset, which must decode alike)
// and, with parsed text on, a text sink whose consumer collects the text, checks each hand-over and
// gives back the other area.
struct Pass {
  Pass(bool parsed, std::size_t capacity, bool overflow, AreaPair* areas, std::string* text, DecoderState* used = nullptr)
      : owned(used ? nullptr : std::make_unique<DecoderState>()), state(used ? used : owned.get()), areas(areas), text(*text) {
    this->text.clear();
    state->Reset();
    state->generateParsed = parsed;
    state->outputOverflow = overflow;
    if (!parsed) return;
    this->capacity = capacity;
    areas->Reset();
    sink = TextSink(areas->Open(0, capacity), capacity, &Pass::Collect, this);
  }
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;

  static char* Collect(void* self, char* data, std::size_t size) {
    Pass& p = *static_cast<Pass*>(self);
    Check(data == p.areas->bytes[p.current].get(), "text handed over from outside the area");
    Check(size <= p.capacity, "hand-over larger than the area");
    Check(p.areas->GuardIntact(p.current, p.capacity), "text written past the area");
    p.text.append(data, size);
    p.areas->Close(p.current);
    p.current = 1 - p.current;
    return p.areas->Open(p.current, p.capacity);
  }

  // After every call: the write position inside the area, the guard bytes untouched, and the call's
  // result the bytes it produced.
  void Account(std::int64_t result, std::uint64_t producedBefore) {
    Check(result >= 0, "a decoder failed to write its text");
    if (!state->generateParsed) {
      Check(result == 0, "text produced with parsed text off");
      Check(sink.begin == nullptr && sink.pos == nullptr, "text written with parsed text off");
      return;
    }
    Check(sink.begin == areas->bytes[current].get(), "the sink left its area");
    Check(sink.pos >= sink.begin && sink.pos <= sink.end, "write position outside the area");
    Check(areas->GuardIntact(current, capacity), "text written past the area");
    Check(!sink.Failed(), "text area failed");
    Check(static_cast<std::uint64_t>(result) == sink.Produced() - producedBefore, "result differs from the text");
    returned += static_cast<std::uint64_t>(result);
  }

  void Finish() {
    if (!state->generateParsed) return;
    Check(sink.Flush(), "final flush failed");
    Check(text.size() == returned, "text collected differs from the bytes reported");
  }

  std::unique_ptr<DecoderState> owned;  // a fresh state, or none when the pass is given one used before
  DecoderState* state;
  AreaPair* areas;
  int current = 0;
  std::size_t capacity = 0;
  TextSink sink;
  std::string& text;  // kept from one input to the next, with its capacity
  std::uint64_t returned = 0;
  std::string report;
};

std::int32_t DataType(Family f) {
  switch (f) {
    case Family::T2Device3:
    case Family::T2:
      return kDataTypeT2;
    case Family::T3Device3:
    case Family::T3:
      return kDataTypeT3;
    case Family::T1:
      return kDataTypeT1;
    default:
      return kDataTypeIttrT;
  }
}

void RunPass(Pass& pass, Family family, const Options& o, const std::uint8_t* data, const std::vector<Block>& blocks) {
  DecoderState& d = *pass.state;
  const bool device3 = family == Family::T2Device3 || family == Family::T3Device3;
  const char* const device = DeviceDisplayName(device3 ? kDeviceQZ48 : kDeviceKR77A5);
  if (d.generateParsed && (DataType(family) == kDataTypeT2 || DataType(family) == kDataTypeT3)) {
    const std::uint64_t before = pass.sink.Produced();
    const std::int32_t header = DataType(family) == kDataTypeT2 ? WriteT2Header(pass.sink, o.resolutionPs, device)
                                                                : WriteT3Header(pass.sink, o.resolutionPs, device);
    pass.Account(header, before);
  }
  for (const Block& b : blocks) {
    static BlockCopy copy;
    const std::uint8_t* const block = copy.Hold(data + b.offset, b.length);
    const auto length = static_cast<std::int32_t>(b.length);
    const std::uint64_t before = pass.sink.Produced();
    std::int32_t r = 0;
    switch (family) {
      case Family::T2Device3:
        r = d.DecodeT2Device3(block, length, pass.sink, o.resolutionPs, o.packetInfo);
        break;
      case Family::T2:
        r = d.DecodeT2(block, length, pass.sink, o.resolutionPs);
        break;
      case Family::T3Device3:
        r = d.DecodeT3Device3(block, length, pass.sink, o.resolutionPs, o.packetInfo);
        break;
      case Family::T3:
        r = d.DecodeT3(block, length, pass.sink, o.resolutionPs);
        break;
      case Family::T1:
        r = d.DecodeT1(block, length, device);
        Check(r == 0, "the T1 decoder wrote text");
        break;
      case Family::Ittr:
        r = d.DecodeIttr(block, length, pass.sink);
        break;
    }
    pass.Account(r, before);
  }
  if (family == Family::T1) {
    const std::uint64_t before = pass.sink.Produced();
    pass.Account(d.WriteT1Text(pass.sink, o.resolutionPs, device), before);
  }
  pass.Finish();
  // ITTR_T and ITTR_M share their report; the options byte picks which code asks for it.
  const std::int32_t type = family == Family::Ittr && o.packetInfo ? kDataTypeIttrM : DataType(family);
  pass.report = d.BuildReportText(type);
  Check(!pass.report.empty(), "empty report");
}

}  // namespace

void RunDecoderFuzz(Family family, const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const Options o = ReadOptions(data[0]);
  static std::vector<Block> blocks;  // kept, with its capacity: an input may cut thousands
  CutBlocks(data + 1, size - 1, blocks);

  static AreaPair smallAreas;
  static AreaPair roomyAreas;
  static std::string smallText, offText, roomyText;
  // The pass without text decodes on a state kept from input to input, reset: it must report as the
  // fresh state of the first pass does.
  static DecoderState offState;
  Pass small(true, o.capacity, o.overflow, &smallAreas, &smallText);
  RunPass(small, family, o, data + 1, blocks);
  Pass off(false, 0, o.overflow, nullptr, &offText, &offState);
  RunPass(off, family, o, data + 1, blocks);
  // The third pass decodes on the first pass's state after its reset, as a parser's next run does.
  Pass roomy(true, kRoomyCapacity, o.overflow, &roomyAreas, &roomyText, small.state);
  RunPass(roomy, family, o, data + 1, blocks);

  // What the kept state holds is released with the input's other memory: libFuzzer takes memory that
  // outlives an input for a leak and runs the input again to look for one.
  offState.Reset();
  Check(small.report == off.report, "the report differs with parsed text on and off");
  Check(small.text == roomy.text, "the text differs after a reset or with another area size");
  Check(small.report == roomy.report, "the report differs after a reset or with another area size");
}

}  // namespace kestrun::fuzz
