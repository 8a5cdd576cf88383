#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <functional>

#include "DialogTest.h"

namespace kestrun::test {
namespace {

// What the refresh decides, read off the form: device, data type, resolution and the state of the
// resolution edit and the packet info box.
QString Form(Dialog& d) {
  return d.Combo("IDC_DEVICE_TYPE")->currentText() + " " + d.Combo("IDC_DATA_TYPE")->currentText() + " '" +
         d.Edit("IDC_RESOLUTION")->text() + (d.Edit("IDC_RESOLUTION")->isEnabled() ? "' enabled" : "' disabled") +
         (d.Get("IDC_OUTPUT_PACKET_INFO")->isHidden() ? " hidden" : " shown");
}

// A dialog holding T3, resolution "7", device KR77A5 before the file of `name` is chosen.
class Refresh : public ::testing::Test {
 protected:
  QString Choose(const std::string& name) {
    WriteFile(dir / name, BigEndian({1u}));
    d.Combo("IDC_DATA_TYPE")->setCurrentIndex(2);
    d.Combo("IDC_DEVICE_TYPE")->setCurrentIndex(0);
    d.Edit("IDC_RESOLUTION")->setText("7");
    d.ChooseInput(dir / name);
    return Form(d);
  }
  ScratchDir dir;
  Dialog d;
};

// The name rules themselves are tested in the engine; here: every field they decide reaches the
// form, and what they leave unset stays as it was.
TEST_F(Refresh, TheNameDecidesTheFormAndWhatItLeavesUnsetStays) {
  EXPECT_EQ(Choose("a.dat"), "RB9531 T3 '7' enabled hidden");
  EXPECT_EQ(d.Text("IDC_RANGE_FROM"), "0");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "0");
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), Q(dir.path().string() + "/"));
  EXPECT_EQ(Choose("QZ48b_x_T2_16ps_e_f_g_h.dat"), "QZ48 T2 '16' disabled shown");
  // No list item, yet the resolution is emptied.
  EXPECT_EQ(Choose("QZ48_x_ITTR_X_e_f_g_h.dat"), "QZ48 T3 '' disabled shown");
  // Seven pieces say nothing about the resolution edit: it stays disabled from the QZ48 name.
  EXPECT_EQ(Choose("RB9531x_T1_4ps_d_e_f_g.dat"), "RB9531 T1 '4' disabled hidden");
}

TEST_F(Refresh, RangeCountsTheSeries) {
  for (const char* name : {"run_2.dat", "run_10.dat", "run_3.txt", "other_1.dat"}) WriteFile(dir / name, BigEndian({1u}));
  WriteFile(dir / "run_4.dat", std::string());  // empty files are no part of the series
  Choose("run_1.dat");
  EXPECT_EQ(d.Text("IDC_RANGE_FROM"), "0");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "2");
  // A path naming nothing keeps the earlier count.
  d.Edit("IDC_RANGE_TO")->setText("9");
  d.ChooseInput(dir / "nothing_5.dat");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "2");
  // A directory without *.dat files gives an empty series.
  ScratchDir empty;
  WriteFile(empty / "run_1.bin", BigEndian({1u}));
  d.ChooseInput(empty / "run_1.bin");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "-1");
}

TEST_F(Refresh, SelectingByNameDoesNotRunTheSelectionReaction) {
  QComboBox* type = d.Combo("IDC_DATA_TYPE");
  type->setCurrentIndex(4);
  emit type->activated(4);
  ASSERT_FALSE(d.Edit("IDC_RESOLUTION")->isEnabled());
  WriteFile(dir / "RB9531_T3_4ps_d_e_f_g.dat", BigEndian({1u}));
  d.ChooseInput(dir / "RB9531_T3_4ps_d_e_f_g.dat");
  EXPECT_EQ(type->currentText(), "T3");
  EXPECT_FALSE(d.Edit("IDC_RESOLUTION")->isEnabled());
}

TEST_F(Refresh, UserChangesGiveWayAtTheNextChangeOfPath) {
  Choose("a.dat");
  d.Combo("IDC_DEVICE_TYPE")->setCurrentIndex(0);
  d.Edit("IDC_OUTPUT_DIR")->setText("/somewhere/else");
  d.ChooseInput(dir / "a.dat");
  EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "RB9531");
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), Q(dir.path().string() + "/"));
  // Text set by the program (as a run does) leaves the other fields alone.
  d.Edit("IDC_OUTPUT_DIR")->setText("/kept");
  d.Edit("IDC_INPUT_FILE")->setText(Q(dir / "QZ48_x_T2_16ps_e_f_g_h.dat"));
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), "/kept");
}

