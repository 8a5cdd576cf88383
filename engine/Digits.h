#pragma once
// Number and literal writers for the block decoders: digits go straight into the text area, no
// formatting library per line. Each returns the position after what it wrote; the caller makes room.

#include <cstdint>
#include <cstring>

namespace kestrun {

namespace detail {
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

template <typename U>
inline int CountDigits(U v) {
  int n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

template <typename U>
inline char* WriteUnsigned(char* p, U v) {
  char* const end = p + CountDigits(v);
  char* q = end;
  while (v >= 100) {
    const unsigned pair = static_cast<unsigned>(v % 100) * 2;
    v /= 100;
    q -= 2;
    std::memcpy(q, kDigitPairs + pair, 2);
  }
  if (v >= 10) {
    std::memcpy(q - 2, kDigitPairs + static_cast<unsigned>(v) * 2, 2);
  } else {
    q[-1] = static_cast<char>('0' + v);
  }
  return end;
}
}  // namespace detail

// Plain decimal without leading zeros; at most 10 (U32), 20 (U64), 11 (I32) or 20 (I64) bytes.
inline char* WriteU32(char* p, std::uint32_t v) { return detail::WriteUnsigned(p, v); }
inline char* WriteU64(char* p, std::uint64_t v) { return detail::WriteUnsigned(p, v); }
inline char* WriteI32(char* p, std::int32_t v) {
  if (v < 0) {
    *p++ = '-';
    return WriteU32(p, 0u - static_cast<std::uint32_t>(v));
  }
  return WriteU32(p, static_cast<std::uint32_t>(v));
}
inline char* WriteI64(char* p, std::int64_t v) {
  if (v < 0) {
    *p++ = '-';
    return WriteU64(p, 0u - static_cast<std::uint64_t>(v));
  }
  return WriteU64(p, static_cast<std::uint64_t>(v));
}

// Lower-case hexadecimal without leading zeros, as "%x" prints; at most 8 bytes.
inline char* WriteHex32(char* p, std::uint32_t v) {
  int n = 1;
  for (std::uint32_t rest = v >> 4; rest != 0; rest >>= 4) ++n;
  for (int i = n - 1; i >= 0; --i, v >>= 4) p[i] = "0123456789abcdef"[v & 0xF];
  return p + n;
}

// A string literal without its terminating zero.
template <std::size_t N>
inline char* WriteLiteral(char* p, const char (&text)[N]) {
  std::memcpy(p, text, N - 1);
  return p + (N - 1);
}

}  // namespace kestrun
