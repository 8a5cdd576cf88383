#include <gtest/gtest.h>

#include "support/Conversion.h"
#include "tttr/TttrHeader.h"
#include "tttr/TttrTesting.h"

namespace kestrun::test {
namespace {

// Every layout, every state open at some block boundary: hostile block sizes give the bytes of one pass. And
// kestrun-cli held to the decoders' bytes: every device and flag over two files cut inside a package.
TEST(TttrStream, BlockSizesAndSeriesFilesGiveTheBytesOfOnePass) {
  ScratchDir dir;
  for (Layout layout : kLayouts) {
    SCOPED_TRACE(static_cast<int>(layout));
    // The packaged T3 overflow line names the latest event of its own block, so it is left out there.
    const Flags flags{.overflow = layout != Layout::T3Packaged, .packetInfo = true};
    const auto bytes = BigEndian(MixedStream(layout, 300));
    DecoderState one;
    const std::string text = DecodeBytes(one, layout, bytes, flags), report = one.BuildTttrReport();
    // The stream breaks the sequences, its packages their lengths, and its plain information texts decode.
    ASSERT_NE(report.find("Continuity: No"), std::string::npos);
    ASSERT_NE(IsPackaged(layout) ? report.find("Error 0") : text.find("\n" + w::kInfoLine), std::string::npos);
    for (std::size_t blockSize : {4u, 8u, 4092u, 1u << 20}) {
      DecoderState d;
      EXPECT_EQ(DecodeBytes(d, layout, bytes, flags, blockSize), text) << blockSize;
      EXPECT_EQ(d.BuildTttrReport(), report) << blockSize;
    }

    const std::vector<u32> words = MixedStream(layout, 40);
    std::size_t at = words.size() * 5 / 8;  // past the middle; packaged: after a head-like word, in a package
    while (IsPackaged(layout) && words[at - 1] >> 26 != 0x30) ++at;
    const auto series = BigEndian(words);
    const auto cut = series.begin() + static_cast<std::ptrdiff_t>(at * 4);
    WriteFile(dir / "pkg_0.dat", std::vector<std::uint8_t>(series.begin(), cut));
    WriteFile(dir / "pkg_1.dat", std::vector<std::uint8_t>(cut, series.end()));
    for (const std::int32_t device : IsPackaged(layout) ? std::vector{3} : std::vector{1, 64}) {
      StringSink header;
      const char* const name = device == 3 ? "QZ8B48" : device == 1 ? "KR77A5" : "RB9531";
      IsT2(layout) ? WriteT2Header(header.sink(), 8, name) : WriteT3Header(header.sink(), 8, name);
      for (int cliFlags = 0; cliFlags < 8; ++cliFlags) {
        Conversion c(dir / "pkg_1.dat", IsT2(layout) ? 2 : 3, device);
        c.resolutionPs = 8;
        c.report = (cliFlags & 1) != 0;
        c.overflow = (cliFlags & 2) != 0;
        c.packetInfo = (cliFlags & 4) != 0;
        std::filesystem::remove(dir / "pkg_1_report.txt");
        const CommandResult r = Cli("-q " + CliArguments(c));
        ASSERT_EQ(r.exitCode, 0) << CliArguments(c) << "\n" << r.err;
        DecoderState d;
        const Flags f{.overflow = c.overflow, .packetInfo = c.packetInfo, .resolutionPs = 8};
        const std::string text = header.Text() + DecodeBytes(d, layout, series, f, at * 4);
        EXPECT_EQ(ReadFile(dir / "pkg_1_parsed.txt"), text) << cliFlags;
        EXPECT_EQ(std::filesystem::exists(dir / "pkg_1_report.txt"), c.report) << cliFlags;
        EXPECT_EQ(LfText(ReadFile(dir / "pkg_1_report.txt")), c.report ? d.BuildTttrReport() : "") << cliFlags;
      }
    }
  }
}

}  // namespace
}  // namespace kestrun::test
