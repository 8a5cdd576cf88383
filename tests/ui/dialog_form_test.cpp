// The form: its controls, layout and keys, and what the input path or the command line fills in.
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QToolButton>
#include <tuple>

#include "DialogTest.h"
#include "ui/DialogUnits.h"

namespace kestrun::test {
namespace {

TEST(DialogForm, FreshStartTextsTabOrderAndLayoutInDialogUnits) {
  Dialog d;
  EXPECT_EQ(d.dlg.windowTitle(), "Kestrun 3.0.0.2");
  // Each control as "id 'text'", then its list's items (the current one marked *) or " on" when checked,
  // " hidden", " disabled"; then the captions without an id and the one group's title.
  QStringList controls;
  for (const char* id : {"IDC_INPUT_FILE", "IDC_OUTPUT_DIR", "IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT", "IDC_START",
                         "IDC_STOP", "IDC_PROGRESS", "IDC_DATA_TYPE", "IDC_RESOLUTION", "IDC_OUTPUT_OVERFLOW",
                         "IDC_DEVICE_TYPE", "IDC_PROGRESS_TEXT", "IDC_RANGE_FROM", "IDC_RANGE_TO",
                         "IDC_OUTPUT_PACKET_INFO"}) {
    QWidget* w = d.Get(id);
    QString line = QString(id) + " '" + d.Text(id) + "'";
    if (auto* combo = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < combo->count(); ++i) line += (i == combo->currentIndex() ? " *" : " ") + combo->itemText(i);
    if (auto* box = qobject_cast<QCheckBox*>(w); box && box->isChecked()) line += " on";
    controls << line + (w->isHidden() ? " hidden" : "") + (w->isEnabled() ? "" : " disabled");
  }
  for (QLabel* label : d.dlg.findChildren<QLabel*>())
    if (label->objectName().isEmpty()) controls << label->text();
  for (QGroupBox* group : d.dlg.findChildren<QGroupBox*>()) controls << group->title();
  EXPECT_EQ(controls.join(", "),
            "IDC_INPUT_FILE '', IDC_OUTPUT_DIR '', IDC_GEN_PARSED_FILE 'Generate Parsed File' on, "
            "IDC_GEN_REPORT 'Generate Report', IDC_START 'Start', IDC_STOP 'Stop', IDC_PROGRESS '0%', "
            "IDC_DATA_TYPE '' *T1 T2 T3 ITTR_T ITTR_M, IDC_RESOLUTION '', IDC_OUTPUT_OVERFLOW 'Output Overflow', "
            "IDC_DEVICE_TYPE '' KR77A5 RB9531 *QZ48, IDC_PROGRESS_TEXT '0%', IDC_RANGE_FROM '', IDC_RANGE_TO '', "
            "IDC_OUTPUT_PACKET_INFO 'Output Packet Info', Input File, Output Directory, Data Type, Resolution, "
            "Device Type, ps, Parse file no., ~, files, Report Options");
  EXPECT_EQ(d.Ending(), "0% 0 start");
  QStringList order;
  QWidget* w = d.Get("IDC_INPUT_FILE");
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty()) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != d.Get("IDC_INPUT_FILE"));
  EXPECT_EQ(order.join(" "), "IDC_INPUT_FILE IDC_OUTPUT_DIR IDC_GEN_PARSED_FILE IDC_GEN_REPORT IDC_START IDC_STOP "
                             "IDC_DATA_TYPE IDC_RESOLUTION IDC_OUTPUT_OVERFLOW IDC_DEVICE_TYPE IDC_RANGE_FROM "
                             "IDC_RANGE_TO IDC_OUTPUT_PACKET_INFO IDC_EXPORT_HDF5 IDC_SYNC_RATE");
  const DialogUnits du(d.dlg.font());
  EXPECT_EQ(d.dlg.font().pointSize(), 9);
  EXPECT_EQ(d.dlg.minimumSize(), QSize(du.X(373), du.Y(252)));
  EXPECT_EQ(d.dlg.maximumSize(), d.dlg.minimumSize());
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
  for (const char* id : {"IDC_RESOLUTION", "IDC_INPUT_FILE", "IDC_RANGE_TO"}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(d.Get(id), key);
    EXPECT_TRUE(d.dlg.isVisible()) << id;
  }
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
  output->browseButton()->click();
  output->browseButton()->click();
  QTest::keyClick(output, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(output, Qt::Key_F4);
  QTest::keyClick(output, Qt::Key_Down);
  EXPECT_EQ(seen, QStringList({"/old", "/data/out", "/data/out", "/data/key1"}));
  EXPECT_EQ(output->text(), "/data/key2");
}

// T3, resolution "7", device KR77A5: what the form holds before a path is chosen.
void Preset(Dialog& d) { d.Set({{"IDC_DATA_TYPE", "T3"}, {"IDC_DEVICE_TYPE", "KR77A5"}, {"IDC_RESOLUTION", "7"}}); }

QString Shown(Dialog& d) { return d.Form() + " in " + d.Text("IDC_OUTPUT_DIR"); }
QString Range(Dialog& d) { return d.Text("IDC_RANGE_FROM") + "~" + d.Text("IDC_RANGE_TO"); }

struct Refresh : ::testing::Test {
  QString Choose(const std::string& name) {
    WriteFile(dir / name, BigEndian({1u}));
    Preset(d);
    d.ChooseInput(dir / name);
    return d.Form();
  }
  ScratchDir dir;
  const QString out = Q(dir.path().string() + "/");
  Dialog d;
};

// Every field the name rules decide reaches the form, what they leave unset stays; the range counts the series.
// The user's changes give way at the next change of path; text set by the program (as a run does) is none.
TEST_F(Refresh, EachChangeOfPathSetsTheFormFromTheNameAndTheRangeFromTheSeries) {
  EXPECT_EQ(Choose("a.dat"), "RB9531 T3 '7' enabled hidden");
  EXPECT_EQ(Range(d), "0~0");  // a file of no series
  d.Set({{"IDC_DEVICE_TYPE", "KR77A5"}, {"IDC_OUTPUT_DIR", "/somewhere/else"}});
  d.ChooseInput(dir / "a.dat");
  EXPECT_EQ(Shown(d), "RB9531 T3 '7' enabled hidden in " + out);
  d.Set({{"IDC_OUTPUT_DIR", "/kept"}, {"IDC_INPUT_FILE", Q(dir / "QZ48_x_T2_16ps_e_f_g_h.dat")}});
  EXPECT_EQ(Shown(d), "RB9531 T3 '7' enabled hidden in /kept");
  EXPECT_EQ(Choose("QZ48b_x_T2_16ps_e_f_g_h.dat"), "QZ48 T2 '16' disabled shown");
  EXPECT_EQ(Choose("QZ48_x_ITTR_X_e_f_g_h.dat"), "QZ48 T3 '' disabled shown");  // no list item: resolution emptied
  EXPECT_EQ(Choose("RB9531x_T1_4ps_d_e_f_g.dat"), "RB9531 T1 '4' disabled hidden");  // seven pieces: edit kept

  for (const char* name : {"run_2.dat", "run_10.dat", "run_3.txt", "other_1.dat"})
    WriteFile(dir / name, BigEndian({1u}));
  WriteFile(dir / "run_4.dat", std::string());  // empty files are no part of the series
  Choose("run_1.dat");
  EXPECT_EQ(Range(d), "0~2");
  d.Set({{"IDC_RANGE_TO", "9"}});
  d.ChooseInput(dir / "nothing_5.dat");
  EXPECT_EQ(Range(d), "0~2");  // a path naming nothing keeps the earlier count
  ScratchDir empty;
  WriteFile(empty / "run_1.bin", BigEndian({1u}));
  d.ChooseInput(empty / "run_1.bin");
  EXPECT_EQ(Range(d), "0~-1");  // no *.dat file: an empty series
}

// Typed (then Enter or focus out), pasted or chosen, the whole path counts: nine pieces set nothing, eight would.
TEST_F(Refresh, TypedPastedAndChosenPathsGiveTheSameForm) {
  const std::string path = dir / "QZ48_x_T2_16ps_e_f_g_h_i.dat";
  const QString chosen = Choose(path) + " in " + out;
  QGuiApplication::clipboard()->setText(Q(path));
  for (const std::string way : {"typed, Enter", "typed, focus leaves", "pasted", "pasted over a selection"}) {
    SCOPED_TRACE(way);
    Dialog fresh;
    fresh.dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&fresh.dlg));
    QLineEdit* edit = fresh.Edit("IDC_INPUT_FILE");
    edit->setFocus();
    Preset(fresh);
    const QString before = Shown(fresh);
    if (way.starts_with("typed")) QTest::keyClicks(edit, Q(path));
    if (way == "pasted over a selection") QTest::keyClicks(edit, "x");
    EXPECT_EQ(Shown(fresh), before);  // nothing while typing
    if (way == "typed, Enter") QTest::keyClick(edit, Qt::Key_Return);
    if (way == "typed, focus leaves") fresh.Edit("IDC_RESOLUTION")->setFocus();
    if (way == "pasted over a selection") edit->selectAll();
    if (way.starts_with("pasted")) QTest::keySequence(edit, QKeySequence::Paste);
    EXPECT_EQ(Shown(fresh), chosen);
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
  const struct {
    QStringList words;
    QString input, output, form, range;
  } cases[] = {
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
    EXPECT_EQ(d.Text("IDC_INPUT_FILE") + " | " + Range(d) + " | " + Shown(d),
              c.input + " | " + c.range + " | " + c.form + " in " + c.output);
    QTest::keyClick(d.Edit("IDC_INPUT_FILE"), Qt::Key_Return);  // Enter without a change keeps them
    EXPECT_EQ(d.Form(), c.form);
    d.ChooseInput(other / "RB9531_T3_4ps_d_e_f_g.dat");
    EXPECT_EQ(QStringList({d.Form().left(13), d.Text("IDC_RANGE_TO"), d.Text("IDC_OUTPUT_DIR")}),
              QStringList({"RB9531 T3 '4'", "0", Q(other.path().string() + "/")}));
  }
  QDir::setCurrent(previous);
}

}  // namespace
}  // namespace kestrun::test
