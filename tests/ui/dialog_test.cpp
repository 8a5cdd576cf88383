// The dialog driven as its user would: the form, its controls, layout and keys, what the input path or the
// command line fills in; runs with their checks at Start, progress, Stop and closing, failures, and the
// summary window after. Message boxes are recorded instead of shown, chosen paths are given.
#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "engine/Codes.h"
#include "support/TestSupport.h"
#include "ui/BrowseEdit.h"
#include "ui/DialogUnits.h"
#include "ui/KestrunDlg.h"
#include "ui/RunSummary.h"

QT_BEGIN_NAMESPACE
// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace kestrun::test {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The dialog with its message boxes collected in `messages`.
class Dialog {
 public:
  explicit Dialog(QStringList arguments = {}) : dlg(std::move(arguments)) {
    dlg.showMessage = [this](const QString& text) { messages.push_back(text); };
  }
  template <class T = QWidget>
  T* Get(const QString& id) {
    T* control = dlg.findChild<T*>(id);
    EXPECT_NE(control, nullptr) << id.toStdString();
    return control;
  }
  QLineEdit* Edit(const QString& id) { return Get<QLineEdit>(id); }
  QComboBox* Combo(const QString& id) { return Get<QComboBox>(id); }
  QPushButton* Button(const QString& id) { return Get<QPushButton>(id); }
  QString Text(const QString& id) { return Get<QWidget>(id)->property("text").toString(); }
  // What the file name decides: device, data type, resolution, the resolution edit and the packet info box.
  QString Form() {
    return Combo("IDC_DEVICE_TYPE")->currentText() + " " + Combo("IDC_DATA_TYPE")->currentText() + " '" +
           Text("IDC_RESOLUTION") + (Edit("IDC_RESOLUTION")->isEnabled() ? "' enabled" : "' disabled") +
           (Get("IDC_OUTPUT_PACKET_INFO")->isHidden() ? " hidden" : " shown");
  }
  QString Shown() { return Form() + " in " + Text("IDC_OUTPUT_DIR"); }
  QString Range() { return Text("IDC_RANGE_FROM") + "~" + Text("IDC_RANGE_TO"); }
  // What a run leaves on the form: progress text and bar, whether Start is enabled, the messages shown.
  QString Ending() {
    return Text("IDC_PROGRESS_TEXT") + " " + QString::number(Get<QProgressBar>("IDC_PROGRESS")->value()) +
           (Button("IDC_START")->isEnabled() ? " start" : " no start") + (messages.isEmpty() ? "" : " | ") +
           messages.join(" | ");
  }

