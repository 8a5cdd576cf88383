#include <QImage>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <map>

#include "DialogTest.h"
#include "engine/Codes.h"
#include "ui/RunSummary.h"

namespace kestrun::test {
namespace {

// Writes a kestrun-synth series into `dir`; the path of its first file, whose name gives the settings.
std::string Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const CommandResult r = RunCommand("'" + std::string(KESTRUN_BIN_DIR) + "/kestrun-synth' " + arguments + " -o '" +
                                     dir.path().string() + "'");
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

// Chooses `input` and starts a run with a report; `stop` presses Stop at once.
void Convert(Dialog& d, const std::string& input, bool stop = false) {
  d.ChooseInput(input);
  d.Check("IDC_GEN_REPORT")->setChecked(true);
  d.Button("IDC_START")->click();
  if (stop) d.Button("IDC_STOP")->click();
  ASSERT_TRUE(d.WaitForRunEnd());
  ASSERT_NE(d.dlg.summary(), nullptr);
}

QString Stem(const std::string& input) { return Q(input.substr(0, input.rfind('.'))); }

TEST(Summary, SaysHowTheRunEndedWhatItWroteAndTheReportsVerdicts) {
  struct Case {
    std::string synth;
    bool stop;
    QString ending;
    QStringList verdicts;
  };
  const std::string packaged = "-t T2 -d QZ48 -r 8 --size 64K --files 2";
  const QStringList clean = {"Sync pulse sequence continuity: yes", "Package serial continuity: yes",
                             "Package length errors: none"};
  const Case cases[] = {
      {packaged, false, "Finished: 2 of 2", clean},
      {packaged + " --faults serial-gap,length,sync-gap:2", false, "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 2 breaks", "Package serial continuity: no, 1 break",
        "Package length errors: 1 package"}},
      {"-t T3 -d RB9531 -r 8 --size 64K --files 2 --faults sync-gap", false, "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 1 break", "Package length errors: none"}},
      {"-t ITTR_T -d KR77A5 --size 64K --files 2 --faults lead-gap", false, "Finished: 2 of 2",
       {"ITTR errors: 1 error"}},
      {"-t T1 -d QZ48 -r 16 --size 64K", false, "Finished: 1 of 1", {"Histogram head words: 7, tail words: 7"}},
      {"-t T2 -d QZ48 -r 8 --size 3M --files 3", true, "Stopped: 0 of 3", clean},  // stopped before its first block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const std::string input = Synthesize(dir, c.synth);
    Dialog d;
    Convert(d, input, c.stop);
    std::uint64_t bytes = 0;  // all of the series, or none when stopped
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (!c.stop && entry.path().extension() == ".dat") bytes += entry.file_size();
    const QString expected = QString("%1 input files converted\nRead %2 bytes in T s\nOutput files:\n    %3_parsed.txt\n"
                                     "    %3_report.txt\nReport:\n    %4")
                                 .arg(c.ending, QLocale(QLocale::English).toString(static_cast<qulonglong>(bytes)),
                                      Stem(input), c.verdicts.join("\n    "));
    RunSummary* summary = d.dlg.summary();
    QString text = summary->Text();
    text.replace(QRegularExpression(" in [0-9]+\\.[0-9]{2} s\n"), " in T s\n");
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(summary->isVisible());
  }
}

