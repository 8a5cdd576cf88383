#include "tools/synth/TttrSource.h"

#include <algorithm>
#include <cmath>

namespace kestrun::synth {

namespace {

constexpr std::uint64_t kT2Period = std::uint64_t{1} << 25;  // bins per sync overflow
constexpr double kT2EventsPerPeriod = 400;
constexpr std::uint64_t kT2MarkerBins = kT2Period / 4;
constexpr double kT3PhotonPerPulse = 0.02;
constexpr std::uint64_t kT3MarkerPulses = 8192;
constexpr double kSyncPeriodPs = 12500;  // 80 MHz
constexpr double kIrfPeakPs = 1500;
constexpr double kIrfWidthPs = 60;
constexpr std::array<double, 4> kChannelWeight = {1.0, 0.7, 0.45, 0.25};
constexpr std::array<double, 4> kDecayPs = {2500, 3200, 4100, 1800};

}  // namespace

TttrSource::TttrSource(SynthContext& c) : c_(c), t3_(c.options.type == DataType::T3) {
  const double bins = kSyncPeriodPs / c.options.resolutionPs;
  syncBins_ = static_cast<std::uint32_t>(std::clamp(bins, 1.0, 32767.0));
  if (t3_) {
    nextEvent_ = c.random.Geometric(kT3PhotonPerPulse);
    nextMarker_ = kT3MarkerPulses / 2;
  } else {
    nextEvent_ = static_cast<std::uint64_t>(c.random.Exponential(kT2Period / kT2EventsPerPeriod));
    nextMarker_ = kT2MarkerBins / 2;
  }
}

int TttrSource::PickChannel() {
  double sum = 0;
  for (double w : kChannelWeight) sum += w;
  double x = c_.random.Uniform() * sum;
  for (int ch = 0; ch < 3; ++ch) {
    if (x < kChannelWeight[ch]) return ch;
    x -= kChannelWeight[ch];
  }
  return 3;
}

// A line clock on input 1, a frame clock on input 2 every 16 lines, now and then both at once, and
// rarer pulses on inputs 3 and 4.
std::uint32_t TttrSource::NextMarkerMask() {
  const std::uint64_t i = markersWritten_++;
  std::uint32_t mask = 1;
  if (i % 16 == 15) mask = 2;
  if (i % 64 == 63) mask = 3;
  if (i % 256 == 255) mask = 4;
  if (i % 1024 == 1023) mask = 8;
  ++markers_[mask];
  return mask;
}

TttrItem TttrSource::Overflow() {
  ++period_;
  if (c_.FaultDue(FaultKind::SyncGap)) {
    ++skipped_;
    const std::uint32_t value = static_cast<std::uint32_t>((period_ + skipped_) & 1023);
    c_.FaultInjected(FaultKind::SyncGap, "Sync Pulse Seq Overflow Error: Previous Value: " + std::to_string(lastValue_) +
                                             ",\tCurrent Value: " + std::to_string(value) + "\n");
  }
  const std::uint32_t value = static_cast<std::uint32_t>((period_ + skipped_) & 1023);
  if (lastValue_ == 1023 && value == 0) ++syncWraps_;
  lastValue_ = value;
  ++syncOverflows_;
  return {TttrItem::Kind::SyncOverflow, 0xFE000000u | value};
}

TttrItem TttrSource::NextT2() {
  const std::uint64_t next = std::min(nextEvent_, nextMarker_);
  if (next / kT2Period > period_) return Overflow();
  if (nextMarker_ <= nextEvent_) {
    const std::uint32_t word = 0x80000000u | NextMarkerMask() << 25 | static_cast<std::uint32_t>(nextMarker_ % kT2Period);
    nextMarker_ += kT2MarkerBins;
    return {TttrItem::Kind::Marker, word};
  }
  const int channel = PickChannel();
  ++events_[channel];
  const std::uint32_t word = static_cast<std::uint32_t>(channel) << 25 | static_cast<std::uint32_t>(nextEvent_ % kT2Period);
  const double gap = c_.random.Exponential(kT2Period / kT2EventsPerPeriod);
  nextEvent_ += std::max<std::uint64_t>(1, static_cast<std::uint64_t>(gap));
  return {TttrItem::Kind::Event, word};
}

TttrItem TttrSource::NextT3() {
  const std::uint64_t next = std::min(nextEvent_, nextMarker_);
  if (next / 1024 > period_) return Overflow();
  if (nextMarker_ <= nextEvent_) {
    const std::uint32_t word = 0x80000000u | NextMarkerMask() << 25 | static_cast<std::uint32_t>(nextMarker_ % 1024);
    nextMarker_ += kT3MarkerPulses;
    return {TttrItem::Kind::Marker, word};
  }
  const int channel = PickChannel();
  ++events_[channel];
  const double delayPs = kIrfPeakPs + kIrfWidthPs * c_.random.Normal() + c_.random.Exponential(kDecayPs[channel]);
  // Photons later than one sync period show up early in the next one.
  const double bins = std::max(0.0, delayPs / c_.options.resolutionPs);
  const auto dtime = static_cast<std::uint32_t>(static_cast<std::uint64_t>(bins) % syncBins_);
  const std::uint32_t word = static_cast<std::uint32_t>(channel) << 25 | dtime << 10 |
                             static_cast<std::uint32_t>(nextEvent_ % 1024);
  nextEvent_ += c_.random.Geometric(kT3PhotonPerPulse);
  return {TttrItem::Kind::Event, word};
}

TttrItem TttrSource::Next() { return t3_ ? NextT3() : NextT2(); }

void TttrSource::Record(Manifest& manifest, std::int32_t board) const {
  manifest.Add("sync-overflows", syncOverflows_);
  manifest.Add("sync-overflow-wraps", syncWraps_);
  std::uint64_t markerWords = 0;
  for (const auto& [mask, count] : markers_) markerWords += count;
  manifest.Add("marker-words", markerWords);
  manifest.Add("marker-masks", markers_.size());
  for (const auto& [mask, count] : markers_) manifest.Add("marker", std::to_string(mask) + " " + std::to_string(count));
  for (int ch = 0; ch < 4; ++ch) manifest.AddEvents(board, ch, events_[ch]);
}

}  // namespace kestrun::synth