  // Sets controls by id, in order: an edit's text, a list's item by its text, whether a box is checked.
  Dialog& Set(std::initializer_list<std::pair<const char*, QVariant>> values) {
    for (const auto& [id, value] : values)
      EXPECT_TRUE(Get(id)->metaObject()->userProperty().write(Get(id), value)) << id;
    return *this;
  }
  // Picks `path` with the input field's browse button, as the user would.
  void ChooseInput(const std::string& path) {
    auto* edit = Get<BrowseEdit>("IDC_INPUT_FILE");
    edit->choose = [path](const QString&) { return QString::fromStdString(path); };
    edit->Browse();
  }
  // Handles events until the current run's worker has returned; false after 60 s without that.
  bool WaitForRunEnd() { return QTest::qWaitFor([this] { return !dlg.IsRunning(); }, 60'000); }
  // Presses Start and waits for the run's end.
  bool Run() {
    Button("IDC_START")->click();
    return WaitForRunEnd();
  }

  CKestrunDlg dlg;
  QStringList messages;
};

TEST(DialogForm, FreshStartTextsTabOrderAndLayoutInDialogUnits) {
  Dialog d;
  // The title; each control in tab order, then the two that take no focus, as "id 'text'", then its list's items
  // (the current one marked *) or " on" when checked, " hidden", " disabled"; the captions without an id and the
  // one group's title.
  QStringList tabOrder, controls = {d.dlg.windowTitle()};
  QWidget* w = d.Get("IDC_INPUT_FILE");
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty()) tabOrder << w->objectName();
  } while ((w = w->nextInFocusChain()) != d.Get("IDC_INPUT_FILE"));
  for (const QString& id : tabOrder + QStringList{"IDC_PROGRESS", "IDC_PROGRESS_TEXT"}) {
    w = d.Get(id);
    QString line = id + " '" + d.Text(id) + "'";
    if (auto* combo = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < combo->count(); ++i) line += (i == combo->currentIndex() ? " *" : " ") + combo->itemText(i);
    if (auto* box = qobject_cast<QCheckBox*>(w); box && box->isChecked()) line += " on";
    controls << line + (w->isHidden() ? " hidden" : "") + (w->isEnabled() ? "" : " disabled");
  }
  for (QLabel* label : d.dlg.findChildren<QLabel*>())
    if (label->objectName().isEmpty()) controls << label->text();
  for (QGroupBox* group : d.dlg.findChildren<QGroupBox*>()) controls << group->title();
  EXPECT_EQ(controls.join(", "),
            "Kestrun 3.0.0.2, IDC_INPUT_FILE '', IDC_OUTPUT_DIR '', IDC_GEN_PARSED_FILE 'Generate Parsed File' on, "
            "IDC_GEN_REPORT 'Generate Report', IDC_START 'Start', IDC_STOP 'Stop', IDC_DATA_TYPE '' *T1 T2 T3 ITTR_T "
            "ITTR_M, IDC_RESOLUTION '', IDC_OUTPUT_OVERFLOW 'Output Overflow', IDC_DEVICE_TYPE '' KR77A5 RB9531 *QZ48, "
            "IDC_RANGE_FROM '', IDC_RANGE_TO '', IDC_OUTPUT_PACKET_INFO 'Output Packet Info', IDC_EXPORT_HDF5 'Export "
            "Photon-HDF5', IDC_SYNC_RATE '' disabled, IDC_PROGRESS '0%', IDC_PROGRESS_TEXT '0%', Input File, Output "
            "Directory, Data Type, Resolution, Device Type, ps, Parse file no., ~, files, Report Options");
  const DialogUnits du(d.dlg.font());
  EXPECT_EQ(d.dlg.font().pointSize(), 9);
  for (const QSize& size : {d.dlg.minimumSize(), d.dlg.maximumSize()}) EXPECT_EQ(size, QSize(du.X(373), du.Y(252)));
  EXPECT_EQ(d.dlg.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint),
            Qt::WindowMinimizeButtonHint);
  const std::tuple<const char*, int, int, int, int> places[] = {
      {"IDC_INPUT_FILE", 7, 30, 359, 14}, {"IDC_OUTPUT_DIR", 7, 81, 359, 14}, {"IDC_START", 175, 227, 50, 14},
      {"IDC_STOP", 253, 227, 50, 14},     {"IDC_PROGRESS", 7, 202, 359, 7},   {"IDC_RANGE_FROM", 66, 48, 49, 14},
      {"IDC_RANGE_TO", 126, 48, 49, 14},  {"IDC_RESOLUTION", 50, 179, 49, 14}};
  for (const auto& [id, x, y, width, height] : places)
    EXPECT_EQ(d.Get(id)->geometry(), du.Rect(x, y, width, height)) << id;
  // Check boxes keep their place and are never narrower than their text.
  for (const char* id : {"IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT", "IDC_OUTPUT_OVERFLOW", "IDC_OUTPUT_PACKET_INFO"})
    EXPECT_GE(d.Get(id)->width(), d.Get(id)->sizeHint().width()) << id;
  EXPECT_EQ(d.Get("IDC_OUTPUT_PACKET_INFO")->pos(), du.Rect(105, 132, 77, 10).topLeft());
}

