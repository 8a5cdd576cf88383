// Number writers, the text area they fill, and error lists that bound memory however damaged the data: on disk.
#include <gtest/gtest.h>

#ifndef _WIN32  // POSIX only: fork and resource limits
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif  // _WIN32

#include <climits>
#include <random>
#include <utility>

#include "engine/DecoderState.h"
#include "engine/Digits.h"
#include "engine/ScratchDigits.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

// v by both decimal writers between sentinel bytes: its digits, or "overrun" when a byte before them changed, or
// one after them (more than 7 after them for the scratch writer).
std::string Written(std::uint64_t v) {
  std::string texts[2];
  for (int scratch = 0; scratch < 2; ++scratch) {
    std::string area(40, '#');
    char* const end = scratch ? scratch_digits::WriteDecimal(&area[8], v) : WriteU64(&area[8], v);
    texts[scratch].assign(&area[8], end);
    if (area.erase(8, texts[scratch].size() + (scratch ? 7 : 0)).find_first_not_of('#') != std::string::npos) {
      return "overrun";
    }
  }
  char u32[16];  // and by the 32-bit writer where it can
  const std::string small = v > UINT32_MAX ? texts[0] : std::string(u32, WriteU32(u32, static_cast<std::uint32_t>(v)));
  return texts[0] == texts[1] && texts[0] == small ? texts[0] : texts[0] + " " + texts[1] + " " + small;
}

TEST(Digits, PlainDecimalForEveryLengthSignedAndHexWritersAndTheAreaTheyFill) {
  std::mt19937_64 random(7);
  for (std::uint64_t v = 0; v < 200000; ++v) {  // every value of up to six digits, and random ones of any length
    const std::uint64_t r = random() >> (random() % 64);
    ASSERT_EQ(Written(v) + " " + Written(r), std::to_string(v) + " " + std::to_string(r));
  }
  for (std::uint64_t i = 0, power = 1; i < 20; ++i, power *= 10) {
    for (std::uint64_t v : {power - 1, power, power + 1}) ASSERT_EQ(Written(v), std::to_string(v));
  }
  EXPECT_EQ(Written(UINT64_MAX), "18446744073709551615");
  char text[80];  // each writer goes on where the one before ended
  char* q = WriteI64(WriteI32(WriteI32(text, INT32_MIN), -1), INT64_MIN);
  q = WriteLiteral(WriteHex32(WriteHex32(q, 0), 0xEB90B0CAu), "Event\t");
  EXPECT_EQ(std::string(text, q), "-2147483648-1-92233720368547758080eb90b0caEvent\t");

  // The area they fill (whose spills in order the decoders' texts through small areas show) refuses more than
  // itself, and without a consumer any spill.
  test::StringSink collected(8);
  EXPECT_TRUE(!collected.sink().Reserve(9) && collected.sink().Failed());
  TextSink absent;
  EXPECT_TRUE(absent.Reserve(0) && !absent.Reserve(1));
}

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
  EXPECT_TRUE(Text(copy) == expected && Text(moved) == expected && log.Empty());  // too long to print
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
    EXPECT_EQ(Text(d.tttrStatistics.syncErrors, &why) + std::to_string(d.tttrStatistics.syncErrors.Count()),
              (report ? "(failed)" : "") + std::to_string(ff.size() / 4));
    EXPECT_EQ(d.WriteReportText(2, [](const char*, std::size_t) { return true; }, &reportWhy), !report);
    EXPECT_EQ(why + "|" + reportWhy, report ? failure + "|" + failure : "|");
  }
}

#ifndef _WIN32  // POSIX only: fork and resource limits
// A child decodes 16 MiB of each content and streams its report away (else status 1); its peak memory above
// what it started with, its parent's pages, must stay under 100 MiB (else 2; every error in memory took 1 GB).
TEST(MemoryBound, DamagedDataKeepTheirErrorsOnDisk) {
  test::ScratchDir dir;
  // Packaged T3 after its head: a package of the wrong serial and length, then a storage serial.
  const std::uint32_t packaged[] = {0xC0000C05, 0xC8000000, 0xEB90B0CA, 0xFFFFFFFF};
  for (const auto& [type, content] : {std::pair{2, 0}, {3, 2}, {4, 0}, {4, 1}}) {  // 0xFF, random, packaged
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      rusage start{}, end{};
      getrusage(RUSAGE_SELF, &start);
      DecoderState d;
      d.errorTexts.directory = dir.path().string();
      TextSink none;
      for (int i = 0; i < 16; ++i) {
        std::vector<std::uint32_t> words(1 << 18, 0xFFFFFFFF);
        for (std::size_t k = 0; content == 2 && k < words.size(); ++k) words[k] = packaged[k % 4];
        if (content == 2 && i == 0) words[0] = 0xEB90B713;  // the head
        const auto block = content == 1 ? test::RandomBytes(1 << 20, i) : test::BigEndian(words);
        const auto n = static_cast<std::int32_t>(block.size());
        if (type == 4) d.DecodeIttr(block.data(), n, none);
        if (type == 2) d.DecodeT2(block.data(), n, none, 16);
        if (type == 3) d.DecodeT3Device3(block.data(), n, none, 16, false);
      }
      std::uint64_t written = 0;
      const bool ok = d.WriteReportText(type, [&](const char*, std::size_t n) { return written += n, true; });
      getrusage(RUSAGE_SELF, &end);
      _exit(!ok || written <= (16u << 20) ? 1 : end.ru_maxrss - start.ru_maxrss >= 100 * 1024 ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << type << " " << content << ": " << status;
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace kestrun
