#pragma once
// Data words as the instruments write them: 32 bits, most significant byte first.

#include <cstdint>

namespace kestrun {

// The word whose first byte is p[0].
inline std::uint32_t WordAt(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

}  // namespace kestrun