// Range edits take digits only, the resolution anything; the data type, not the device, sets the form.
// Enter and Escape never close the dialog, Enter still presses a focused button; browse buttons are no tab
// stops (Alt+Down or F4 press them) and replace the text unless cancelled.
TEST(DialogForm, TypingSelectingKeysAndBrowseButtons) {
  Dialog d;
  for (const auto& [id, typed, kept] : {std::tuple{"IDC_RANGE_FROM", "1a-2 3.", "123"}, {"IDC_RANGE_TO", "x9", "9"},
                                        {"IDC_RESOLUTION", "16ps -x", "16ps -x"}}) {
    QTest::keyClicks(d.Edit(id), typed);
    EXPECT_EQ(d.Edit(id)->text(), kept);
  }
  for (const auto& [id, index, form] : {std::tuple{"IDC_DATA_TYPE", 4, "QZ48 ITTR_M '16ps -x' disabled shown"},
                                        {"IDC_DATA_TYPE", 3, "QZ48 ITTR_T '16ps -x' disabled shown"},
                                        {"IDC_DATA_TYPE", 1, "QZ48 T2 '16ps -x' enabled shown"},
                                        {"IDC_DEVICE_TYPE", 0, "KR77A5 T2 '16ps -x' enabled shown"}}) {
    d.Combo(id)->setCurrentIndex(index);
    emit d.Combo(id)->activated(index);
    EXPECT_EQ(d.Form(), form);
  }
  d.dlg.show();
  for (const char* id : {"IDC_RESOLUTION", "IDC_INPUT_FILE", "IDC_RANGE_TO"})
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(d.Get(id), key);
  QTest::keyClick(d.Get("IDC_START"), Qt::Key_Return);
  EXPECT_EQ(d.messages, QStringList({"Invalid Input File Path!"}));
  EXPECT_TRUE(d.dlg.isVisible());
  auto* output = d.Get<BrowseEdit>("IDC_OUTPUT_DIR");
  EXPECT_EQ(output->browseButton()->focusPolicy(), Qt::NoFocus);
  QStringList seen;
  const QStringList answers = {"/data/out", "", "/data/key1", "/data/key2"};  // the second is cancelled
  output->choose = [&](const QString& current) {
    seen << current;
    return answers.value(seen.size() - 1);
  };
  output->setText("/old");
  for (int i = 0; i < 2; ++i) output->browseButton()->click();
  QTest::keyClick(output, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(output, Qt::Key_F4);
  QTest::keyClick(output, Qt::Key_Down);
  EXPECT_EQ(seen, QStringList({"/old", "/data/out", "/data/out", "/data/key1"}));
  EXPECT_EQ(output->text(), "/data/key2");
}

// T3, resolution "7", device KR77A5: what the form holds before a path is chosen.
void Preset(Dialog& d) { d.Set({{"IDC_DATA_TYPE", "T3"}, {"IDC_DEVICE_TYPE", "KR77A5"}, {"IDC_RESOLUTION", "7"}}); }

// Every field the name rules decide reaches the form, what they leave unset stays; the range counts the series.
// The user's changes give way at the next change of path; text set by the program (as a run does) is none.
// Typed (then Enter or focus out), pasted or chosen, the whole path counts: nine pieces set nothing, eight would.
TEST(Refresh, EachChangeOfPathTypedPastedOrChosenSetsTheFormFromTheNameAndTheRangeFromTheSeries) {
  ScratchDir dir;
  const QString out = Q(dir.path().string() + "/");
  Dialog d;
  const auto choose = [&](const std::string& name) {
    WriteFile(dir / name, BigEndian({1u}));
    Preset(d);
    d.ChooseInput(dir / name);
    return d.Form();
  };
  EXPECT_EQ(choose("a.dat"), "RB9531 T3 '7' enabled hidden");
  EXPECT_EQ(d.Range(), "0~0");  // a file of no series
  d.Set({{"IDC_DEVICE_TYPE", "KR77A5"}, {"IDC_OUTPUT_DIR", "/somewhere/else"}});
  d.ChooseInput(dir / "a.dat");
  EXPECT_EQ(d.Shown(), "RB9531 T3 '7' enabled hidden in " + out);
  d.Set({{"IDC_OUTPUT_DIR", "/kept"}, {"IDC_INPUT_FILE", Q(dir / "QZ48_x_T2_16ps_e_f_g_h.dat")}});
  EXPECT_EQ(d.Shown(), "RB9531 T3 '7' enabled hidden in /kept");
  EXPECT_EQ(choose("QZ48b_x_T2_16ps_e_f_g_h.dat"), "QZ48 T2 '16' disabled shown");
  EXPECT_EQ(choose("QZ48_x_ITTR_X_e_f_g_h.dat"), "QZ48 T3 '' disabled shown");  // no list item: resolution emptied
  EXPECT_EQ(choose("RB9531x_T1_4ps_d_e_f_g.dat"), "RB9531 T1 '4' disabled hidden");  // seven pieces: edit kept

  for (const char* name : {"run_2.dat", "run_10.dat", "run_3.txt", "other_1.dat"})
    WriteFile(dir / name, BigEndian({1u}));
  WriteFile(dir / "run_4.dat", std::string());  // empty files are no part of the series
  choose("run_1.dat");
  EXPECT_EQ(d.Range(), "0~2");
  d.Set({{"IDC_RANGE_TO", "9"}});
  d.ChooseInput(dir / "nothing_5.dat");
  EXPECT_EQ(d.Range(), "0~2");  // a path naming nothing keeps the earlier count
  ScratchDir empty;
  WriteFile(empty / "run_1.bin", BigEndian({1u}));
  d.ChooseInput(empty / "run_1.bin");
  EXPECT_EQ(d.Range(), "0~-1");  // no *.dat file: an empty series

  const std::string path = dir / "QZ48_x_T2_16ps_e_f_g_h_i.dat";
  const QString chosen = choose(path) + " in " + out;
  QGuiApplication::clipboard()->setText(Q(path));
  for (const std::string way : {"typed, Enter", "typed, focus leaves", "pasted", "pasted over a selection"}) {
    SCOPED_TRACE(way);
    Dialog fresh;
    fresh.dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&fresh.dlg));
    QLineEdit* edit = fresh.Edit("IDC_INPUT_FILE");
    edit->setFocus();
    Preset(fresh);
    const QString before = fresh.Shown();
    if (way.starts_with("typed")) QTest::keyClicks(edit, Q(path));
    if (way == "pasted over a selection") QTest::keyClicks(edit, "x");
    EXPECT_EQ(fresh.Shown(), before);  // nothing while typing
    if (way == "typed, Enter") QTest::keyClick(edit, Qt::Key_Return);
    if (way == "typed, focus leaves") fresh.Edit("IDC_RESOLUTION")->setFocus();
    if (way == "pasted over a selection") edit->selectAll();
    if (way.starts_with("pasted")) QTest::keySequence(edit, QKeySequence::Paste);
    EXPECT_EQ(fresh.Shown(), chosen);
  }
}