// Per channel, over every board: what the report counted, and what the plots show.
TEST(Summary, PlottedCountsAddUpToTheReportsEventCounts) {
  for (const char* synth :
       {"-t T1 -d QZ48 -r 16 --size 300K", "-t T2 -d QZ48 -r 8 --size 1500K --files 2",
        "-t T2 -d KR77A5 -r 8 --size 300K", "-t T3 -d RB9531 -r 8 --size 1500K --files 2",
        "-t T3 -d QZ48 -r 8 --size 300K --faults sync-gap", "-t ITTR_M -d QZ48 --size 300K --files 2"}) {
    SCOPED_TRACE(synth);
    ScratchDir dir;
    Dialog d;
    Convert(d, Synthesize(dir, synth));
    const DecoderState& s = d.dlg.parser().decoderState;
    std::map<int, std::uint64_t> report, plotted;
    auto add = [&report](const auto& boards) {
      for (const auto& [board, channels] : boards)
        for (const auto& [channel, count] : channels) report[channel] += count;
    };
    switch (d.Combo("IDC_DATA_TYPE")->currentIndex() + 1) {
      case kDataTypeT1:  // the report counts words; the plot shows the histogram's contents
        for (const auto& boards : s.channelGrid)
          for (const auto& status : boards)
            for (std::int32_t i = 0; status && i <= status->lastBin; ++i) report[status->channel] += status->Bin(i);
        break;
      case kDataTypeT2:
      case kDataTypeT3:
        add(s.tttrStatistics.eventCounts);
        break;
      default:
        add(s.ittrStatistics.eventCounts);
    }
    for (const PreviewPlot& plot : d.dlg.summary()->plots()) {
      plotted[plot.channel] += plot.events;
      if (plot.countsPerY <= 0) continue;
      std::uint64_t shown = 0;
      for (const QPointF& p : plot.points) shown += static_cast<std::uint64_t>(std::llround(p.y() * plot.countsPerY));
      EXPECT_EQ(shown, plot.events) << plot.title.toStdString();
    }
    std::erase_if(report, [](const auto& entry) { return entry.second == 0; });
    EXPECT_EQ(plotted, report);
    EXPECT_FALSE(plotted.empty());
  }
}

TEST(Summary, PhotonHdf5BoxNeedsASyncRateForT3AndTheButtonsOpenShowAndSave) {
  ScratchDir dir;
  const std::string input = Synthesize(dir, "-t T3 -d QZ48 -r 8 --size 64K");
  const std::string hdf5 = Stem(input).toStdString() + ".hdf5";
  const QString noRate =
      "Sync Rate Not Specified! Photon-HDF5 of T3 data needs the sync (laser) rate in MHz, such as 40.";
  Dialog d;
  d.ChooseInput(input);
  d.Check("IDC_GEN_REPORT")->setChecked(true);
  d.Check("IDC_EXPORT_HDF5")->setChecked(true);
  EXPECT_TRUE(d.Edit("IDC_SYNC_RATE")->isEnabled());
  for (const char* rate : {"", "0", "-40", "forty", "1e400", "40"}) {
    d.Edit("IDC_SYNC_RATE")->setText(rate);
    d.Button("IDC_START")->click();
    ASSERT_TRUE(d.WaitForRunEnd());
    EXPECT_EQ(Exists(hdf5), QString(rate) == "40") << rate;
  }
  EXPECT_EQ(d.messages, QStringList(5, noRate));
  EXPECT_EQ(d.dlg.parser().hdf5.syncRateHz, 40e6);
  RunSummary* summary = d.dlg.summary();
  ASSERT_NE(summary, nullptr);
  EXPECT_TRUE(summary->Text().contains("    " + Q(hdf5) + "\n"));
  QUrl opened;
  summary->openUrl = [&opened](const QUrl& url) { opened = url; };
  summary->findChild<QPushButton*>("openFolder")->click();
  EXPECT_EQ(opened, QUrl::fromLocalFile(Q(dir.path().string())));
  summary->findChild<QPushButton*>("showReport")->click();
  auto* report = summary->findChild<QPlainTextEdit*>("reportView");
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->toPlainText(), Q(ReadFile((Stem(input) + "_report.txt").toStdString())));
  summary->choosePngPath = [&dir] { return Q(dir / "chart.png"); };
  summary->findChild<QPushButton*>("savePng")->click();
  EXPECT_FALSE(QImage(Q(dir / "chart.png")).isNull());
  EXPECT_EQ(summary->plots().front().title, "Channel 0: decay");
  EXPECT_TRUE(summary->plots().front().logY);
  // A run without a report has none to show.
  d.Check("IDC_GEN_REPORT")->setChecked(false);
  d.Button("IDC_START")->click();
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_FALSE(d.dlg.summary()->findChild<QPushButton*>("showReport")->isEnabled());
  // Only T3 asks for the rate.
  d.Combo("IDC_DATA_TYPE")->setCurrentIndex(1);
  EXPECT_FALSE(d.Edit("IDC_SYNC_RATE")->isEnabled());
}

}  // namespace
}  // namespace kestrun::test
