#pragma once
// The text of a T3 event line's numbers, made once per resolution: each of the 32,768 bin values with
// its tab and its time in ps, each sync sequence number and channel with its tab. A line is then four
// copies from small tables instead of four numbers written digit by digit. Never changed once made, so
// threads share it.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace kestrun {

class T3FieldText {
 public:
  explicit T3FieldText(std::int32_t resolutionPs);

  // The table of `resolutionPs`: the latest one made is kept for the next caller; null when there was no
  // memory for it.
  static std::shared_ptr<const T3FieldText> For(std::int32_t resolutionPs);

  std::int32_t ResolutionPs() const { return resolutionPs_; }

  // "channel\tbins\tsequence\ttime" at p (channel below 128, bins below 32,768, sequence below 1,024);
  // returns the position after the time. Stores up to 23 bytes past it, as scratch.
  char* Write(char* p, std::uint32_t channel, std::uint32_t bins, std::uint32_t sequence) const {
    p = Put(p, channels_[channel & 127].bytes);
    const Bins& b = bins_[bins & 32767];
    p = Put(p, b.bins);
    p = Put(p, sequences_[sequence & 1023].bytes);
    std::memcpy(p, b.time, sizeof b.time);
    return p + b.time[sizeof b.time - 1];
  }

 private:
  // Each text in an array whose last byte holds its length.
  struct Short {
    char bytes[8];
  };
  struct Bins {
    char bins[8];   // the value and a tab
    char time[24];  // bins x resolution, up to 20 digits
  };
  static char* Put(char* p, const char (&text)[8]) {
    std::memcpy(p, text, 8);
    return p + text[7];
  }

  std::int32_t resolutionPs_;
  std::vector<Bins> bins_;
  std::vector<Short> sequences_;
  std::vector<Short> channels_;
};

}  // namespace kestrun