// Four words (path, type, resolution, device) fill the form until the path changes, other counts nothing;
// words outside the lists leave their field, the resolution is taken uncut.
TEST(CommandLine, FourWordsFillTheFormAnythingElseLeavesTheDefaults) {
  ScratchDir dir, other;
  for (int i = 1; i <= 3; ++i) WriteFile(dir / ("a_" + std::to_string(i) + ".dat"), BigEndian({1u}));
  WriteFile(other / "RB9531_T3_4ps_d_e_f_g.dat", BigEndian({1u}));
  const QString file = Q(dir / "a_1.dat"), folder = Q(dir.path().string()), out = folder + "/";
  const QString parent = Q(dir.path().parent_path().string() + "/");
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder));  // a relative path becomes absolute from here
  const struct { QStringList words; QString input, output, form, range; } cases[] = {
      {{file, "T2", "25", "QZ48"}, file, out, "QZ48 T2 '25' enabled shown", "0~2"},
      {{file, "ITTR_T", "0", "RB9531"}, file, out, "RB9531 T1 '' enabled shown", "0~2"},
      {{file, "T3", "25ps", "qz48"}, file, out, "KR77A5 T3 '25ps' enabled shown", "0~2"},
      {{folder, "T1", "5", "QZ48"}, folder, parent, "QZ48 T1 '5' enabled shown", "0~-1"},  // a directory exists too
      {{"a_1.dat", "T1", "5", "QZ48"}, file, out, "QZ48 T1 '5' enabled shown", "0~2"},
      {{file, "T2", "25"}, "", "", "QZ48 T1 '' enabled shown", "~"},
      {{file, "T2", "25", "QZ48", "x"}, "", "", "QZ48 T1 '' enabled shown", "~"},
      {{Q(dir / "missing.dat"), "T2", "25", "QZ48"}, "", "", "QZ48 T1 '' enabled shown", "~"},
      {{}, "", "", "QZ48 T1 '' enabled shown", "~"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.join(' ').toStdString());
    Dialog d(c.words);
    EXPECT_EQ(d.Text("IDC_INPUT_FILE") + " | " + d.Range() + " | " + d.Shown(),
              c.input + " | " + c.range + " | " + c.form + " in " + c.output);
    QTest::keyClick(d.Edit("IDC_INPUT_FILE"), Qt::Key_Return);  // Enter without a change keeps them
    EXPECT_EQ(d.Form(), c.form);
    d.ChooseInput(other / "RB9531_T3_4ps_d_e_f_g.dat");
    EXPECT_EQ(QStringList({d.Form().left(13), d.Text("IDC_RANGE_TO"), d.Text("IDC_OUTPUT_DIR")}),
              QStringList({"RB9531 T3 '4'", "0", Q(other.path().string() + "/")}));
  }
  QDir::setCurrent(previous);
}

