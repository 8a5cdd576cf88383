#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "engine/InputDiscovery.h"
#include "support/TestSupport.h"

namespace kestrun::test {
namespace {

using Names = std::vector<std::string>;

struct Found {
  std::int32_t result = 0;
  std::vector<FileEntry> files;
  std::uint64_t total = 0;
  Names names;
};

Found Discover(const std::string& path, std::int32_t first = 0, std::int32_t last = INT32_MAX) {
  Found f;
  f.result = DiscoverFiles(path, first, last, f.files, f.total);
  for (const FileEntry& e : f.files) f.names.push_back(std::filesystem::path(e.path).filename().string());
  return f;
}

TEST(Discovery, SeriesIsOrderedByNumberAndRangeCountsInThatOrder) {
  ScratchDir dir;
  Names all;
  for (int i = 1; i <= 12; ++i) {
    all.push_back("run_" + std::to_string(i) + ".dat");
    WriteFile(dir / all.back(), std::string(static_cast<std::size_t>(i * 10), 'x'));
  }
  const Found found = Discover(dir / "run_3.dat", 0, 11);
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(found.names, all);
  EXPECT_EQ(found.total, 780u);
  EXPECT_EQ(found.files[0].path, dir / "run_1.dat");
  EXPECT_EQ(found.files[0].size, 10u);

  EXPECT_EQ(Discover(dir / "run_3.dat", 0, 1).names, (Names{"run_1.dat", "run_2.dat"}));
  EXPECT_EQ(Discover(dir / "run_3.dat", 0, 1).total, 30u);
  EXPECT_EQ(Discover(dir / "run_3.dat", 10, 20).names, (Names{"run_11.dat", "run_12.dat"}));
  EXPECT_TRUE(Discover(dir / "run_3.dat", 5, 4).files.empty());
}

TEST(Discovery, OnlyRegularNonEmptyFilesOfTheSameSeriesJoin) {
  ScratchDir dir;
  for (const char* name : {"run_1.dat", "run_3.dat", "run_3b.dat", "Run_4.dat", "run_6.DAT", "run_7.txt", "run_8.data"}) {
    WriteFile(dir / name, std::string("abcd"));
  }
  std::filesystem::create_directory(dir / "run_5.dat");
  WriteFile(dir / "run_9.dat", std::string());  // empty: skipped, uses no index
  WriteFile(dir / "run_10.dat", std::string("abcdef"));
  EXPECT_EQ(Discover(dir / "run_3.dat").names, (Names{"run_1.dat", "run_3.dat", "run_6.DAT", "run_10.dat"}));
  EXPECT_EQ(Discover(dir / "run_3.dat", 3, 3).names, (Names{"run_10.dat"}));
}

TEST(Discovery, LetterSStartsASeriesAndOtherNamesAreConvertedAlone) {
  ScratchDir dir;
  for (const char* name : {"tests1.dat", "tests2.dat", "tests3.dat", "shot_b.dat", "abc.dat", "abd.dat"}) {
    WriteFile(dir / name, std::string("abcd"));
  }
  EXPECT_EQ(Discover(dir / "tests3.dat").names, (Names{"tests1.dat", "tests2.dat", "tests3.dat"}));
  EXPECT_EQ(Discover(dir / "abc.dat").names, (Names{"abc.dat"}));
  // A chosen file of 0 bytes is still listed alone, whatever the range.
  WriteFile(dir / "shot_a.dat", std::string());
  const Found alone = Discover(dir / "shot_a.dat", 5, 4);
  ASSERT_EQ(alone.files.size(), 1u);
  EXPECT_EQ(alone.files[0].path, dir / "shot_a.dat");
  EXPECT_EQ(alone.files[0].size, 0u);
  // Alone, a file of any extension is listed, given that the directory holds some *.dat entry.
  WriteFile(dir / "data.bin", std::string("12345"));
  EXPECT_EQ(Discover(dir / "data.bin").total, 5u);
  // A stem ending in the letter s with no digits after it is a series too: number 0, first in order.
  WriteFile(dir / "tests.dat", std::string("abcd"));
  EXPECT_EQ(Discover(dir / "tests.dat").names, (Names{"tests.dat", "tests1.dat", "tests2.dat", "tests3.dat"}));
}

TEST(Discovery, UnusablePathsLeaveTheListAndDirectoriesWithoutDatFilesListNothing) {
  ScratchDir dir;
  std::vector<FileEntry> kept = {{"keep", 1}};
  std::uint64_t total = 1;
  EXPECT_EQ(DiscoverFiles("", 0, 9, kept, total), -1);
  EXPECT_EQ(DiscoverFiles(dir / "missing_1.dat", 0, 9, kept, total), -1);
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_EQ(total, 1u);

  WriteFile(dir / "run_3.bin", std::string("abcd"));
  testing::internal::CaptureStderr();
  const Found none = Discover(dir / "run_3.bin");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot match the path\n");
  EXPECT_EQ(none.result, 0);
  EXPECT_TRUE(none.files.empty());
}

TEST(Discovery, NumbersCompareByValueWithAnyNumberOfDigits) {
  EXPECT_TRUE(SeriesNumberLess("/d/run_2.dat", "/d/run_10.dat"));
  EXPECT_FALSE(SeriesNumberLess("/d/run_10.dat", "/d/run_2.dat"));
  EXPECT_FALSE(SeriesNumberLess("/d/run_007.dat", "/d/run_7.dat"));
  EXPECT_FALSE(SeriesNumberLess("/d/run_7.dat", "/d/run_007.dat"));
  EXPECT_TRUE(SeriesNumberLess("/d/run_4294967296.dat", "/d/run_99999999999999999999999.dat"));
  EXPECT_TRUE(SeriesNumberLess("/d/run_.dat", "/d/run_1.dat"));  // no digits: number 0
  EXPECT_TRUE(IsSameSeries("run_3.dat", "run_12.dat"));
  EXPECT_TRUE(IsSameSeries("set.b_3.dat", "set.b_4.x"));
  EXPECT_FALSE(IsSameSeries("run_3.dat", "Run_3.dat"));
  EXPECT_FALSE(IsSameSeries("run_3.dat", "run_3b.dat"));
  EXPECT_TRUE(IsSameSeries("123.dat", "45.dat"));  // all digits: both keys empty

  ScratchDir dir;
  for (const char* name : {"a_10.dat", "a_9.dat", "a_0010.dat", "a_.dat"}) WriteFile(dir / name, std::string("x"));
  // Equal numbers (10 and 0010) order by name, so the order is total.
  EXPECT_EQ(Discover(dir / "a_9.dat").names, (Names{"a_.dat", "a_9.dat", "a_0010.dat", "a_10.dat"}));
}

TEST(Discovery, SizesBeyondFourGibibytesAreKeptWhole) {
  ScratchDir dir;
  const std::uint64_t big = (5ull << 30) + 12;  // sparse: takes no disk space
  for (const char* name : {"big_1.dat", "big_2.dat"}) {
    WriteFile(dir / name, std::string("x"));
    std::filesystem::resize_file(dir / name, big);
  }
  const Found found = Discover(dir / "big_1.dat");
  ASSERT_EQ(found.files.size(), 2u);
  EXPECT_EQ(found.files[1].size, big);
  EXPECT_EQ(found.total, 2 * big);
  EXPECT_EQ(MeasureFileSize(dir / "big_2.dat"), static_cast<std::int64_t>(big));
  EXPECT_EQ(MeasureFileSize(dir / "none.dat"), -1);
}

}  // namespace
}  // namespace kestrun::test
