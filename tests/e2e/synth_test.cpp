// kestrun-synth on its own: deterministic output, names the converter reads its settings from, and its
// usage errors.
#include <gtest/gtest.h>

#include <filesystem>

#include "E2eSupport.h"
#include "engine/NameRules.h"

namespace kestrun::test {
namespace {

TEST(Synth, TheSameSeedWritesTheSameBytesAndAnotherSeedOthers) {
  ScratchDir a, b, c;
  const std::string args = "-t T3 -d QZ48 --size 300K --files 2 --faults length,junk ";
  const Series first = Synthesize(a, args + "--seed 9 run");
  const Series again = Synthesize(b, args + "--seed 9 run");
  const Series other = Synthesize(c, args + "--seed 10 run");
  ASSERT_EQ(first.files.size(), 2u);
  for (std::size_t i = 0; i < first.files.size(); ++i) {
    EXPECT_EQ(std::filesystem::path(first.files[i]).filename(), "run_" + std::to_string(i + 1) + ".dat");
    EXPECT_TRUE(ReadFile(first.files[i]) == ReadFile(again.files[i]));
    EXPECT_FALSE(ReadFile(first.files[i]) == ReadFile(other.files[i]));
  }
  EXPECT_EQ(first.manifest.Errors(), again.manifest.Errors());
}

// A series of each type and device cut in two: the names give the converter its settings.
TEST(Synth, DefaultNamesCarryDeviceTypeAndResolutionForTheNameRules) {
  struct Case {
    const char* type;
    const char* model;
    int device;
    std::optional<int> dataType;
    const char* resolution;
  };
  const Case cases[] = {
      {"T2", "QZ48", 2, 1, "8"},        {"T3", "QZ48", 2, 2, "8"},       {"T1", "QZ48", 2, 0, "8"},
      {"ITTR_T", "QZ48", 2, 3, ""},     {"ITTR_M", "KR77A5", 0, 4, ""},  {"T2", "KR77A5", 0, 1, "8"},
      {"T3", "RB9531", 1, 2, "8"},      {"T1", "RB9531", 1, 0, "8"},     {"ITTR_M", "RB9531", 1, {}, nullptr},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const Series s = Synthesize(dir, std::string("-t ") + c.type + " -d " + c.model + " -r 8 --size 400K --files 2");
    ASSERT_EQ(s.files.size(), 2u);
    const std::string stem = std::filesystem::path(s.files.front()).stem().string();
    const NameSettings settings = SettingsFromName(stem);
    EXPECT_EQ(settings.deviceIndex, c.device) << stem;
    EXPECT_EQ(settings.dataTypeIndex, c.dataType) << stem;
    if (c.resolution) {
      EXPECT_EQ(settings.resolutionText, std::optional<std::string>(c.resolution)) << stem;
    }
  }

  // One file is still numbered, so that its stem has the instruments' number of pieces; a given name is kept.
  ScratchDir one, named;
  const std::string stem = std::filesystem::path(Synthesize(one, "-t T2 -d QZ48 --size 4K").files.front()).stem();
  EXPECT_TRUE(stem.ends_with("_n1_1")) << stem;
  EXPECT_EQ(Synthesize(named, "-t T2 -d QZ48 --size 4K shot").files, std::vector<std::string>{named / "shot.dat"});
}

// Every usage error exits with 2 and writes nothing; a fault that does not apply says which ones do.
TEST(Synth, UsageErrorsExitWithTwo) {
  ScratchDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"-t T1 -d KR77A5 --faults junk", "fault 'junk' does not apply to T1 data of KR77A5 (possible: none)"},
      {"-t T2 -d RB9531 --faults serial-gap", "(possible: sync-gap, junk)"},
      {"-t T4 -d QZ48", ""},
      {"-t T2 -d QZ49", ""},
      {"-t T2 -d QZ48 -r 0", ""},
      {"-t T2 -d QZ48 --size 3X", ""},
      {"-t T2 -d QZ48 --faults gap", ""},
      {"-t T2 -d QZ48 --files 0", ""},
      {"-t T2 -d QZ48 sub/name", ""},
  };
  for (const auto& [arguments, message] : cases) {
    const CommandResult r = RunCommand(Quote(kSynth) + " " + arguments + " -o " + Quote(dir.path().string()));
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_NE(r.err.find(message), std::string::npos) << arguments << "\n" << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace kestrun::test