// One message per press of Start, in order, changing neither the parser nor the progress display, which the
// start of a run resets. Numbers are leading integers; empty range fields are 0; ITTR needs no resolution; a
// second run, same parser. A failure that ends the run shows its text; the failures and warnings of a run that
// goes on, one box at its end.
TEST(RunControl, ValidationMessagesProgressRunsAndFailuresAndWarningsInOneBoxAtTheEnd) {
  ScratchDir dir;
  Dialog d;
  d.Button("IDC_START")->click();
  d.Set({{"IDC_INPUT_FILE", "in.dat"}}).Button("IDC_START")->click();
  d.Set({{"IDC_OUTPUT_DIR", Q(dir.path().string())}, {"IDC_GEN_PARSED_FILE", false}, {"IDC_OUTPUT_OVERFLOW", true},
         {"IDC_OUTPUT_PACKET_INFO", true}}).Button("IDC_START")->click();
  d.Set({{"IDC_GEN_REPORT", true}, {"IDC_DATA_TYPE", "T3"}});
  for (const char* resolution : {"abc", "0", "", "-5", " x25"})
    d.Set({{"IDC_RESOLUTION", resolution}}).Button("IDC_START")->click();
  EXPECT_EQ(d.Ending(), "0% 0 start | Invalid Input File Path! | Invalid Output Directory Path! | "
                        "Please Select \"Gen Parsed File\" or \"Gen Report\"!" +
                            QString(" | Resolution Not Specified!").repeated(5));
  EXPECT_TRUE(d.dlg.parser().inputPath.empty());
  d.messages.clear();
  for (int p : {42, 150, 100, 7}) {
    emit d.dlg.parseProgress(p);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.Ending(), QString("%1% %2 start").arg(p).arg(std::min(p, 100)));
  }

  WriteFile(dir / "one.dat", BigEndian({0x00000001u, 0x00000002u}));
  d.ChooseInput(dir / "one.dat");
  d.Set({{"IDC_DATA_TYPE", "T2"}, {"IDC_GEN_PARSED_FILE", true}, {"IDC_OUTPUT_PACKET_INFO", false},
         {"IDC_RESOLUTION", " 25ps"}, {"IDC_RANGE_FROM", ""}, {"IDC_RANGE_TO", ""}});
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
  ASSERT_TRUE(d.Set({{"IDC_DATA_TYPE", "ITTR_T"}, {"IDC_RESOLUTION", ""}, {"IDC_RANGE_TO", "7"}}).Run());
  EXPECT_EQ(std::tuple(d.Ending(), p.resolutionPs, p.rangeLast), std::tuple("100% 100 start", 0, 7));

  WriteFile(dir / "one.dat", std::vector<std::uint8_t>(4096, 0xFF));
  ASSERT_TRUE(d.Set({{"IDC_DATA_TYPE", "T2"}, {"IDC_RESOLUTION", "16"}, {"IDC_OUTPUT_DIR", Q(dir / "missing")}}).Run());
  EXPECT_EQ(d.Ending(), "0% 0 start | error\nCould Not Open Output Directory :" + Q(dir / "missing"));
  d.messages.clear();
  std::filesystem::remove(dir / "one_report.txt");
  std::filesystem::create_directory(dir / "one_report.txt");  // the report cannot be created
  ASSERT_TRUE(d.Set({{"IDC_OUTPUT_DIR", Q(dir.path().string() + "/")}, {"IDC_GEN_PARSED_FILE", false}}).Run());
  EXPECT_EQ(d.Ending(), "100% 100 start | error\nCould Not Open Output File: " +
                            Q(dir.path().string() + "//one_report.txt") +
                            "\nThe data do not look like T2 data of a KR77A5 or RB9531 (plain layout): the sync "
                            "overflow sequence breaks at 1024 of 1024 sync overflow words");
}

