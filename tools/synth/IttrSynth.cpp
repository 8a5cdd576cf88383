// ITTR_T/ITTR_M: the mode word and seven header words, then one package per statistics period holding
// a lead word per enabled channel with its intensity words. Every wrap of the 16-bit lead serial is
// announced by one overflow value: a statistics serial overflow word, or, at every third wrap, an
// overflow marker with its value word; the converter expects exactly one per wrap.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tools/synth/Synthesizers.h"

namespace kestrun::synth {

namespace {

constexpr std::uint32_t kModeWord = 0xEB90B110;
constexpr std::uint32_t kOverflowMarker = 0xEB90B0CA;
constexpr std::uint32_t kVersion = 0x21;
constexpr std::uint32_t kPeriodUs = 1000;
constexpr int kEnabled[] = {0, 1, 2, 3, 9, 10, 33, 40};

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", v);
  return text;
}

class IttrWriter {
 public:
  explicit IttrWriter(SynthContext& c) : c_(c), mMode_(c.options.type == DataType::IttrM) {}

  void Run() {
    WriteHeader();
    while (!c_.Done()) {
      if (c_.FaultDue(FaultKind::Junk)) WriteJunk();
      if (c_.FaultDue(FaultKind::OverflowCount)) {
        // An overflow value without a serial wrap: the lead words and the values no longer agree.
        c_.FaultInjected(FaultKind::OverflowCount, "");
        Announce(false);
      }
      WritePeriod();
    }
    Record();
  }

 private:
  void WriteHeader() {
    const auto board = static_cast<std::uint32_t>(c_.options.board);
    mode_ = kModeWord | board << 16 | (mMode_ ? 1u : 0u);
    for (int ch : kEnabled) (ch < 32 ? enableLow_ : enableHigh_) |= 1u << (ch % 32);
    const std::uint32_t header[7] = {kVersion << 24, mMode_ ? 0 : kPeriodUs, enableLow_, enableHigh_, 1, 0, 0};
    c_.out.Put(mode_);
    for (std::uint32_t word : header) c_.out.Put(word);
  }

  void WriteJunk() {
    // Words of no known kind (bits 31..28 = 1100 or 1101), which the converter skips.
    const std::uint64_t n = 3 + c_.random.Below(5);
    c_.FaultInjected(FaultKind::Junk, "");
    for (std::uint64_t i = 0; i < n; ++i)
      c_.out.Put(0xC0000000u | (static_cast<std::uint32_t>(c_.random.Next()) & 0x1FFFFFFF));
    junkWords_ += n;
  }

  // One overflow value; `wrap` when it announces a wrap of the lead serial.
  void Announce(bool wrap) {
    std::uint32_t value = overflowValue_ + 1;
    if (wrap && c_.FaultDue(FaultKind::OverflowGap)) {
      ++value;
      c_.FaultInjected(FaultKind::OverflowGap, "Statistics Overflow Value Error: Previous Overflow Value: " +
                                                   std::to_string(overflowValue_) +
                                                   ",\tCurrent Overflow Value: " + std::to_string(value) + "\n");
    }
    overflowValue_ = value;
    ++overflowValues_;
    if (wrap && leadWraps_ % 3 == 0) {
      c_.out.Put(kOverflowMarker);
      if (c_.out.CutDue()) c_.out.Cut("overflow marker and its value");
      c_.out.Put(value);
      ++dataOverflows_;
    } else {
      c_.out.Put(0xF0000000u | (value & 0xFFFF));
      ++overflowWords_;
    }
  }

  void WritePeriod() {
    if (c_.FaultDue(FaultKind::SerialGap)) {
      packageSerial_ = (packageSerial_ + 1) & 0xFFFF;
      c_.FaultInjected(FaultKind::SerialGap, "Package Serial Value Error: Previous Package Serial Value: " +
                                                 std::to_string(previousPackage_) + ",\tCurrent Package Serial Value: " +
                                                 std::to_string(packageSerial_) + "\n");
    }
    c_.out.Put(0x90000000u | packageSerial_);
    ++packageHeads_;
    if (packageSerial_ == 0xFFFF) ++packageWraps_;
    previousPackage_ = static_cast<std::int32_t>(packageSerial_);
    packageSerial_ = (packageSerial_ + 1) & 0xFFFF;

    // ITTR_M periods follow the marker input, so their length varies.
    const double periodUs = mMode_ ? 800 + 400 * c_.random.Uniform() : kPeriodUs;
    for (int ch : kEnabled) WriteLead(ch, periodUs);
    c_.out.Put(0xA0000000u);
    ++packageTails_;
  }

