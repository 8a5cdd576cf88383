// Runs through real decoders: what the engine must keep right whatever the decoder.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

Conversion Decoded(const std::string& input, std::int32_t dataType = 2, std::int32_t deviceType = 3) {
  Conversion c;
  c.input = input;
  c.dataType = dataType;
  c.deviceType = deviceType;
  return c;
}

TEST(DecodedRun, EveryRunStartsFromAFreshStateAndTextLargerThanTheBufferReachesTheFileWhole) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(20, 300)));
  std::vector<std::uint8_t> noise = RandomBytes(200'000, 7);
  const std::vector<std::uint8_t> head = BigEndian({0xEB9FB712});  // a T2 head of board 15
  std::copy(head.begin(), head.end(), noise.begin() + 400);
  WriteFile(dir / "noise.dat", noise);

  TdcFileParser parser;
  const Outputs first = Convert(parser, Decoded(dir / "t2.dat"));
  for (std::int32_t type : {2, 3, 1, 4, 5}) {
    for (std::int32_t device : {3, 1}) Convert(parser, Decoded(dir / "noise.dat", type, device));
  }
  const Outputs again = Convert(parser, Decoded(dir / "t2.dat"));
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.parsed, first.parsed);
  EXPECT_EQ(again.report, first.report);

  TdcFileParser cramped;
  cramped.textBufferCapacity = 256;  // every block spills many times
  const Outputs spilled = Convert(cramped, Decoded(dir / "t2.dat"));
  EXPECT_EQ(spilled.status, 0);
  EXPECT_GT(first.parsed.size(), 100'000u);
  EXPECT_TRUE(spilled.parsed == first.parsed);
  EXPECT_EQ(spilled.report, first.report);
  EXPECT_EQ(cramped.parsedBytes, first.parsed.size());
}

TEST(DecodedRun, OverlappedIoGivesTheSameBytesAndCallbacks) {
  ScratchDir dir;
  const std::vector<std::uint8_t> packaged = BigEndian(PackagedT2(400, 1000));  // about 1.6 MB
  std::vector<std::uint8_t> bytes = packaged;
  const std::vector<std::uint8_t> noise = RandomBytes(1'200'000, 11);
  bytes.insert(bytes.end(), noise.begin(), noise.end());  // two blocks and a part
  WriteFile(dir / "mix_1.dat", bytes);
  WriteFile(dir / "mix_2.dat", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1'048'576));  // one block
  for (std::int32_t type : {1, 2, 3, 4}) {
    for (std::int32_t device : {3, 64}) {
      SCOPED_TRACE("type " + std::to_string(type) + " device " + std::to_string(device));
      std::vector<std::string> seen[2];
      Outputs out[2];
      for (int overlap = 0; overlap < 2; ++overlap) {
        TdcFileParser parser;
        parser.overlapIo = overlap == 1;
        parser.textBufferCapacity = 64 * 1024;  // the writer takes many chunks per block
        parser.onProgress = [&](int p) { seen[overlap].push_back("progress " + std::to_string(p)); };
        parser.onMessage = [&](std::string path) { seen[overlap].push_back(path); };
        out[overlap] = Convert(parser, Decoded(dir / "mix_1.dat", type, device));
        EXPECT_EQ(out[overlap].status, 0);
      }
      EXPECT_TRUE(out[1].parsed == out[0].parsed);
      EXPECT_EQ(out[1].report, out[0].report);
      EXPECT_EQ(seen[1], seen[0]);
      EXPECT_EQ(seen[0].size(), 3u + 5u);  // three announcements; 3 blocks, then 1 MiB and the empty block
    }
  }
}

}  // namespace
}  // namespace kestrun::test