// The input field shows each later file in turn without a refresh of the form: the user's choices survive the
// run. Stop as the second file shows ends the run after its block. Closed or destroyed before the first file is
// shown (stopped so: see the summary's cases), the run converts nothing but writes its report.
TEST(RunControl, TheFieldShowsEachFileAndStopCloseOrDestroyEndTheRunAfterTheBlockWithItsReport) {
  // How the run is ended, the last file shown, the progress, the bytes read.
  const std::tuple<std::string, int, QString, std::uint64_t> cases[] = {
      {"whole run", 3, "100% 100 start", 12}, {"stop at run_2", 2, "66% 66 start", 8}, {"close", 1, "0% 0 start", 0},
      {"destroy", 1, "", 0}};
  for (const auto& [way, last, ending, bytes] : cases) {
    SCOPED_TRACE(way);
    ScratchDir dir;
    for (int i = 1; i <= 3; ++i) WriteFile(dir / ("run_" + std::to_string(i) + ".dat"), BigEndian({0x00000001u}));
    auto dialog = std::make_unique<Dialog>();
    Dialog& d = *dialog;
    d.ChooseInput(dir / "run_1.dat");
    d.Set({{"IDC_DATA_TYPE", "T2"}, {"IDC_RESOLUTION", "16"}, {"IDC_GEN_REPORT", true}, {"IDC_DEVICE_TYPE", "KR77A5"},
           {"IDC_OUTPUT_DIR", Q(dir.path().string())}});
    QStringList shown, expected;
    for (int i = 2; i <= last; ++i) expected << Q(dir / ("run_" + std::to_string(i) + ".dat"));
    QObject::connect(d.Edit("IDC_INPUT_FILE"), &QLineEdit::textChanged, [&](const QString& t) {
      shown << t;
      EXPECT_TRUE(d.dlg.IsRunning());
      if (way == "stop at run_2") d.Button("IDC_STOP")->click();
    });
    d.dlg.show();
    d.Button("IDC_START")->click();
    if (way == "close") {
      // The worker now waits for this thread to show its first file; closing must not wait in a join.
      EXPECT_TRUE(d.dlg.close());
      EXPECT_FALSE(d.dlg.isVisible() || d.dlg.IsRunning());
    } else if (way == "destroy") {
      dialog.reset();  // waits for the worker
      EXPECT_TRUE(Exists(dir / "run_1_report.txt"));
      continue;
    }
    ASSERT_TRUE(d.WaitForRunEnd());
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(std::tuple(d.Text("IDC_INPUT_FILE"), d.Ending(), d.dlg.parser().bytesRead, Exists(dir / "run_1_report.txt")),
              std::tuple(Q(dir / ("run_" + std::to_string(last) + ".dat")), ending, bytes, true));
    EXPECT_EQ(d.Text("IDC_OUTPUT_DIR") + " " + d.Text("IDC_RANGE_TO") + " " + d.Combo("IDC_DEVICE_TYPE")->currentText(),
              Q(dir.path().string()) + " 2 KR77A5");
  }
}