  void WriteLead(int channel, double periodUs) {
    std::uint32_t serial = (leadSerial_ + 1) & 0xFFFF;
    if (c_.FaultDue(FaultKind::LeadGap)) {
      serial = (serial + 1) & 0xFFFF;
      c_.FaultInjected(FaultKind::LeadGap, "Statistics Lead Error: Previous Serial: " + std::to_string(leadSerial_) +
                                               ",\tCurrent Serial: " + std::to_string(serial) + "\n");
    }
    if (serial < leadSerial_) {
      ++leadWraps_;
      Announce(true);
    }
    leadSerial_ = serial;
    ++leadWords_;

    const auto words = static_cast<std::uint32_t>(1 + c_.random.Below(3));
    const double rateCps = 50000.0 * (1 + channel % 8);
    const double mean = rateCps * periodUs * 1e-6 / words;
    c_.out.Put(0x40000000u | words << 24 | static_cast<std::uint32_t>(channel) << 16 | serial);
    for (std::uint32_t i = 0; i < words; ++i) {
      if (c_.out.CutDue()) c_.out.Cut("lead word serial " + std::to_string(serial) + " and its intensity words");
      c_.out.Put(static_cast<std::uint32_t>(c_.random.Poisson(mean)) & 0x3FFFFFFF);
    }
    intensities_[channel] += words;
  }

  void Record() {
    Manifest& m = c_.manifest;
    const std::int32_t board = c_.options.board << 16;
    m.Add("board", std::to_string(c_.options.board) + " (listed as " + std::to_string(board) + ")");
    m.Add("mode-word", Hex(mode_));
    m.Add("version", Hex(kVersion));
    m.Add("statistics-number", 0);
    m.Add("statistics-period-us", mMode_ ? 0 : kPeriodUs);
    m.Add("channel-enable-low", Hex(enableLow_));
    m.Add("channel-enable-high", Hex(enableHigh_));
    m.Add("zero-update", 1);
    m.Add("lead-words", leadWords_);
    m.Add("lead-serial-wraps", leadWraps_);
    m.Add("overflow-values", overflowValues_);
    m.Add("statistics-serial-overflow-words", overflowWords_);
    m.Add("data-overflows", dataOverflows_);
    m.Add("overflow-value-wraps", 0);
    m.Add("package-heads", packageHeads_);
    m.Add("package-tails", packageTails_);
    m.Add("package-serial-wraps", packageWraps_);
    m.Add("junk-words", junkWords_);
    for (const auto& [channel, count] : intensities_) m.AddEvents(board, channel, count);
    if (leadWraps_ != overflowValues_)
      m.AddExpectedError("Statistics Overflow Calculated: " + std::to_string(leadWraps_) +
                         ",\tStatistics Overflow Actual: " + std::to_string(overflowValues_) + "\n");
  }

  SynthContext& c_;
  const bool mMode_;
  std::uint32_t mode_ = 0, enableLow_ = 0, enableHigh_ = 0;
  std::uint32_t packageSerial_ = 0;
  std::int32_t previousPackage_ = -1;
  std::uint32_t leadSerial_ = 0;
  std::uint32_t overflowValue_ = 0;
  std::uint64_t leadWords_ = 0, leadWraps_ = 0, overflowValues_ = 0, overflowWords_ = 0, dataOverflows_ = 0;
  std::uint64_t packageHeads_ = 0, packageTails_ = 0, packageWraps_ = 0, junkWords_ = 0;
  std::map<int, std::uint64_t> intensities_;
};

}  // namespace

void SynthesizeIttr(SynthContext& c) { IttrWriter(c).Run(); }

}  // namespace kestrun::synth
