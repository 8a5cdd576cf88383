#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "engine/InputDiscovery.h"
#include "support/TestSupport.h"

namespace kestrun::test {
namespace {

using Names = std::vector<std::string>;

TEST(Discovery, SeriesAreOrderedByNumberCutByTheRangeAndOtherNamesAreConvertedAlone) {
  ScratchDir dir;
  Names run;
  for (int i = 1; i <= 12; ++i) {
    run.push_back("run_" + std::to_string(i) + ".dat");
    WriteFile(dir / run.back(), std::string(static_cast<std::size_t>(i * 10), 'x'));
  }
  for (const char* name : {"set_1.dat", "set_3.dat", "set_3b.dat", "Set_4.dat", "set_6.DAT", "set_7.txt", "set_8.data",
                           "tests1.dat", "tests2.dat", "tests3.dat", "tests.dat", "shot_b.dat", "abc.dat", "abd.dat"}) {
    WriteFile(dir / name, std::string("abcd"));
  }
  std::filesystem::create_directory(dir / "set_5.dat");
  // set_9 is empty: skipped, it uses no index.
  for (const auto& [name, size] : {std::pair{"set_9.dat", 0}, {"set_10.dat", 6}, {"shot_a.dat", 0}, {"data.bin", 5},
                                   {"a_10.dat", 1}, {"a_9.dat", 1}, {"a_0010.dat", 1}, {"a_.dat", 1}}) {
    WriteFile(dir / name, std::string(static_cast<std::size_t>(size), 'x'));
  }
  const std::uint64_t big = (5ull << 30) + 12;  // sparse: takes no disk space
  for (const char* name : {"big_1.dat", "big_2.dat"}) {
    WriteFile(dir / name, std::string("x"));
    std::filesystem::resize_file(dir / name, big);
  }
  struct Case {
    std::string chosen;  // in the directory; "" for the empty path
    std::int32_t first, last;
    Names names;  // a failure keeps the list it was given: "keep"
    std::uint64_t total;
    std::int32_t result = 0;
  };
  const Case cases[] = {
      {"run_3.dat", 0, 11, run, 780},
      {"run_3.dat", 0, 1, {"run_1.dat", "run_2.dat"}, 30},  // the range counts in series order
      {"run_3.dat", 10, 20, {"run_11.dat", "run_12.dat"}, 230},
      {"run_3.dat", 5, 4, {}, 0},
      // Only regular non-empty *.dat files of the same series join, whatever the case of the extension.
      {"set_3.dat", 0, INT32_MAX, {"set_1.dat", "set_3.dat", "set_6.DAT", "set_10.dat"}, 18},
      {"set_3.dat", 3, 3, {"set_10.dat"}, 6},
      // The letter s starts a series too; without digits after it the number is 0, first in order.
      {"tests3.dat", 0, INT32_MAX, {"tests.dat", "tests1.dat", "tests2.dat", "tests3.dat"}, 16},
      {"tests.dat", 0, INT32_MAX, {"tests.dat", "tests1.dat", "tests2.dat", "tests3.dat"}, 16},
      // Equal numbers (10 and 0010) order by name, so the order is total.
      {"a_9.dat", 0, INT32_MAX, {"a_.dat", "a_9.dat", "a_0010.dat", "a_10.dat"}, 4},
      {"big_1.dat", 0, INT32_MAX, {"big_1.dat", "big_2.dat"}, 2 * big},  // sizes beyond 4 GiB are kept whole
      // Other names are converted alone, whatever the range, their size or their extension.
      {"abc.dat", 0, INT32_MAX, {"abc.dat"}, 4},
      {"shot_a.dat", 5, 4, {"shot_a.dat"}, 0},
      {"data.bin", 0, INT32_MAX, {"data.bin"}, 5},
      {"", 0, 9, {"keep"}, 1, -1},
      {"missing_1.dat", 0, 9, {"keep"}, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen + " " + std::to_string(c.first) + ":" + std::to_string(c.last));
    std::vector<FileEntry> files = {{dir / "keep", 1}};
    std::uint64_t total = 1;
    EXPECT_EQ(DiscoverFiles(c.chosen.empty() ? "" : dir / c.chosen, c.first, c.last, files, total), c.result);
    Names names;
    for (const FileEntry& f : files) {
      names.push_back(std::filesystem::path(f.path).filename().string());
      EXPECT_EQ(f.path, dir / names.back());
      EXPECT_EQ(f.size, c.result == 0 ? std::filesystem::file_size(f.path) : 1u);  // the kept entry has size 1
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(total, c.total);
  }

  // A directory without *.dat files lists nothing.
  std::filesystem::create_directory(dir / "bin");
  WriteFile(dir / "bin/run_3.bin", std::string("abcd"));
  std::vector<FileEntry> files;
  std::uint64_t total = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(DiscoverFiles(dir / "bin/run_3.bin", 0, INT32_MAX, files, total), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot match the path\n");
  EXPECT_TRUE(files.empty());
}

// What the series above leave out: leading zeros both ways, numbers past 64 bits, dots in the key, names of
// digits alone.
TEST(Discovery, NumbersCompareByValueWithAnyNumberOfDigits) {
  EXPECT_FALSE(SeriesNumberLess("/d/run_007.dat", "/d/run_7.dat"));
  EXPECT_FALSE(SeriesNumberLess("/d/run_7.dat", "/d/run_007.dat"));
  EXPECT_TRUE(SeriesNumberLess("/d/run_4294967296.dat", "/d/run_99999999999999999999999.dat"));
  EXPECT_FALSE(SeriesNumberLess("/d/run_99999999999999999999999.dat", "/d/run_4294967296.dat"));
  EXPECT_TRUE(IsSameSeries("set.b_3.dat", "set.b_4.x"));
  EXPECT_TRUE(IsSameSeries("123.dat", "45.dat"));  // all digits: both keys empty
}

}  // namespace
}  // namespace kestrun::test
