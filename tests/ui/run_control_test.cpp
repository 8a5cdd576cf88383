// Runs from the dialog: checks at Start, progress, Stop and closing, failures, and the summary window after.
#include <QCoreApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <cmath>
#include <filesystem>
#include <map>
#include <tuple>

#include "DialogTest.h"
#include "engine/Codes.h"
#include "ui/RunSummary.h"

namespace kestrun::test {
namespace {

// A dialog set up for a valid run: T2, 16 ps, report on, paths from the chosen file.
struct RunDialog : Dialog {
  explicit RunDialog(const std::string& input) {
    ChooseInput(input);
    Set({{"IDC_DATA_TYPE", "T2"}, {"IDC_RESOLUTION", "16"}, {"IDC_GEN_REPORT", true}});
  }
};

std::string WriteSeries(const ScratchDir& dir) {
  for (int i = 1; i <= 3; ++i) WriteFile(dir / ("run_" + std::to_string(i) + ".dat"), BigEndian({0x00000001u}));
  return dir / "run_1.dat";
}

// One message per press of Start, in order, changing neither the parser nor the progress display.
TEST(RunControl, ValidationMessagesInOrderOneAtATimeAndProgress) {
  ScratchDir dir;
  Dialog d;
  d.Button("IDC_START")->click();
  d.Set({{"IDC_INPUT_FILE", "in.dat"}});
  d.Button("IDC_START")->click();
  d.Set({{"IDC_OUTPUT_DIR", Q(dir.path().string())}, {"IDC_GEN_PARSED_FILE", false}, {"IDC_OUTPUT_OVERFLOW", true},
         {"IDC_OUTPUT_PACKET_INFO", true}});
  d.Button("IDC_START")->click();
  d.Set({{"IDC_GEN_REPORT", true}, {"IDC_DATA_TYPE", "T3"}});
  for (const char* resolution : {"abc", "0", "", "-5", " x25"}) {
    d.Set({{"IDC_RESOLUTION", resolution}});
    d.Button("IDC_START")->click();
  }
  EXPECT_EQ(d.Ending(), "0% 0 start | Invalid Input File Path! | Invalid Output Directory Path! | "
                        "Please Select \"Gen Parsed File\" or \"Gen Report\"!" +
                            QString(" | Resolution Not Specified!").repeated(5));
  EXPECT_TRUE(d.dlg.parser().inputPath.empty());
  EXPECT_FALSE(d.dlg.IsRunning());
  d.messages.clear();
  for (int p : {42, 150, 100, 7}) {
    emit d.dlg.parseProgress(p);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.Ending(), QString("%1% %2 start").arg(p).arg(std::min(p, 100)));
  }
}

// Numbers are leading integers; empty range fields are 0; ITTR needs no resolution; a second run, same parser.
TEST(RunControl, RunsOnASmallFileReachHundredAndWriteBothFiles) {
  ScratchDir dir;
  WriteFile(dir / "one.dat", BigEndian({0x00000001u, 0x00000002u}));
  RunDialog d(dir / "one.dat");
  d.Set({{"IDC_OUTPUT_OVERFLOW", true}, {"IDC_RESOLUTION", " 25ps"}, {"IDC_RANGE_FROM", ""}, {"IDC_RANGE_TO", ""}});
  d.Button("IDC_START")->click();
  EXPECT_EQ(d.Ending(), "0% 0 no start");
  const TdcFileParser& p = d.dlg.parser();
  EXPECT_EQ(std::tuple(p.inputPath, p.outputDir, p.generateParsed, p.generateReport, p.outputOverflow,
                       p.outputPacketInfo, p.resolutionPs, p.rangeFirst, p.rangeLast),
            std::tuple(dir / "one.dat", dir.path().string() + "/", true, true, true, false, 25, 0, 0));
  ASSERT_TRUE(d.WaitForRunEnd());
  // Data type -1: the run went through its end.
  EXPECT_EQ(std::tuple(d.Ending(), Exists(dir / "one_parsed.txt") && Exists(dir / "one_report.txt"), p.statusCode,
                       p.dataType),
            std::tuple("100% 100 start", true, 0, -1));
  d.Set({{"IDC_DATA_TYPE", "ITTR_T"}, {"IDC_RESOLUTION", ""}, {"IDC_RANGE_TO", "7"}});
  d.Button("IDC_START")->click();
  EXPECT_EQ(std::tuple(d.dlg.IsRunning(), p.resolutionPs, p.rangeLast), std::tuple(true, 0, 7));
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_EQ(d.Ending(), "100% 100 start");
}

// The input field shows each file in turn without a refresh of the form: the user's choices survive the run.
// Stop during a run ends it after the current block.
TEST(RunControl, InputFieldShowsEachFileInTurnAndStopEndsTheRunAfterTheBlock) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stop" : "whole run");
    ScratchDir dir;
    RunDialog d(WriteSeries(dir));
    d.Set({{"IDC_DEVICE_TYPE", "KR77A5"}, {"IDC_OUTPUT_DIR", Q(dir.path().string())}});
    QStringList shown;
    QObject::connect(d.Edit("IDC_INPUT_FILE"), &QLineEdit::textChanged, [&](const QString& t) {
      shown << t;
      EXPECT_TRUE(d.dlg.IsRunning());
      if (stop) d.Button("IDC_STOP")->click();
    });
    ASSERT_TRUE(d.Run());
    // Only the later files change the field; with Stop, the second file's block was converted, the third never.
    const QString two = Q(dir / "run_2.dat"), three = Q(dir / "run_3.dat");
    EXPECT_EQ(shown, stop ? QStringList({two}) : QStringList({two, three}));
    EXPECT_EQ(d.Text("IDC_INPUT_FILE") + " | " + d.Ending(),
              stop ? two + " | 66% 66 start" : three + " | 100% 100 start");
    EXPECT_EQ(d.Text("IDC_OUTPUT_DIR") + " " + d.Text("IDC_RANGE_TO") + " " + d.Combo("IDC_DEVICE_TYPE")->currentText(),
              Q(dir.path().string()) + " 2 KR77A5");
    EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
  }
}

