#pragma once
// Drives the four T2/T3 block decoders over word lists, in one pass or in blocks of any size.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DecoderState.h"
#include "support/TestSupport.h"

namespace kestrun::test {

using u32 = std::uint32_t;

// Words of the packaged and plain layouts.
namespace w {
inline constexpr u32 kT2Head = 0xEB90B712, kT3Head = 0xEB90B713, kTail = 0xEEEEDDDD;
inline constexpr u32 kStorageStart = 0xEB90B0CA, kPackageTail = 0xC8000000;
constexpr u32 PackageHead(u32 length, u32 serial) { return 0xC0000000u | length << 10 | serial; }
constexpr u32 Sync(u32 value, u32 bits24to10 = 0) { return 0xFE000000u | bits24to10 << 10 | value; }
constexpr u32 SerialOverflow(u32 value) { return 0xD8000000u | value; }
constexpr u32 Marker(u32 mask) { return 0x80000000u | mask << 25; }
constexpr u32 T2Event(u32 channel, u32 bins) { return channel << 25 | bins; }
constexpr u32 T3Event(u32 channel, u32 bins, u32 sequence) { return channel << 25 | bins << 10 | sequence; }
// An information text of the plain layout: a start word and its eight parts, and its line.
inline const std::vector<u32> kInfo = {0xB2000000, 0xA2001234, 0xA2123456, 0xA2AB0041, 0xA2012345,
                                                 0xA2987654, 0xA2200020, 0xA2111111, 0xA2FFFFFF};
inline const std::string kInfoLine = "12.34123456:;A 123.4598765420  111111.??????\n";  // 44 characters
}  // namespace w

enum class Layout { T2Packaged, T2Plain, T3Packaged, T3Plain };
inline constexpr Layout kLayouts[] = {Layout::T2Packaged, Layout::T2Plain, Layout::T3Packaged, Layout::T3Plain};
inline bool IsT2(Layout layout) { return layout == Layout::T2Packaged || layout == Layout::T2Plain; }
inline bool IsPackaged(Layout layout) { return layout == Layout::T2Packaged || layout == Layout::T3Packaged; }

struct Flags {
  bool parsed = true;
  bool overflow = false;
  bool packetInfo = false;
  std::int32_t resolutionPs = 4;
};

// `packages` groups of about 20 words of every kind of `layout` (wrapping sync overflows and serials, storage,
// markers, information texts, words that mean nothing), so that every state is open at some block boundary.
inline std::vector<u32> MixedStream(Layout layout, u32 packages) {
  using namespace w;
  const bool t3 = !IsT2(layout), packaged = IsPackaged(layout);
  std::vector<u32> out;
  u32 sync = 1000;
  if (packaged) out.push_back((t3 ? kT3Head : kT2Head) | 0x10000);
  for (u32 p = 0; p < packages; ++p) {
    if (p % 7 == 3) out.insert(out.end(), {kStorageStart, p * 1000});
    if (p % 13 == 5) out.insert(out.end(), kInfo.begin(), kInfo.end());
    const std::size_t head = out.size();
    if (packaged) out.push_back(PackageHead(0, (p * 3) % 1024));
    for (u32 n = p * 16; n < p * 16 + 16; ++n) {
      if (n % 5 == 0) sync = (sync + 1 + (n % 97 == 0 ? 3 : 0)) % 1024;  // now and then a break in the sequence
      const u32 event = t3 ? T3Event(n % 64, (n * 37) % 32768, n % 1024) : T2Event(n % 64, (n * 7919) % (1u << 25));
      const u32 odd = n % 2 ? SerialOverflow(n % 1000 + 2) : 0xC0000000 | n;
      out.push_back(n % 5 == 0 ? Sync(sync, n % 32768) : n % 9 == 0 ? Marker(n % 16) : n % 29 ? event : odd);
    }
    if (packaged) {  // most packages declare their length right; some are one short
      out[head] |= static_cast<u32>(out.size() - head - 1 - (p % 11 == 0 ? 1 : 0)) << 10;
      out.push_back(kPackageTail);
    }
  }
  if (packaged) out.push_back(kTail);
  return out;
}

// The text of `bytes` in blocks of `blockSize` bytes (one block when 0); each block's result is checked.
inline std::string DecodeBytes(DecoderState& d, Layout layout, const std::vector<std::uint8_t>& bytes,
                               const Flags& f = {}, std::size_t blockSize = 0) {
  d.generateParsed = f.parsed;
  d.outputOverflow = f.overflow;
  StringSink sink(4096);
  const std::size_t step = blockSize == 0 ? std::max<std::size_t>(bytes.size(), 1) : blockSize;
  TextSink& t = sink.sink();
  for (std::size_t at = 0; at < bytes.size() || at == 0; at += step) {
    const std::uint8_t* block = bytes.data() + at;
    const auto length = static_cast<std::int32_t>(std::min(step, bytes.size() - at));
    const std::uint64_t before = t.Produced();
    const std::int32_t r =
        layout == Layout::T2Packaged   ? d.DecodeT2Device3(block, length, t, f.resolutionPs, f.packetInfo)
        : layout == Layout::T3Packaged ? d.DecodeT3Device3(block, length, t, f.resolutionPs, f.packetInfo)
        : layout == Layout::T2Plain    ? d.DecodeT2(block, length, t, f.resolutionPs)
                                       : d.DecodeT3(block, length, t, f.resolutionPs);
    EXPECT_EQ(static_cast<std::uint64_t>(r), t.Produced() - before);
    if (bytes.empty()) break;
  }
  return sink.Text();
}

}  // namespace kestrun::test