// Writes a kestrun-synth series into `dir`; the path of its first file, whose name gives the settings.
std::string Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const CommandResult r = RunCommand("'" + std::string(KESTRUN_BIN_DIR) + "/kestrun-synth' " + arguments + " -o '" +
                                     dir.path().string() + "'");
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

QString Stem(const std::string& input) { return Q(input.substr(0, input.rfind('.'))); }

// The summary says how the run ended, what it wrote and the report's verdicts. Its plots, per channel over every
// board, show what the report counted, and each plot's points add up to its events.
TEST(Summary, SaysHowTheRunEndedWhatItWroteTheVerdictsAndPlotsTheReportsCounts) {
  const QStringList clean = {"Sync pulse sequence continuity: yes", "Package serial continuity: yes",
                             "Package length errors: none"};
  const std::tuple<std::string, QString, QStringList> cases[] = {
      {"-t T2 -d QZ48 -r 8 --size 1500K --files 2", "Finished: 2 of 2", clean},
      {"-t T2 -d QZ48 -r 8 --size 64K --files 2 --faults serial-gap,length,sync-gap:2", "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 2 breaks", "Package serial continuity: no, 1 break",
        "Package length errors: 1 package"}},
      {"-t T2 -d KR77A5 -r 8 --size 300K", "Finished: 1 of 1", {clean[0], clean[2]}},
      {"-t T3 -d RB9531 -r 8 --size 1500K --files 2 --faults sync-gap", "Finished: 2 of 2",
       {"Sync pulse sequence continuity: no, 1 break", "Package length errors: none"}},
      {"-t T3 -d QZ48 -r 8 --size 300K --faults sync-gap", "Finished: 1 of 1",
       {"Sync pulse sequence continuity: no, 1 break", clean[1], clean[2]}},
      {"-t ITTR_T -d KR77A5 --size 64K --files 2 --faults lead-gap", "Finished: 2 of 2", {"ITTR errors: 1 error"}},
      {"-t ITTR_M -d QZ48 --size 300K --files 2", "Finished: 2 of 2", {"ITTR errors: none"}},
      {"-t T1 -d QZ48 -r 16 --size 300K", "Finished: 1 of 1", {"Histogram head words: 28, tail words: 28"}},
      {"-t T2 -d QZ48 -r 8 --size 3M --files 3", "Stopped: 0 of 3", clean},  // Stop pressed before its first block
  };
  for (const auto& [synth, ending, verdicts] : cases) {
    SCOPED_TRACE(synth);
    ScratchDir dir;
    const std::string input = Synthesize(dir, synth);
    Dialog d;
    d.ChooseInput(input);
    d.Set({{"IDC_GEN_REPORT", true}});
    d.Button("IDC_START")->click();
    const bool stop = ending.startsWith("Stopped");
    if (stop) d.Button("IDC_STOP")->click();
    EXPECT_EQ(d.Ending(), "0% 0 no start");  // until the worker has returned
    ASSERT_TRUE(d.WaitForRunEnd());
    EXPECT_EQ(d.Ending(), stop ? "0% 0 start" : "100% 100 start");
    RunSummary* summary = d.dlg.summary();
    ASSERT_TRUE(summary != nullptr && summary->isVisible());
    std::uint64_t bytes = 0;  // all of the series, or none when stopped
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (!stop && entry.path().extension() == ".dat") bytes += entry.file_size();
    const QString expected = QString("%1 input files converted\nRead %2 bytes in T s\n"
                                     "Output files:\n    %3_parsed.txt\n    %3_report.txt\nReport:\n    %4")
                                 .arg(ending, QLocale(QLocale::English).toString(static_cast<qulonglong>(bytes)),
                                      Stem(input), verdicts.join("\n    "));
    EXPECT_EQ(summary->Text().replace(QRegularExpression(" in [0-9]+\\.[0-9]{2} s\n"), " in T s\n"), expected);

    const DecoderState& s = d.dlg.parser().decoderState;
    std::map<int, std::uint64_t> report, plotted;
    const bool tttr = d.Combo("IDC_DATA_TYPE")->currentIndex() + 1 <= kDataTypeT3;
    for (const auto& [board, channels] : tttr ? s.tttrStatistics.eventCounts : s.ittrStatistics.eventCounts)
      for (const auto& [channel, count] : channels) report[channel] += count;
    // T1: the report counts words; the plot shows the histograms' contents.
    for (const auto& boards : s.channelGrid)
      for (const auto& status : boards)
        for (std::int32_t i = 0; status && i <= status->lastBin; ++i) report[status->channel] += status->Bin(i);
    for (const PreviewPlot& plot : summary->plots()) {
      plotted[plot.channel] += plot.events;
      if (plot.countsPerY <= 0) continue;
      std::uint64_t points = 0;
      for (const QPointF& p : plot.points) points += static_cast<std::uint64_t>(std::llround(p.y() * plot.countsPerY));
      EXPECT_EQ(points, plot.events) << plot.title.toStdString();
    }
    std::erase_if(report, [](const auto& entry) { return entry.second == 0; });
    EXPECT_EQ(plotted, report);
    EXPECT_EQ(plotted.empty(), stop);
  }
}