// Stopped, closed or destroyed before the first file is shown, the run converts nothing but writes its report.
TEST(RunControl, StopCloseOrDestroyBeforeTheFirstFileEndTheRunWithItsReport) {
  for (const std::string way : {"stop", "close", "destroy"}) {
    SCOPED_TRACE(way);
    ScratchDir dir;
    auto dialog = std::make_unique<RunDialog>(WriteSeries(dir));
    Dialog& d = *dialog;
    d.dlg.show();
    d.Button("IDC_START")->click();
    if (way == "stop") {
      d.Button("IDC_STOP")->click();
      EXPECT_EQ(d.Ending(), "0% 0 no start");  // until the worker has returned
      EXPECT_TRUE(d.dlg.IsRunning());
      ASSERT_TRUE(d.WaitForRunEnd());
      EXPECT_EQ(d.Ending(), "0% 0 start");
    } else if (way == "close") {
      // The worker now waits for this thread to show its first file; closing must not wait in a join.
      EXPECT_TRUE(d.dlg.close());
      EXPECT_FALSE(d.dlg.isVisible());
    }
    if (way != "destroy") {
      EXPECT_EQ(std::tuple(d.dlg.IsRunning(), d.dlg.parser().bytesRead, d.messages, Exists(dir / "run_1_report.txt")),
                std::tuple(false, 0u, QStringList(), true));
    }
    dialog.reset();  // waits for the worker
    EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
  }
}

// A failure that ends the run shows its text; the failures and warnings of a run that goes on, one box at its end.
TEST(RunControl, FailuresAndWarningsShowInOneBoxAtTheEnd) {
  ScratchDir dir;
  WriteFile(dir / "one.dat", std::vector<std::uint8_t>(4096, 0xFF));
  RunDialog d(dir / "one.dat");
  d.Set({{"IDC_OUTPUT_DIR", Q(dir / "missing")}});
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.Ending(), "0% 0 start | error\nCould Not Open Output Directory :" + Q(dir / "missing"));

  d.messages.clear();
  std::filesystem::create_directory(dir / "one_report.txt");  // the report cannot be created
  d.Set({{"IDC_OUTPUT_DIR", Q(dir.path().string() + "/")}, {"IDC_GEN_PARSED_FILE", false}});
  ASSERT_TRUE(d.Run());
  EXPECT_EQ(d.Ending(), "100% 100 start | error\nCould Not Open Output File: " +
                            Q(dir.path().string() + "//one_report.txt") +
                            "\nThe data do not look like T2 data of a KR77A5 or RB9531 (plain layout): the sync "
                            "overflow sequence breaks at 1024 of 1024 sync overflow words");
}

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
  d.Set({{"IDC_GEN_REPORT", true}});
  d.Button("IDC_START")->click();
  if (stop) d.Button("IDC_STOP")->click();
  ASSERT_TRUE(d.WaitForRunEnd());
  ASSERT_NE(d.dlg.summary(), nullptr);
}

