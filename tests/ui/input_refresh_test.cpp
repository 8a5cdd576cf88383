#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <functional>

#include "DialogTest.h"

namespace kestrun::test {
namespace {

// T3, resolution "7", device KR77A5: what the form holds before a path is chosen.
void Preset(Dialog& d) {
  d.Combo("IDC_DATA_TYPE")->setCurrentIndex(2);
  d.Combo("IDC_DEVICE_TYPE")->setCurrentIndex(0);
  d.Edit("IDC_RESOLUTION")->setText("7");
}

class Refresh : public ::testing::Test {
 protected:
  QString Choose(const std::string& name) {
    WriteFile(dir / name, BigEndian({1u}));
    Preset(d);
    d.ChooseInput(dir / name);
    return d.Form();
  }
  ScratchDir dir;
  Dialog d;
};

// The name rules themselves are tested in the engine; here: every field they decide reaches the
// form, and what they leave unset stays as it was.
TEST_F(Refresh, TheNameDecidesTheFormAndWhatItLeavesUnsetStays) {
  EXPECT_EQ(Choose("a.dat"), "RB9531 T3 '7' enabled hidden");
  EXPECT_EQ(d.Text("IDC_RANGE_FROM") + "~" + d.Text("IDC_RANGE_TO"), "0~0");  // a file of no series
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
  EXPECT_EQ(d.Text("IDC_RANGE_FROM") + "~" + d.Text("IDC_RANGE_TO"), "0~2");
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
    Preset(fresh);
    const QString before = fresh.Form() + " in ";
    if (std::string(way).starts_with("typed")) {
      QTest::keyClicks(edit, path);
      EXPECT_EQ(fresh.Form() + " in " + fresh.Text("IDC_OUTPUT_DIR"), before) << way;  // nothing while typing
    }
    finish(fresh, edit);
    EXPECT_EQ(fresh.Form() + " in " + fresh.Text("IDC_OUTPUT_DIR"), chosen + " in " + Q(dir.path().string() + "/"))
        << way;
  }
}

// Four words (path, type, resolution, device) fill the form until the user changes the path; anything
// else leaves the defaults. Words outside the lists leave their field, the resolution is taken uncut.
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
    QString input, output, form, rangeTo;
  } cases[] = {
      {{file, "T2", "25", "QZ48"}, file, out, "QZ48 T2 '25' enabled shown", "2"},
      {{file, "ITTR_T", "0", "RB9531"}, file, out, "RB9531 T1 '' enabled shown", "2"},
      {{file, "T3", "25ps", "qz48"}, file, out, "KR77A5 T3 '25ps' enabled shown", "2"},
      {{folder, "T1", "5", "QZ48"}, folder, parent, "QZ48 T1 '5' enabled shown", "-1"},  // a directory exists too
      {{"a_1.dat", "T1", "5", "QZ48"}, file, out, "QZ48 T1 '5' enabled shown", "2"},
      {{file, "T2", "25"}, "", "", "QZ48 T1 '' enabled shown", ""},
      {{file, "T2", "25", "QZ48", "x"}, "", "", "QZ48 T1 '' enabled shown", ""},
      {{Q(dir / "missing.dat"), "T2", "25", "QZ48"}, "", "", "QZ48 T1 '' enabled shown", ""},
      {{}, "", "", "QZ48 T1 '' enabled shown", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.join(' ').toStdString());
    Dialog d(c.words);
    const QString from = c.input.isEmpty() ? "" : "0";
    EXPECT_EQ(QStringList({d.Text("IDC_INPUT_FILE"), d.Text("IDC_OUTPUT_DIR"), d.Text("IDC_RANGE_FROM"),
                           d.Text("IDC_RANGE_TO"), d.Form()}),
              QStringList({c.input, c.output, from, c.rangeTo, c.form}));
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
