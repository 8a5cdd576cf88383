#include <gtest/gtest.h>

#include "engine/TdcFileParser.h"
#include "tttr/TttrHeader.h"
#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Flags;
using test::Layout;

constexpr Layout kLayouts[] = {Layout::T2Packaged, Layout::T2Plain, Layout::T3Packaged, Layout::T3Plain};

// Flags under which block boundaries must not show: the packaged T3 overflow line names the latest
// event of its own block, so it is left out there.
Flags StreamFlags(Layout layout) { return {.overflow = layout != Layout::T3Packaged, .packetInfo = true}; }

struct OnePass {
  std::string text;
  std::string report;
};

OnePass DecodeWhole(Layout layout, const std::vector<std::uint8_t>& bytes) {
  DecoderState d;
  OnePass r;
  r.text = test::DecodeBytes(d, layout, bytes, StreamFlags(layout));
  r.report = d.BuildTttrReport();
  return r;
}

TEST(TttrStream, HostileBlockSizesGiveTheTextAndReportOfOnePass) {
  for (Layout layout : kLayouts) {
    const auto bytes = test::BigEndian(test::MixedStream(layout, 300));
    const OnePass whole = DecodeWhole(layout, bytes);
    // The stream breaks the sequences, and its packages their lengths.
    ASSERT_NE(whole.report.find("Continuity: No"), std::string::npos);
    if (layout == Layout::T2Packaged || layout == Layout::T3Packaged) {
      ASSERT_NE(whole.report.find("Error 0"), std::string::npos);
    } else {
      ASSERT_NE(whole.text.find("\n12.34123456:;A 123.4598765420  111111.??????\n"), std::string::npos);
    }
    for (std::size_t blockSize : {4u, 8u, 4092u, 1u << 20}) {
      DecoderState d;
      EXPECT_EQ(test::DecodeBytes(d, layout, bytes, StreamFlags(layout), blockSize), whole.text) << blockSize;
      EXPECT_EQ(d.BuildTttrReport(), whole.report) << blockSize;
    }
  }
}

// The run's parsed text: its header, then the text of the stream.
std::string HeaderFor(Layout layout, std::int32_t resolutionPs, const char* device) {
  test::StringSink sink;
  const bool t2 = layout == Layout::T2Packaged || layout == Layout::T2Plain;
  t2 ? WriteT2Header(sink.sink(), resolutionPs, device) : WriteT3Header(sink.sink(), resolutionPs, device);
  return sink.Text();
}

TEST(TttrRun, TwoFilesOfASeriesAreOneStreamCutInsideAPackage) {
  for (Layout layout : kLayouts) {
    const bool packaged = layout == Layout::T2Packaged || layout == Layout::T3Packaged;
    const auto bytes = test::BigEndian(test::MixedStream(layout, 16000));  // more than one 1 MiB block
    ASSERT_GT(bytes.size(), 1u << 20);
    const OnePass whole = DecodeWhole(layout, bytes);
    test::ScratchDir dir;
    const std::size_t cut = 4 * 1001;
    test::WriteFile(dir / "pkg_0.dat", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut));
    test::WriteFile(dir / "pkg_1.dat", std::vector<std::uint8_t>(bytes.begin() + cut, bytes.end()));

    TdcFileParser parser;
    parser.inputPath = dir / "pkg_1.dat";
    parser.outputDir = dir.path().string();
    parser.rangeLast = 10;
    parser.generateParsed = parser.generateReport = true;
    parser.outputOverflow = StreamFlags(layout).overflow;
    parser.outputPacketInfo = true;
    parser.resolutionPs = 4;
    parser.dataType = layout == Layout::T2Packaged || layout == Layout::T2Plain ? 2 : 3;
    parser.deviceType = packaged ? 3 : 64;
    parser.decoderState.generateParsed = true;
    parser.decoderState.outputOverflow = parser.outputOverflow;
    parser.Run();
    EXPECT_EQ(parser.statusCode, 0) << parser.lastMessage;
    EXPECT_EQ(parser.files.size(), 2u);
    EXPECT_EQ(test::ReadFile(dir / "pkg_1_parsed.txt"), HeaderFor(layout, 4, packaged ? "QZ8B48" : "RB9531") + whole.text);
    EXPECT_EQ(test::ReadFile(dir / "pkg_1_report.txt"), whole.report);
  }
}

TEST(TttrCli, EveryTypeDeviceAndFlagConverts) {
  test::ScratchDir dir;
  const std::string input = dir / "capture.dat";
  for (const char* type : {"T2", "T3"}) {
    for (const char* device : {"KR77A5", "RB9531", "QZ48"}) {
      const bool packaged = std::string(device) == "QZ48";
      const bool t2 = std::string(type) == "T2";
      const Layout layout = t2 ? (packaged ? Layout::T2Packaged : Layout::T2Plain)
                               : (packaged ? Layout::T3Packaged : Layout::T3Plain);
      const auto bytes = test::BigEndian(test::MixedStream(layout, 40));
      test::WriteFile(input, bytes);
      for (int flags = 0; flags < 8; ++flags) {
        const Flags f{.overflow = (flags & 2) != 0, .packetInfo = (flags & 4) != 0, .resolutionPs = 8};
        std::string args = std::string("-q -t ") + type + " -d " + device + " -r 8";
        if (flags & 1) args += " --report";
        if (f.overflow) args += " --overflow";
        if (f.packetInfo) args += " --packet-info";
        std::filesystem::remove(dir / "capture_report.txt");
        const test::CommandResult r = test::RunCommand(std::string("'") + KESTRUN_CLI + "' " + args + " '" + input + "'");
        ASSERT_EQ(r.exitCode, 0) << args << "\n" << r.err;
        DecoderState d;
        const std::string text = test::DecodeBytes(d, layout, bytes, f);
        EXPECT_EQ(test::ReadFile(dir / "capture_parsed.txt"),
                  HeaderFor(layout, 8, packaged ? "QZ8B48" : device) + text)
            << args;
        EXPECT_EQ(std::filesystem::exists(dir / "capture_report.txt"), (flags & 1) != 0) << args;
        if (flags & 1) {
          EXPECT_EQ(test::ReadFile(dir / "capture_report.txt"), d.BuildTttrReport()) << args;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kestrun