QString Stem(const std::string& input) { return Q(input.substr(0, input.rfind('.'))); }

TEST(Summary, SaysHowTheRunEndedWhatItWroteAndTheReportsVerdicts) {
  struct Case {
    std::string synth;
    QString ending;  // "Stopped": Stop pressed at once
    QStringList verdicts;
  };
  const std::string packaged = "-t T2 -d QZ48 -r 8 --size 64K --files 2";
  const QStringList clean = {"Sync pulse sequence continuity: yes", "Package serial continuity: yes",
                             "Package length errors: none"};
  const Case cases[] = {
      {packaged, "Finished: 2 of 2", clean},
      {packaged + " --faults serial-gap,length,sync-gap:2", "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 2 breaks", "Package serial continuity: no, 1 break",
        "Package length errors: 1 package"}},
      {"-t T3 -d RB9531 -r 8 --size 64K --files 2 --faults sync-gap", "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 1 break", "Package length errors: none"}},
      {"-t ITTR_T -d KR77A5 --size 64K --files 2 --faults lead-gap", "Finished: 2 of 2", {"ITTR errors: 1 error"}},
      {"-t T1 -d QZ48 -r 16 --size 64K", "Finished: 1 of 1", {"Histogram head words: 7, tail words: 7"}},
      {"-t T2 -d QZ48 -r 8 --size 3M --files 3", "Stopped: 0 of 3", clean},  // stopped before its first block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const std::string input = Synthesize(dir, c.synth);
    Dialog d;
    const bool stop = c.ending.startsWith("Stopped");
    Convert(d, input, stop);
    std::uint64_t bytes = 0;  // all of the series, or none when stopped
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (!stop && entry.path().extension() == ".dat") bytes += entry.file_size();
    const QString expected = QString("%1 input files converted\nRead %2 bytes in T s\n"
                                     "Output files:\n    %3_parsed.txt\n    %3_report.txt\nReport:\n    %4")
                                 .arg(c.ending, QLocale(QLocale::English).toString(static_cast<qulonglong>(bytes)),
                                      Stem(input), c.verdicts.join("\n    "));
    const QString text = d.dlg.summary()->Text().replace(QRegularExpression(" in [0-9]+\\.[0-9]{2} s\n"), " in T s\n");
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(d.dlg.summary()->isVisible());
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
    const bool tttr = d.Combo("IDC_DATA_TYPE")->currentIndex() + 1 <= kDataTypeT3;
    for (const auto& [board, channels] : tttr ? s.tttrStatistics.eventCounts : s.ittrStatistics.eventCounts)
      for (const auto& [channel, count] : channels) report[channel] += count;
    // T1: the report counts words; the plot shows the histograms' contents.
    for (const auto& boards : s.channelGrid)
      for (const auto& status : boards)
        for (std::int32_t i = 0; status && i <= status->lastBin; ++i) report[status->channel] += status->Bin(i);
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
  d.Set({{"IDC_GEN_REPORT", true}, {"IDC_EXPORT_HDF5", true}});
  EXPECT_TRUE(d.Edit("IDC_SYNC_RATE")->isEnabled());
  for (const char* rate : {"", "0", "-40", "forty", "1e400", "40"}) {
    d.Set({{"IDC_SYNC_RATE", rate}});
    ASSERT_TRUE(d.Run());
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
  d.Set({{"IDC_GEN_REPORT", false}});
  ASSERT_TRUE(d.Run());
  EXPECT_FALSE(d.dlg.summary()->findChild<QPushButton*>("showReport")->isEnabled());
  // Only T3 asks for the rate.
  d.Set({{"IDC_DATA_TYPE", "T2"}});
  EXPECT_FALSE(d.Edit("IDC_SYNC_RATE")->isEnabled());
}

}  // namespace
}  // namespace kestrun::test
