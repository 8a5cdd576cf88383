// The records of a run against the parsed text of the same run: one classification of every word.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "engine/EngineTesting.h"

namespace kestrun::test {
namespace {

struct Collector : RecordSink {
  std::vector<std::uint64_t> wide;  // time, sync or serialSynced
  std::vector<std::uint32_t> dtime, channel, serial, intensity, board, markerMask;
  std::vector<std::uint64_t> markerPosition;
  std::map<std::pair<int, int>, std::vector<std::uint64_t>> histograms;
  RecordTotals totals;
  int takes = 0, finishes = 0, refuseFrom = -1;

  bool Take(const RecordChunk& c) override {
    EXPECT_LE(c.channel.size(), kRecordChunkRows);
    for (auto s : {c.time, c.sync, c.serialSynced}) wide.insert(wide.end(), s.begin(), s.end());
    dtime.insert(dtime.end(), c.dtime.begin(), c.dtime.end());
    channel.insert(channel.end(), c.channel.begin(), c.channel.end());
    serial.insert(serial.end(), c.serial.begin(), c.serial.end());
    intensity.insert(intensity.end(), c.intensity.begin(), c.intensity.end());
    board.insert(board.end(), c.board.begin(), c.board.end());
    markerPosition.insert(markerPosition.end(), c.markerPosition.begin(), c.markerPosition.end());
    markerMask.insert(markerMask.end(), c.markerMask.begin(), c.markerMask.end());
    return refuseFrom < 0 || ++takes < refuseFrom;
  }
  bool TakeHistogram(const HistogramPiece& p) override {
    auto& bins = histograms[{p.board, p.channel}];
    EXPECT_EQ(p.firstBin, bins.size());
    bins.insert(bins.end(), p.bins.begin(), p.bins.end());
    return true;
  }
  bool Finish(const RecordTotals& t) override {
    totals = t;
    ++finishes;
    return true;
  }
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream in(line);
  for (std::string s; std::getline(in, s, '\t');) f.push_back(s);
  return f;
}
std::uint64_t N(const std::string& s) { return std::stoull(s, nullptr, 0); }

// Reads the parsed text back into the columns the records should hold.
Collector FromText(const std::string& text, std::int32_t type, std::uint64_t resolution) {
  Collector x;
  std::uint64_t wraps = 0, overflow = 0, boardOfMode = 0, events = 0;
  std::vector<std::uint64_t> lead;
  std::vector<std::uint64_t>* histogram = nullptr;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = Fields(line);
    const std::string& k = f.empty() ? line : f[0];
    auto event = [&](std::uint64_t wide, std::uint64_t ch) {
      x.wide.push_back(wide);
      x.channel.push_back(static_cast<std::uint32_t>(ch));
      ++events;
    };
    auto marker = [&](const std::string& mask) {
      x.markerPosition.push_back(events);
      x.markerMask.push_back(static_cast<std::uint32_t>(N(mask)));
    };
    auto sync = [&](std::uint64_t value) {
      if (overflow == 1023 && value == 0) ++wraps;
      overflow = value;
    };
    if (type == 1) {
      if (line.starts_with("Board ")) histogram = &x.histograms[{line[6] - 'A', std::stoi(line.substr(17))}];
      if (f.size() == 2 && histogram && k != "Time(ps)") histogram->push_back(N(f[1]));
    } else if (type >= 4) {
      if (line.starts_with("Mode: ")) boardOfMode = (N(line.substr(6, 10)) >> 16) & 15;
      if (f.size() == 5 && f[0].find_first_not_of("0123456789") == std::string::npos) {
        lead = {N(f[1]), N(f[2]), N(f[3])};
        x.intensity.push_back(static_cast<std::uint32_t>(N(f[4])));
      } else if (f.size() == 1 && !k.empty() && k.find_first_not_of("0123456789") == std::string::npos) {
        x.intensity.push_back(static_cast<std::uint32_t>(N(k)));
      } else {
        continue;
      }
      event(lead[1], lead[0]);
      x.serial.push_back(static_cast<std::uint32_t>(lead[2]));
      x.board.push_back(static_cast<std::uint32_t>(boardOfMode));
    } else if (k == "Event" && f.size() == 4) {  // packaged T2: channel, bins, ps
      EXPECT_EQ(N(f[3]) % resolution, 0u);
      event(N(f[3]) / resolution, N(f[1]));
    } else if (k == "Event" && f.size() == 5) {  // T3: channel, bins, sequence, ps
      event(((wraps * 1024 + overflow) << 10) + N(f[3]), N(f[1]));
      x.dtime.push_back(static_cast<std::uint32_t>(N(f[2])));
    } else if (k == "0" && f.size() == 3) {  // plain T2 event
      event(N(f[2]) / resolution, N(f[1]));
    } else if (k.starts_with("Marker")) {
      marker(f.size() == 2 ? f[1] : f[2]);
    } else if (k == "1" && f.size() == 3 && f[1] != "63") {
      marker(f[1]);
    } else if (k.starts_with("Event Seq Overflow") || k == "Overflow") {
      sync(N(f.back()));
    }
  }
  return x;
}

TEST(Records, EveryRecordIsTheLineOfTheSameWordAcrossFilesBlocksAndChunks) {
  for (const SynthCase& c : kSynthCases) {
    SCOPED_TRACE(c.args);
    ScratchDir dir;
    Synth(dir, c.args + " --size 2600K --files 3 --seed 5", "run");
    const Conversion conversion = Of(dir / "run_2.dat", c);
    TdcFileParser parser;
    Collector got;
    parser.recordSink = &got;
    const Outputs out = Convert(parser, conversion);
    ASSERT_EQ(out.status, 0);
    EXPECT_EQ(Convert(conversion).parsed, out.parsed);  // records change no byte of the text

    const Collector want = FromText(out.parsed, c.type, 8);
    EXPECT_EQ(got.finishes, 1);
    EXPECT_EQ(got.totals.events, got.channel.size());
    EXPECT_EQ(got.totals.markers, got.markerMask.size());
    std::uint64_t back = 0;  // ITTR: an overflow marker's value moves no synced serial, so they fall back
    for (std::size_t i = 1; i < want.wide.size(); ++i) back += want.wide[i] < want.wide[i - 1];
    EXPECT_EQ(got.totals.timeDecreases, back);
    EXPECT_EQ(back > 0, c.type >= 4);
    EXPECT_TRUE(got.wide == want.wide);
    EXPECT_TRUE(got.channel == want.channel);
    EXPECT_TRUE(got.dtime == want.dtime);
    EXPECT_TRUE(got.serial == want.serial && got.intensity == want.intensity && got.board == want.board);
    EXPECT_TRUE(got.markerPosition == want.markerPosition && got.markerMask == want.markerMask);
    if (c.type == 1) {
      // The text shows the bins before the last counted one, of channels whose maximum is past bin 0.
      ASSERT_FALSE(want.histograms.empty());
      for (const auto& [key, bins] : want.histograms) {
        ASSERT_EQ(got.histograms[key].size(), bins.size() + 1);
        EXPECT_TRUE(std::equal(bins.begin(), bins.end(), got.histograms[key].begin()));
      }
    } else {
      EXPECT_GT(got.channel.size(), kRecordChunkRows);  // chunks are handed over full, too
    }
  }
}

TEST(Records, TimesThatGoBackAreCountedAndARefusedChunkFailsTheRunButNotItsText) {
  ScratchDir dir;
  // Plain T2: bins 100, then 50 (back), a sync overflow, bins 10 (forward), a marker, bins 9 (back).
  WriteFile(dir / "a.dat", BigEndian({0x02000064, 0x04000032, 0xFE000001, 0x0200000A, 0x86000000, 0x02000009}));
  const Conversion c(dir / "a.dat", 2, 1);
  for (int refuse : {-1, 1}) {
    TdcFileParser parser;
    Collector got;
    got.refuseFrom = refuse;
    parser.recordSink = &got;
    const Outputs out = Convert(parser, c);
    EXPECT_EQ(out.parsed, Convert(c).parsed);
    if (refuse > 0) {
      EXPECT_EQ(out.status, 7);
      EXPECT_EQ(out.message, "Record Output Error!");
      EXPECT_EQ(got.finishes, 0);
      continue;
    }
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(got.wide, (std::vector<std::uint64_t>{100, 50, (1u << 25) + 10, (1u << 25) + 9}));
    EXPECT_EQ(got.channel, (std::vector<std::uint32_t>{1, 2, 1, 1}));
    EXPECT_EQ(got.markerPosition, std::vector<std::uint64_t>{3});
    EXPECT_EQ(got.markerMask, std::vector<std::uint32_t>{3});
    EXPECT_EQ(got.totals.timeDecreases, 2u);
  }
}

}  // namespace
}  // namespace kestrun::test
