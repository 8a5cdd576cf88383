// Packaged T2/T3 (QZ48): the data-type head, packages with continuous 10-bit serials and exact
// lengths, a package serial overflow word after every serial wrap, storage overflow announcements
// between packages now and then, and the data-type tail.
#include <string>
#include <vector>

#include "tools/synth/Synthesizers.h"
#include "tools/synth/TttrSource.h"

namespace kestrun::synth {

namespace {

constexpr std::uint32_t kStorageOverflowStart = 0xEB90B0CA;
constexpr std::uint32_t kPackageTail = 0xC8000000;
constexpr std::uint32_t kDataTypeTail = 0xEEEEDDDD;
constexpr std::uint64_t kPackagesPerStorageOverflow = 300;

std::string Join(const std::vector<std::uint32_t>& values) {
  std::string text;
  for (std::uint32_t v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

}  // namespace

void SynthesizeTttrPackaged(SynthContext& c) {
  const bool t3 = c.options.type == DataType::T3;
  const auto board = static_cast<std::uint32_t>(c.options.board);
  c.out.Put((t3 ? 0xEB90B713u : 0xEB90B712u) | board << 16);
  TttrSource source(c);

  std::uint32_t serial = 0;
  std::int32_t previousSerial = -1;
  std::uint32_t serialWraps = 0;
  bool announceWrap = false;
  std::uint64_t heads = 0, tails = 0, serial1023 = 0, serialOverflowWords = 0, junkWords = 0;
  std::vector<std::uint32_t> storageSerials;
  std::vector<std::uint32_t> content;

  while (!c.Done()) {
    if (c.random.Below(kPackagesPerStorageOverflow) == 0) {
      storageSerials.push_back(static_cast<std::uint32_t>(storageSerials.size() + 1));
      c.out.Put(kStorageOverflowStart);
      c.out.Put(storageSerials.back());
    }
    if (c.FaultDue(FaultKind::Junk)) {
      // Stray words between packages: neither heads nor announcements, so the converter skips them.
      const std::uint64_t n = 3 + c.random.Below(5);
      c.FaultInjected(FaultKind::Junk, "");
      for (std::uint64_t i = 0; i < n; ++i) c.out.Put(static_cast<std::uint32_t>(c.random.Next()) & 0x7FFFFFFF);
      junkWords += n;
    }
    if (c.FaultDue(FaultKind::SerialGap)) {
      serial = (serial + 1) & 1023;
      if (serial == 0) {
        ++serialWraps;
        announceWrap = true;
      }
      c.FaultInjected(FaultKind::SerialGap, "Package Serial Error: Previous Value: " + std::to_string(previousSerial) +
                                                ",\tCurrent Value: " + std::to_string(serial) + "\n");
    }

    content.clear();
    if (announceWrap) {
      content.push_back(0xD8000000u | (serialWraps & 1023));
      ++serialOverflowWords;
      announceWrap = false;
    }
    const std::uint32_t counted = 64 + static_cast<std::uint32_t>(c.random.Below(449));
    for (std::uint32_t i = 0; i < counted; ++i) content.push_back(source.Next().word);
    std::uint32_t declared = counted;
    if (c.FaultDue(FaultKind::Length)) {
      declared = counted + 1;
      c.FaultInjected(FaultKind::Length, "Package Length Error, At Package with Serial:" + std::to_string(serial) +
                                             ",\tData Length: " + std::to_string(declared) +
                                             ",\tActual Number: " + std::to_string(counted) + "\n");
    }

    c.out.Put(0xC0000000u | declared << 10 | serial);
    ++heads;
    if (serial == 1023) ++serial1023;
    for (std::uint32_t word : content) {
      c.out.Put(word);
      if (c.out.CutDue()) c.out.Cut("package " + std::to_string(serial));
    }
    c.out.Put(kPackageTail);
    ++tails;

    previousSerial = static_cast<std::int32_t>(serial);
    serial = (serial + 1) & 1023;
    if (serial == 0) {
      ++serialWraps;
      announceWrap = true;
    }
  }
  c.out.Put(kDataTypeTail);

  Manifest& m = c.manifest;
  m.Add("board", std::to_string(board) + " (listed as " + std::to_string(board << 16) + ")");
  m.Add("data-type-heads", 1);
  m.Add("data-type-tails", 1);
  source.Record(m, static_cast<std::int32_t>(board << 16));
  m.Add("package-heads", heads);
  m.Add("package-tails", tails);
  m.Add("package-serial-overflows", serial1023);
  m.Add("package-serial-overflow-words", serialOverflowWords);
  m.Add("storage-overflows", storageSerials.size());
  m.Add("storage-overflow-serials", Join(storageSerials));
  m.Add("junk-words", junkWords);
}

}  // namespace kestrun::synth
