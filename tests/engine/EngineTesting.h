#pragma once
// What the engine, T1 and ITTR tests share: kestrun-synth series of every data type, and a text area
// whose file refuses the text.

#include <gtest/gtest.h>

#include "support/Conversion.h"

namespace kestrun::test {

// A data type and device of kestrun-synth, with the faults a hostile series of them carries.
struct SynthCase {
  std::string args, faults;
  std::int32_t type, device;
};
inline const SynthCase kSynthCases[] = {
    {"-t T2 -d QZ48", "serial-gap:3,length:2,sync-gap:2,junk:4", 2, 3},
    {"-t T2 -d RB9531", "sync-gap:2,junk:4", 2, 64},
    {"-t T3 -d QZ48", "serial-gap:3,length:2,junk:4", 3, 3},
    {"-t T3 -d KR77A5", "sync-gap:2,junk:4", 3, 1},
    {"-t ITTR_T -d QZ48", "serial-gap:2,lead-gap:2,overflow-gap:2,junk:4", 4, 3},
    {"-t ITTR_M -d RB9531", "junk:3", 5, 64},
    {"-t T1 -d QZ48", "", 1, 3},
};

// Writes the kestrun-synth series `name`_1.dat... of 8 ps bins into `dir`; `args` add type, size and files.
inline void Synth(const ScratchDir& dir, const std::string& args, const std::string& name) {
  const CommandResult made = RunCommand(Quote(std::string(KESTRUN_BIN_DIR) + "/kestrun-synth") + " " + args +
                                        " -r 8 -o " + Quote(dir.path().string()) + " " + name);
  ASSERT_EQ(made.exitCode, 0) << made.err;
}

// The conversion of `input` as one of the cases, at 8 ps.
inline Conversion Of(const std::string& input, const SynthCase& c) {
  Conversion conversion(input, c.type, c.device);
  conversion.resolutionPs = 8;
  return conversion;
}

// A text area of `capacity` bytes handed to a file that takes nothing.
struct FailingSink {
  explicit FailingSink(std::size_t capacity) : area(capacity) {}
  std::vector<char> area;
  TextSink sink{area.data(), area.size(), [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr};
};

}  // namespace kestrun::test