TEST(Summary, PhotonHdf5BoxNeedsASyncRateForT3AndTheButtonsOpenShowAndSave) {
  ScratchDir dir;
  const std::string input = Synthesize(dir, "-t T3 -d QZ48 -r 8 --size 64K");
  const std::string hdf5 = Stem(input).toStdString() + ".hdf5";
  Dialog d;
  d.ChooseInput(input);
  d.Set({{"IDC_GEN_REPORT", true}, {"IDC_EXPORT_HDF5", true}});
  EXPECT_TRUE(d.Edit("IDC_SYNC_RATE")->isEnabled());
  for (const char* rate : {"", "0", "-40", "forty", "1e400", "40"}) {
    ASSERT_TRUE(d.Set({{"IDC_SYNC_RATE", rate}}).Run());
    EXPECT_EQ(Exists(hdf5), QString(rate) == "40") << rate;
  }
  EXPECT_EQ(d.messages, QStringList(5, "Sync Rate Not Specified! Photon-HDF5 of T3 data needs the sync (laser) rate "
                                       "in MHz, such as 40."));
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
  ASSERT_TRUE(d.Set({{"IDC_GEN_REPORT", false}}).Run());
  EXPECT_FALSE(d.dlg.summary()->findChild<QPushButton*>("showReport")->isEnabled());
  // Only T3 asks for the rate.
  d.Set({{"IDC_DATA_TYPE", "T2"}});
  EXPECT_FALSE(d.Edit("IDC_SYNC_RATE")->isEnabled());
}

}  // namespace
}  // namespace kestrun::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
