// Plain T2/T3 (KR77A5, RB9531): the data-type head, bare event, marker and sync overflow words, an
// information text (a position and time fix) at the start, every 512 sync overflows and wherever a
// file ends, and the data-type tail.
#include <string>

#include "tools/synth/Synthesizers.h"
#include "tools/synth/TttrSource.h"

namespace kestrun::synth {

namespace {

constexpr std::uint32_t kInfoStart = 0xB2000000;
constexpr std::uint32_t kInfoPart = 0xA2000000;
constexpr std::uint32_t kDataTypeTail = 0xEEEEDDDD;
constexpr std::uint64_t kOverflowsPerInfo = 512;

// `digits` decimal digits of `value`, one per 4-bit group, the last digit in bits 3..0.
std::uint32_t Bcd(std::uint64_t value, int digits) {
  std::uint32_t word = 0;
  for (int i = 0; i < digits; ++i, value /= 10) word |= static_cast<std::uint32_t>(value % 10) << (4 * i);
  return word;
}

// The eight part words of one text: 31.1415926500N 121.4735897900E hhmmss.ffffff.
void WriteInfo(SynthContext& c, std::uint64_t index, bool cutInside) {
  const std::uint64_t seconds = 10 * 3600 + 30 * 60 + index;
  const std::uint64_t clock = seconds / 3600 % 24 * 10000 + seconds / 60 % 60 * 100 + seconds % 60;
  const std::uint32_t parts[8] = {
      Bcd(3114, 4),          Bcd(159265, 6), Bcd(0, 2) << 16 | 'N', Bcd(12147, 5),
      Bcd(358979, 6),        Bcd(0, 2) << 16 | 'E', Bcd(clock, 6), Bcd(index * 271 % 1000000, 6),
  };
  c.out.Put(kInfoStart);
  for (int i = 0; i < 8; ++i) {
    c.out.Put(kInfoPart | parts[i]);
    if (cutInside && i == 2) c.out.Cut("information text " + std::to_string(index + 1));
  }
}

}  // namespace

void SynthesizeTttrPlain(SynthContext& c) {
  const bool t3 = c.options.type == DataType::T3;
  c.out.Put(t3 ? 0xEB90B713u : 0xEB90B712u);
  TttrSource source(c);
  std::uint64_t infos = 0, overflowsSinceInfo = 0, junkWords = 0;
  WriteInfo(c, infos++, false);

  while (!c.Done()) {
    if (c.FaultDue(FaultKind::Junk)) {
      // Words of no known kind (first byte 0xC0..0xDF), which the converter skips.
      const std::uint64_t n = 3 + c.random.Below(5);
      c.FaultInjected(FaultKind::Junk, "");
      for (std::uint64_t i = 0; i < n; ++i)
        c.out.Put(0xC0000000u | (static_cast<std::uint32_t>(c.random.Next()) & 0x1FFFFFFF));
      junkWords += n;
    }
    const TttrItem item = source.Next();
    c.out.Put(item.word);
    if (item.kind == TttrItem::Kind::SyncOverflow && ++overflowsSinceInfo == kOverflowsPerInfo) {
      WriteInfo(c, infos++, false);
      overflowsSinceInfo = 0;
    }
    if (c.out.CutDue()) WriteInfo(c, infos++, true);
  }
  c.out.Put(kDataTypeTail);

  Manifest& m = c.manifest;
  m.Add("board", "none (listed as 0)");
  m.Add("data-type-heads", 1);
  m.Add("data-type-tails", 1);
  source.Record(m, 0);
  m.Add("info-texts", infos);
  m.Add("junk-words", junkWords);
}

}  // namespace kestrun::synth