// However the path comes, the form follows the whole path: typed (once Enter is pressed or the focus
// leaves), pasted or chosen. A nine-piece name sets nothing; its first eight would set T2, 16 ps.
TEST_F(Refresh, TypedPastedAndChosenPathsGiveTheSameForm) {
  const QString path = Q(dir / "QZ48_x_T2_16ps_e_f_g_h_i.dat");
  WriteFile(path.toStdString(), BigEndian({1u}));
  const QString chosen = Choose(path.toStdString());
  QGuiApplication::clipboard()->setText(path);
  const std::pair<const char*, std::function<void(Dialog&, QLineEdit*)>> ways[] = {
      {"typed, Enter", [&](Dialog&, QLineEdit* e) { QTest::keyClick(e, Qt::Key_Return); }},
      {"typed, focus leaves", [&](Dialog& d, QLineEdit*) { d.Edit("IDC_RESOLUTION")->setFocus(); }},
      {"pasted", [&](Dialog&, QLineEdit* e) { QTest::keySequence(e, QKeySequence::Paste); }},
      {"pasted over a selection", [&](Dialog&, QLineEdit* e) {
         QTest::keyClicks(e, "x");
         e->selectAll();
         QTest::keySequence(e, QKeySequence::Paste);
       }},
  };
  for (const auto& [way, finish] : ways) {
    Dialog fresh;
    fresh.dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&fresh.dlg));
    QLineEdit* edit = fresh.Edit("IDC_INPUT_FILE");
    edit->setFocus();
    fresh.Combo("IDC_DATA_TYPE")->setCurrentIndex(2);
    fresh.Combo("IDC_DEVICE_TYPE")->setCurrentIndex(0);
    fresh.Edit("IDC_RESOLUTION")->setText("7");
    const QString before = Form(fresh);
    if (std::string(way).starts_with("typed")) {
      QTest::keyClicks(edit, path);
      EXPECT_EQ(Form(fresh), before) << way;  // nothing while typing
      EXPECT_EQ(fresh.Text("IDC_OUTPUT_DIR"), "") << way;
    }
    finish(fresh, edit);
    EXPECT_EQ(Form(fresh), chosen) << way;
    EXPECT_EQ(fresh.Text("IDC_OUTPUT_DIR"), Q(dir.path().string() + "/")) << way;
  }
}

TEST(CommandLine, FourWordsFillTheFormUntilTheUserChangesThePath) {
  ScratchDir dir;
  for (int i = 1; i <= 3; ++i) WriteFile(dir / ("a_" + std::to_string(i) + ".dat"), BigEndian({1u}));
  Dialog d({Q(dir / "a_1.dat"), "T2", "25", "QZ48"});
  EXPECT_EQ(d.Text("IDC_INPUT_FILE"), Q(dir / "a_1.dat"));
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), Q(dir.path().string() + "/"));
  EXPECT_EQ(d.Text("IDC_RANGE_FROM"), "0");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "2");
  EXPECT_EQ(d.Combo("IDC_DATA_TYPE")->currentText(), "T2");
  EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "QZ48");
  EXPECT_EQ(d.Text("IDC_RESOLUTION"), "25");
  // Enter without a change keeps them.
  QTest::keyClick(d.Edit("IDC_INPUT_FILE"), Qt::Key_Return);
  EXPECT_EQ(d.Text("IDC_RESOLUTION"), "25");
  ScratchDir other;
  WriteFile(other / "RB9531_T3_4ps_d_e_f_g.dat", BigEndian({1u}));
  d.ChooseInput(other / "RB9531_T3_4ps_d_e_f_g.dat");
  EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "RB9531");
  EXPECT_EQ(d.Combo("IDC_DATA_TYPE")->currentText(), "T3");
  EXPECT_EQ(d.Text("IDC_RESOLUTION"), "4");
  EXPECT_EQ(d.Text("IDC_RANGE_TO"), "0");
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), Q(other.path().string() + "/"));
}

TEST(CommandLine, WordsOtherThanTheListsAndUncutResolution) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", BigEndian({1u}));
  Dialog ittr({Q(dir / "a.dat"), "ITTR_T", "0", "RB9531"});
  EXPECT_EQ(ittr.Combo("IDC_DEVICE_TYPE")->currentText(), "RB9531");
  EXPECT_EQ(ittr.Combo("IDC_DATA_TYPE")->currentText(), "T1");
  EXPECT_EQ(ittr.Text("IDC_RESOLUTION"), "");
  Dialog other({Q(dir / "a.dat"), "T3", "25ps", "qz48"});
  EXPECT_EQ(other.Combo("IDC_DEVICE_TYPE")->currentText(), "KR77A5");
  EXPECT_EQ(other.Combo("IDC_DATA_TYPE")->currentText(), "T3");
  EXPECT_EQ(other.Text("IDC_RESOLUTION"), "25ps");
  Dialog folder({Q(dir.path().string()), "T1", "5", "QZ48"});  // a directory exists too
  EXPECT_EQ(folder.Text("IDC_INPUT_FILE"), Q(dir.path().string()));
  EXPECT_EQ(folder.Text("IDC_RESOLUTION"), "5");
}

TEST(CommandLine, RelativePathBecomesAbsolute) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", BigEndian({1u}));
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(Q(dir.path().string())));
  Dialog d({"a.dat", "T1", "5", "QZ48"});
  QDir::setCurrent(previous);
  EXPECT_EQ(d.Text("IDC_INPUT_FILE"), Q(dir / "a.dat"));
  EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), Q(dir.path().string() + "/"));
}

TEST(CommandLine, AnythingElseLeavesTheDefaults) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", BigEndian({1u}));
  const QString file = Q(dir / "a.dat");
  const QList<QStringList> ignored = {{file, "T2", "25"},
                                      {file, "T2", "25", "QZ48", "x"},
                                      {Q(dir / "missing.dat"), "T2", "25", "QZ48"},
                                      {}};
  for (const QStringList& words : ignored) {
    Dialog d(words);
    EXPECT_EQ(d.Text("IDC_INPUT_FILE"), "") << words.join(' ').toStdString();
    EXPECT_EQ(d.Text("IDC_OUTPUT_DIR"), "");
    EXPECT_EQ(d.Text("IDC_RESOLUTION"), "");
    EXPECT_EQ(d.Combo("IDC_DATA_TYPE")->currentText(), "T1");
    EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "QZ48");
    // The refresh still works.
    d.ChooseInput(dir / "a.dat");
    EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "RB9531");
  }
}

}  // namespace
}  // namespace kestrun::test
