// Memory stays bounded by the tool, however much damage the data hold: the error lists go to disk.
#include <gtest/gtest.h>

#ifndef _WIN32  // POSIX only: fork and resource limits
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif  // _WIN32

#include <fstream>
#include <random>

#include "engine/DecoderState.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

std::string Text(const TextLog& log, std::string* failure = nullptr) {
  std::string text;
  const bool written = log.WriteTo([&](const char* p, std::size_t n) { return text.append(p, n), true; }, failure);
  return written ? text : "(failed)";
}

TEST(TextLog, KeepsEveryByteAcrossTheSpillAndFailsWithItsMessage) {
  test::ScratchDir dir;
  TextLog log;
  std::string expected;
  for (int i = 0; expected.size() < 3 * TextLog::kMemoryBytes; ++i) {
    const std::string entry = i == 5000 ? std::string(TextLog::kMemoryBytes + 3, 'x') : std::to_string(i) + "\n";
    log.Append(entry, {dir.path().string()});
    expected += entry;
  }
  TextLog copy = log, moved = std::move(log);
  EXPECT_EQ(Text(copy), expected);
  EXPECT_EQ(Text(moved), expected);
  EXPECT_TRUE(log.Empty());
#ifdef _WIN32
  // Windows: the spills have names until the last handle of each goes, also in a crash.
  copy.Clear();
  moved.Clear();
#endif
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // the spills have no names

  // Nowhere to spill: the text is dropped, the count goes on, and a report is refused with the reason. A run
  // without a report only counts: no text, no temporary file, nothing to fail.
  const std::string missing = dir / "missing", failure = "Could Not Write Temporary File: " + missing;
  const std::vector<std::uint8_t> ff(1 << 20, 0xFF);  // a sync overflow break in every word
  for (bool report : {true, false}) {
    DecoderState d;
    d.errorTexts = {missing, report};
    TextSink none;
    d.DecodeT2(ff.data(), static_cast<std::int32_t>(ff.size()), none, 16);
    std::string why, reportWhy;
    EXPECT_EQ(Text(d.tttrStatistics.syncErrors, &why), report ? "(failed)" : "");
    EXPECT_EQ(d.tttrStatistics.syncErrors.Count(), ff.size() / 4);
    EXPECT_EQ(d.WriteReportText(2, [](const char*, std::size_t) { return true; }, &reportWhy), !report);
    EXPECT_EQ(why + "|" + reportWhy, report ? failure + "|" + failure : "|");
  }
}

#ifndef _WIN32  // POSIX only: fork and resource limits
long ResidentKiB() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A child decodes 16 MiB of each content and streams its report away; its peak memory above what it
// started with must stay under 100 MiB (keeping every error in memory took about 1 GB).
TEST(MemoryBound, DamagedDataKeepTheirErrorsOnDisk) {
  test::ScratchDir dir;
  // Packaged T3 after its head: a package of the wrong serial and length, then a storage serial.
  const std::vector<std::uint32_t> packaged = {0xC0000C05, 0xC8000000, 0xEB90B0CA, 0xFFFFFFFF};
  const struct {
    std::int32_t type;
    int content;  // 0: 0xFF bytes, 1: random bytes, 2: the packaged words
  } cases[] = {{2, 0}, {3, 2}, {4, 0}, {4, 1}};
  for (const auto& c : cases) {
    const long before = ResidentKiB();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      DecoderState d;
      d.errorTexts.directory = dir.path().string();
      TextSink none;
      std::mt19937 random(1);
      std::vector<std::uint8_t> block(1 << 20);
      for (int i = 0; i < 16; ++i) {
        for (std::size_t at = 0; at < block.size(); at += 4) {
          const std::uint32_t w = c.content == 0 ? 0xFFFFFFFF : c.content == 1 ? random() : packaged[at / 4 % 4];
          for (int k = 0; k < 4; ++k) block[at + k] = static_cast<std::uint8_t>(w >> (24 - 8 * k));
        }
        if (i == 0 && c.content == 2) block[0] = 0xEB, block[1] = 0x90, block[2] = 0xB7, block[3] = 0x13;
        const auto n = static_cast<std::int32_t>(block.size());
        if (c.type == 4) d.DecodeIttr(block.data(), n, none);
        if (c.type == 2) d.DecodeT2(block.data(), n, none, 16);
        if (c.type == 3) d.DecodeT3Device3(block.data(), n, none, 16, false);
      }
      std::uint64_t written = 0;
      const bool ok = d.WriteReportText(c.type, [&](const char*, std::size_t n) { return written += n, true; });
      _exit(ok && written > (16u << 20) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_EQ(status, 0) << c.type << " " << c.content;
    EXPECT_LT(usage.ru_maxrss - before, 100 * 1024) << c.type << " " << c.content;
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace kestrun
