#include <QCoreApplication>
#include <tuple>

#include "DialogTest.h"

namespace kestrun::test {
namespace {

// A dialog set up for a valid run: T2, 16 ps, report on, paths from the chosen file.
struct RunSetup {
  explicit RunSetup(const std::string& input) {
    d.ChooseInput(input);
    d.Combo("IDC_DATA_TYPE")->setCurrentIndex(1);
    d.Edit("IDC_RESOLUTION")->setText("16");
    d.Check("IDC_GEN_REPORT")->setChecked(true);
  }
  Dialog d;
};

std::string WriteSeries(const ScratchDir& dir) {
  for (int i = 1; i <= 3; ++i) WriteFile(dir / ("run_" + std::to_string(i) + ".dat"), BigEndian({0x00000001u}));
  return dir / "run_1.dat";
}


// One message per press of Start, in order; a failed check changes neither the parser nor the progress display.
TEST(RunControl, ValidationMessagesInOrderOneAtATime) {
  ScratchDir dir;
  Dialog d;
  d.Button("IDC_START")->click();
  d.Edit("IDC_INPUT_FILE")->setText("in.dat");
  d.Button("IDC_START")->click();
  d.Edit("IDC_OUTPUT_DIR")->setText(Q(dir.path().string()));
  d.Check("IDC_GEN_PARSED_FILE")->setChecked(false);
  d.Check("IDC_OUTPUT_OVERFLOW")->setChecked(true);
  d.Check("IDC_OUTPUT_PACKET_INFO")->setChecked(true);
  d.Button("IDC_START")->click();
  d.Check("IDC_GEN_REPORT")->setChecked(true);
  d.Combo("IDC_DATA_TYPE")->setCurrentIndex(2);  // T3
  for (const char* resolution : {"abc", "0", "", "-5", " x25"}) {
    d.Edit("IDC_RESOLUTION")->setText(resolution);
    d.Button("IDC_START")->click();
  }
  EXPECT_EQ(d.Ending(), "0% 0 start | Invalid Input File Path! | Invalid Output Directory Path! | "
                        "Please Select \"Gen Parsed File\" or \"Gen Report\"!" +
                            QString(" | Resolution Not Specified!").repeated(5));
  EXPECT_TRUE(d.dlg.parser().inputPath.empty());
  EXPECT_FALSE(d.dlg.IsRunning());
}

// Numbers are leading integers; empty range fields are 0; ITTR needs no resolution; a second run on the
// same parser.
TEST(RunControl, RunsOnASmallFileReachHundredAndWriteBothFiles) {
  ScratchDir dir;
  WriteFile(dir / "one.dat", BigEndian({0x00000001u, 0x00000002u}));
  RunSetup s(dir / "one.dat");
  Dialog& d = s.d;
  d.Check("IDC_OUTPUT_OVERFLOW")->setChecked(true);
  d.Edit("IDC_RESOLUTION")->setText(" 25ps");
  d.Edit("IDC_RANGE_FROM")->setText("");
  d.Edit("IDC_RANGE_TO")->setText("");
  d.Button("IDC_START")->click();
  EXPECT_EQ(d.Ending(), "0% 0 no start");
  const TdcFileParser& p = d.dlg.parser();
  EXPECT_EQ(p.inputPath, dir / "one.dat");
  EXPECT_EQ(p.outputDir, dir.path().string() + "/");
  EXPECT_TRUE(p.generateParsed && p.generateReport && p.outputOverflow && !p.outputPacketInfo);
  EXPECT_EQ(std::tuple(p.resolutionPs, p.rangeFirst, p.rangeLast), std::tuple(25, 0, 0));
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_EQ(d.Ending(), "100% 100 start");
  EXPECT_TRUE(Exists(dir / "one_parsed.txt") && Exists(dir / "one_report.txt"));
  EXPECT_EQ(p.statusCode, 0);
  EXPECT_EQ(p.dataType, -1);  // the run went through its end
  d.Combo("IDC_DATA_TYPE")->setCurrentIndex(3);  // ITTR_T
  d.Edit("IDC_RESOLUTION")->setText("");
  d.Edit("IDC_RANGE_TO")->setText("7");
  d.Button("IDC_START")->click();
  EXPECT_TRUE(d.dlg.IsRunning());
  EXPECT_EQ(std::tuple(p.resolutionPs, p.rangeLast), std::tuple(0, 7));
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_EQ(d.Ending(), "100% 100 start");
}

// The input field shows each file in turn without a refresh of the form: the user's choices survive the
// run. Stop during a run ends it after the current block.
TEST(RunControl, InputFieldShowsEachFileInTurnAndStopEndsTheRunAfterTheBlock) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stop" : "whole run");
    ScratchDir dir;
    RunSetup s(WriteSeries(dir));
    Dialog& d = s.d;
    d.Combo("IDC_DEVICE_TYPE")->setCurrentIndex(0);
    d.Edit("IDC_OUTPUT_DIR")->setText(Q(dir.path().string()));
    QStringList shown;
    QObject::connect(d.Edit("IDC_INPUT_FILE"), &QLineEdit::textChanged, [&](const QString& t) {
      shown << t;
      EXPECT_TRUE(d.dlg.IsRunning());
      if (stop) d.Button("IDC_STOP")->click();
    });
    d.Button("IDC_START")->click();
    ASSERT_TRUE(d.WaitForRunEnd());
    // The field held the first file already, so only the later ones change it. With Stop, the second
    // file's block was being converted when it came; the third was never read.
    const QString two = Q(dir / "run_2.dat"), three = Q(dir / "run_3.dat");
    EXPECT_EQ(shown, stop ? QStringList({two}) : QStringList({two, three}));
    EXPECT_EQ(d.Edit("IDC_INPUT_FILE")->text(), stop ? two : three);
    EXPECT_EQ(d.Ending(), stop ? "66% 66 start" : "100% 100 start");
    const QComboBox* device = d.Combo("IDC_DEVICE_TYPE");
    EXPECT_EQ(QStringList({d.Text("IDC_OUTPUT_DIR"), device->currentText(), d.Text("IDC_RANGE_TO")}),
              QStringList({Q(dir.path().string()), "KR77A5", "2"}));
    EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
  }
}

