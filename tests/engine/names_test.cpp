// What names decide: an instrument's settings, type and device codes, the files of a series, the output names.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <optional>
#include <sstream>
#include <tuple>

#include "engine/Codes.h"
#include "engine/InputDiscovery.h"
#include "engine/NameRules.h"
#include "engine/PathPieces.h"
#include "support/TestSupport.h"

namespace kestrun::test {
namespace {

using Pieces = std::vector<std::string>;

// The settings a stem decides in one line; a setting the name leaves unchanged is not shown.
std::string Decided(std::string_view stem) {
  const NameSettings s = SettingsFromName(stem);
  std::ostringstream o;
  o << s.deviceIndex << (s.showPacketInfo ? " info" : "");
  if (s.resolutionEnabled) o << " enabled " << *s.resolutionEnabled;
  if (s.dataTypeIndex) o << " type " << *s.dataTypeIndex;
  if (s.resolutionText) o << " res '" << *s.resolutionText << "'";
  return o.str();
}

TEST(NameRules, PiecesIntegersCodesTheSettingsOfEightOrSevenPieceNamesAndOutputNames) {
  EXPECT_EQ(SplitText("__a__b_c_", "_"), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(SplitText("", "_"), Pieces{});
  EXPECT_EQ(SplitText("___", "_"), Pieces{});
  EXPECT_EQ(SplitText(" x.dat  T2 25 QZ48", " "), (Pieces{"x.dat", "T2", "25", "QZ48"}));
  for (const auto& [text, value] : {std::pair{"25ps", 25}, {"", 0}, {"abc", 0}, {"  -7x", -7}, {"+3", 3},
                                     {"99999999999999", INT32_MAX}, {"-99999999999999", INT32_MIN}}) {
    EXPECT_EQ(LeadingInteger(text), value) << text;
  }
  std::string codes;
  for (const char* text : {"ITTR_M", "t1", "QZ48", "RB9531", "QZ8B48"}) {
    codes += std::to_string(DataTypeFromText(text)) + "/" + std::to_string(DeviceFromText(text)) + " ";
  }
  for (int code : {1, 4, 8, 64, 3, 5, 0, 100, -1}) codes += TdcFileParser::DeviceDisplayName(code) + std::string(",");
  EXPECT_EQ(codes + std::string(DataTypeText(2)) + "|" + std::string(DataTypeText(6)),
            "5/-1 -1/-1 -1/3 -1/64 -1/-1 KR77A5,KR77A5,KR77A5,RB9531,QZ8B48,Unknown Type,Unknown Type,"
            "Unknown Type,Unknown Type,T2|");

  const std::pair<const char*, const char*> names[] = {
      {"QZ48abc_x_T2_16ps_e_f_g_h", "2 info enabled 0 type 1 res '16'"}, {"QZ48_x_T5_16ps_e_f_g_h", "2 info enabled 0"},
      {"QZ48_x_ITTR_M_e_f_g_h", "2 info enabled 0 type 4 res ''"},
      {"QZ48_x_ITTR_T_e_f_g_h", "2 info enabled 0 type 3 res ''"},
      {"QZ48_x_ITTR_Q_e_f_g_h", "2 info enabled 0 res ''"},  // no type, but the resolution is emptied all the same
      {"AB_x_T1_5_e_f_g_h", "0 enabled 0 type 0 res ''"},         // one character: nothing left after the unit
      {"qz48_x_T2_16ps_e_f_g_h", "0 enabled 0 type 1 res '16'"},  // case matters
      {"QZ48_x_T2_16ps_e_f_g_h_i", "2 info enabled 0"}, {"RB9531x_T3_4ps_d_e_f_g", "1 type 2 res '4'"},
      {"RB9531x_ITTR_T_d_e_f_g", "1"}, {"XX9531_T3_4ps_d_e_f_g", "1"}, {"a", "1"}, {"", "1"},
  };
  for (const auto& [stem, decided] : names) EXPECT_EQ(Decided(stem), decided) << stem;

  // The outputs are named after the chosen file's stem.
  TdcFileParser p;
  const std::string s(1, kPathSeparator);
  std::string outputs;
  for (const auto& [dir, input] : {std::pair{"/out", "/data/set.b/run_3.dat"}, {"/out/", "/data/run_3.dat"}}) {
    p.outputDir = dir;
    p.inputPath = input;
    outputs += p.ParsedFilePath() + " " + p.ReportFilePath() + "\n";
  }
  EXPECT_EQ(outputs, "/out" + s + "run_3_parsed.txt /out" + s + "run_3_report.txt\n/out/" + s +
                         "run_3_parsed.txt /out/" + s + "run_3_report.txt\n");
}

TEST(Discovery, SeriesAreOrderedByNumberCutByTheRangeAndOtherNamesAreConvertedAlone) {
  ScratchDir dir;
  std::string run = "0:";
  for (int i = 1; i <= 12; ++i) {
    run += " run_" + std::to_string(i) + ".dat";
    WriteFile(dir / ("run_" + std::to_string(i) + ".dat"), std::string(static_cast<std::size_t>(i * 10), 'x'));
  }
  std::filesystem::create_directory(dir / "set_5.dat");
  std::filesystem::create_directory(dir / "bin");
  // set_9 is empty: skipped, it uses no index. No *.dat beside run_3.bin: no series to match.
  for (const auto& [name, size] :
       {std::pair{"set_1.dat", 4}, {"set_3.dat", 4}, {"set_3b.dat", 4}, {"Set_4.dat", 4}, {"set_6.DAT", 4},
        {"set_7.txt", 4}, {"set_8.data", 4}, {"set_9.dat", 0}, {"set_10.dat", 6}, {"tests1.dat", 4}, {"tests2.dat", 4},
        {"tests3.dat", 4}, {"tests.dat", 4}, {"shot_a.dat", 0}, {"shot_b.dat", 4}, {"abc.dat", 4}, {"abd.dat", 4},
        {"data.bin", 5}, {"a_10.dat", 1}, {"a_9.dat", 1}, {"a_0010.dat", 1}, {"a_.dat", 1}, {"bin/run_3.bin", 4}}) {
    WriteFile(dir / name, std::string(static_cast<std::size_t>(size), 'x'));
  }
  const std::uint64_t big = (5ull << 30) + 12;  // sparse: takes no disk space
  for (const char* name : {"big_1.dat", "big_2.dat"}) {
    WriteFile(dir / name, std::string("x"));
    std::filesystem::resize_file(dir / name, big);
  }
  // The chosen file, the range; the result, standard error, names and total found (a failure keeps the list).
  const std::tuple<std::string, std::int32_t, std::int32_t, std::string> cases[] = {
      {"run_3.dat", 0, 11, run + " = 780"},
      {"run_3.dat", 0, 1, "0: run_1.dat run_2.dat = 30"},  // the range counts in series order
      {"run_3.dat", 10, 20, "0: run_11.dat run_12.dat = 230"}, {"run_3.dat", 5, 4, "0: = 0"},
      // Only regular non-empty *.dat files of the same series join, whatever the case of the extension.
      {"set_3.dat", 0, INT32_MAX, "0: set_1.dat set_3.dat set_6.DAT set_10.dat = 18"},
      {"set_3.dat", 3, 3, "0: set_10.dat = 6"},
      // The letter s starts a series too; without digits after it the number is 0, first in order.
      {"tests3.dat", 0, INT32_MAX, "0: tests.dat tests1.dat tests2.dat tests3.dat = 16"},
      {"tests.dat", 0, INT32_MAX, "0: tests.dat tests1.dat tests2.dat tests3.dat = 16"},
      // Equal numbers (10 and 0010) order by name, so the order is total.
      {"a_9.dat", 0, INT32_MAX, "0: a_.dat a_9.dat a_0010.dat a_10.dat = 4"},
      {"big_1.dat", 0, INT32_MAX, "0: big_1.dat big_2.dat = " + std::to_string(2 * big)},  // past 4 GiB kept whole
      // Other names are converted alone, whatever the range, their size or their extension.
      {"abc.dat", 0, INT32_MAX, "0: abc.dat = 4"}, {"shot_a.dat", 5, 4, "0: shot_a.dat = 0"},
      {"data.bin", 0, INT32_MAX, "0: data.bin = 5"}, {"bin/run_3.bin", 0, INT32_MAX, "0:cannot match the path\n = 0"},
      {"", 0, 9, "-1: keep = 1"}, {"missing_1.dat", 0, 9, "-1: keep = 1"},
  };
  const std::string prefix = dir / "";
  for (const auto& [chosen, first, last, expected] : cases) {
    std::vector<FileEntry> files = {{prefix + "keep", 1}};
    std::uint64_t total = 1;
    testing::internal::CaptureStderr();
    const std::int32_t result = DiscoverFiles(chosen.empty() ? "" : dir / chosen, first, last, files, total);
    std::string found = std::to_string(result) + ":" + testing::internal::GetCapturedStderr();
    for (const FileEntry& f : files) {
      found += " " + (f.path.starts_with(prefix) ? f.path.substr(prefix.size()) : f.path);
      EXPECT_EQ(f.size, result == 0 ? std::filesystem::file_size(f.path) : 1u) << f.path;
    }
    EXPECT_EQ(found + " = " + std::to_string(total), expected) << chosen << " " << first << ":" << last;
  }

  // Left out above: leading zeros both ways, numbers past 64 bits, dots in the key, names of digits alone.
  EXPECT_FALSE(SeriesNumberLess("/d/a_007.dat", "/d/a_7.dat") || SeriesNumberLess("/d/a_7.dat", "/d/a_007.dat"));
  EXPECT_TRUE(SeriesNumberLess("/d/run_4294967296.dat", "/d/run_99999999999999999999999.dat") &&
              !SeriesNumberLess("/d/run_99999999999999999999999.dat", "/d/run_4294967296.dat"));
  EXPECT_TRUE(IsSameSeries("set.b_3.dat", "set.b_4.x") && IsSameSeries("123.dat", "45.dat"));
}

}  // namespace
}  // namespace kestrun::test