// Stop, closing or destroying the dialog before the worker could report its first file: nothing is
// converted, yet the run goes through its end and writes its report.
TEST(RunControl, StopCloseOrDestroyBeforeTheFirstFileEndTheRunWithItsReport) {
  for (const std::string way : {"stop", "close", "destroy"}) {
    SCOPED_TRACE(way);
    ScratchDir dir;
    auto s = std::make_unique<RunSetup>(WriteSeries(dir));
    Dialog& d = s->d;
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
      EXPECT_FALSE(d.dlg.IsRunning());
      EXPECT_EQ(d.dlg.parser().bytesRead, 0u);
      EXPECT_TRUE(d.messages.isEmpty());
      EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
    }
    s.reset();  // waits for the worker
    EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
  }
}

// A failure that ends the run shows the engine's text; every failure and warning of a run that goes on
// shows in one box at its end.
TEST(RunControl, FailuresAndWarningsShowInOneBoxAtTheEnd) {
  ScratchDir dir;
  WriteFile(dir / "one.dat", std::vector<std::uint8_t>(4096, 0xFF));
  RunSetup s(dir / "one.dat");
  Dialog& d = s.d;
  d.Edit("IDC_OUTPUT_DIR")->setText(Q(dir / "missing"));
  d.Button("IDC_START")->click();
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_EQ(d.Ending(), "0% 0 start | error\nCould Not Open Output Directory :" + Q(dir / "missing"));

  d.messages.clear();
  d.Edit("IDC_OUTPUT_DIR")->setText(Q(dir.path().string() + "/"));
  std::filesystem::create_directory(dir / "one_report.txt");  // the report cannot be created
  d.Check("IDC_GEN_PARSED_FILE")->setChecked(false);
  d.Button("IDC_START")->click();
  ASSERT_TRUE(d.WaitForRunEnd());
  EXPECT_EQ(d.Ending(), "100% 100 start | error\nCould Not Open Output File: " +
                            Q(dir.path().string() + "//one_report.txt") +
                            "\nThe data do not look like T2 data of a KR77A5 or RB9531 (plain layout): the sync "
                            "overflow sequence breaks at 1024 of 1024 sync overflow words");
}

TEST(RunControl, ProgressTextAndBar) {
  Dialog d;
  for (int p : {42, 150, 100, 7}) {
    emit d.dlg.parseProgress(p);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.Ending(), QString("%1% %2 start").arg(p).arg(std::min(p, 100)));
  }
}

}  // namespace
}  // namespace kestrun::test
