#include <QGroupBox>
#include <QToolButton>
#include <QTest>
#include <tuple>

#include "DialogTest.h"
#include "ui/DialogUnits.h"

namespace kestrun::test {
namespace {

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

TEST(DialogForm, FreshStartAndTexts) {
  Dialog d;
  EXPECT_EQ(d.dlg.windowTitle(), "Kestrun 3.0.0.2");
  EXPECT_EQ(Items(d.Combo("IDC_DATA_TYPE")), QStringList({"T1", "T2", "T3", "ITTR_T", "ITTR_M"}));
  EXPECT_EQ(Items(d.Combo("IDC_DEVICE_TYPE")), QStringList({"KR77A5", "RB9531", "QZ48"}));
  // Each control as "id 'text'", then its list item or " on" when checked, " hidden", " disabled".
  QStringList controls;
  for (const char* id : {"IDC_INPUT_FILE", "IDC_OUTPUT_DIR", "IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT", "IDC_START",
                         "IDC_STOP", "IDC_PROGRESS", "IDC_DATA_TYPE", "IDC_RESOLUTION", "IDC_OUTPUT_OVERFLOW",
                         "IDC_DEVICE_TYPE", "IDC_PROGRESS_TEXT", "IDC_RANGE_FROM", "IDC_RANGE_TO",
                         "IDC_OUTPUT_PACKET_INFO"}) {
    QWidget* w = d.Get(id);
    QString line = QString(id) + " '" + d.Text(id) + "'";
    if (auto* combo = qobject_cast<QComboBox*>(w)) line += " " + combo->currentText();
    if (auto* box = qobject_cast<QCheckBox*>(w); box && box->isChecked()) line += " on";
    controls << line + (w->isHidden() ? " hidden" : "") + (w->isEnabled() ? "" : " disabled");
  }
  EXPECT_EQ(controls.join(", "),
            "IDC_INPUT_FILE '', IDC_OUTPUT_DIR '', IDC_GEN_PARSED_FILE 'Generate Parsed File' on, "
            "IDC_GEN_REPORT 'Generate Report', IDC_START 'Start', IDC_STOP 'Stop', IDC_PROGRESS '0%', "
            "IDC_DATA_TYPE '' T1, IDC_RESOLUTION '', IDC_OUTPUT_OVERFLOW 'Output Overflow', IDC_DEVICE_TYPE '' QZ48, "
            "IDC_PROGRESS_TEXT '0%', IDC_RANGE_FROM '', IDC_RANGE_TO '', IDC_OUTPUT_PACKET_INFO 'Output Packet Info'");
  EXPECT_EQ(d.Ending(), "0% 0 start");
  EXPECT_FALSE(d.dlg.IsRunning());
  QStringList labels;
  for (QLabel* label : d.dlg.findChildren<QLabel*>()) {
    if (label->objectName().isEmpty()) labels << label->text();
  }
  EXPECT_EQ(labels, QStringList({"Input File", "Output Directory", "Data Type", "Resolution", "Device Type", "ps",
                                 "Parse file no.", "~", "files"}));
  const auto groups = d.dlg.findChildren<QGroupBox*>();
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(groups.front()->title(), "Report Options");
}

TEST(DialogForm, LayoutInDialogUnitsAndFixedSize) {
  Dialog d;
  const DialogUnits du(d.dlg.font());
  EXPECT_EQ(d.dlg.font().pointSize(), 9);
  EXPECT_EQ(d.dlg.minimumSize(), QSize(du.X(373), du.Y(252)));
  EXPECT_EQ(d.dlg.maximumSize(), d.dlg.minimumSize());
  EXPECT_FALSE(d.dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(d.dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
  const std::tuple<const char*, int, int, int, int> places[] = {
      {"IDC_INPUT_FILE", 7, 30, 359, 14}, {"IDC_OUTPUT_DIR", 7, 81, 359, 14}, {"IDC_START", 175, 227, 50, 14},
      {"IDC_STOP", 253, 227, 50, 14},     {"IDC_PROGRESS", 7, 202, 359, 7},   {"IDC_RANGE_FROM", 66, 48, 49, 14},
      {"IDC_RANGE_TO", 126, 48, 49, 14},  {"IDC_RESOLUTION", 50, 179, 49, 14}};
  for (const auto& [id, x, y, w, h] : places) EXPECT_EQ(d.Get(id)->geometry(), du.Rect(x, y, w, h)) << id;
  // Check boxes keep their place and are never narrower than their text.
  for (const char* id : {"IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT", "IDC_OUTPUT_OVERFLOW", "IDC_OUTPUT_PACKET_INFO"}) {
    QWidget* box = d.Get(id);
    EXPECT_GE(box->width(), box->sizeHint().width()) << id;
  }
  EXPECT_EQ(d.Get("IDC_OUTPUT_PACKET_INFO")->pos(), du.Rect(105, 132, 77, 10).topLeft());
}

TEST(DialogForm, TabOrderFollowsTheForm) {
  Dialog d;
  QStringList order;
  QWidget* w = d.Get("IDC_INPUT_FILE");
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty()) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != d.Get("IDC_INPUT_FILE"));
  EXPECT_EQ(order, QStringList({"IDC_INPUT_FILE", "IDC_OUTPUT_DIR", "IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT",
                                "IDC_START", "IDC_STOP", "IDC_DATA_TYPE", "IDC_RESOLUTION", "IDC_OUTPUT_OVERFLOW",
                                "IDC_DEVICE_TYPE", "IDC_RANGE_FROM", "IDC_RANGE_TO", "IDC_OUTPUT_PACKET_INFO",
                                "IDC_EXPORT_HDF5", "IDC_SYNC_RATE"}));
}

TEST(DialogForm, RangeEditsTakeDigitsOnlyResolutionTakesAnything) {
  Dialog d;
  for (const auto& [id, typed, kept] : {std::tuple{"IDC_RANGE_FROM", "1a-2 3.", "123"}, {"IDC_RANGE_TO", "x9", "9"},
                                        {"IDC_RESOLUTION", "25ps -x", "25ps -x"}}) {
    QTest::keyClicks(d.Edit(id), typed);
    EXPECT_EQ(d.Edit(id)->text(), kept);
  }
}

// A change of device has no effect on the form.
TEST(DialogForm, DataTypeSelectionEnablesOrDisablesResolution) {
  Dialog d;
  d.Edit("IDC_RESOLUTION")->setText("16");
  for (const auto& [id, index, form] : {std::tuple{"IDC_DATA_TYPE", 4, "QZ48 ITTR_M '16' disabled shown"},
                                        {"IDC_DATA_TYPE", 3, "QZ48 ITTR_T '16' disabled shown"},
                                        {"IDC_DATA_TYPE", 1, "QZ48 T2 '16' enabled shown"},
                                        {"IDC_DEVICE_TYPE", 0, "KR77A5 T2 '16' enabled shown"}}) {
    d.Combo(id)->setCurrentIndex(index);
    emit d.Combo(id)->activated(index);
    EXPECT_EQ(d.Form(), form);
  }
}

TEST(DialogForm, EnterAndEscapeDoNotClose) {
  Dialog d;
  d.dlg.show();
  for (const char* id : {"IDC_RESOLUTION", "IDC_INPUT_FILE", "IDC_RANGE_TO"}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(d.Get(id), key);
    EXPECT_TRUE(d.dlg.isVisible()) << id;
  }
  // Enter on a focused push button still presses it.
  QTest::keyClick(d.Get("IDC_START"), Qt::Key_Return);
  EXPECT_EQ(d.messages, QStringList({"Invalid Input File Path!"}));
  EXPECT_TRUE(d.dlg.isVisible());
  d.dlg.close();
  EXPECT_FALSE(d.dlg.isVisible());
}

TEST(DialogForm, BrowseButtonsReplaceTheText) {
  Dialog d;
  auto* output = d.Get<BrowseEdit>("IDC_OUTPUT_DIR");
  output->setText("/old");
  QString seen;
  output->choose = [&seen](const QString& current) {
    seen = current;
    return QString("/data/out");
  };
  output->browseButton()->click();
  EXPECT_EQ(seen, "/old");
  EXPECT_EQ(output->text(), "/data/out");
  output->choose = [](const QString&) { return QString(); };  // cancelled
  output->browseButton()->click();
  EXPECT_EQ(output->text(), "/data/out");
  // Part of the edit, not a tab stop: Alt+Down or F4 in the field presses it.
  EXPECT_EQ(output->browseButton()->focusPolicy(), Qt::NoFocus);
  int asked = 0;
  output->choose = [&asked](const QString&) { return QString("/data/key") + QString::number(++asked); };
  QTest::keyClick(output, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(output, Qt::Key_F4);
  QTest::keyClick(output, Qt::Key_Down);
  EXPECT_EQ(output->text(), "/data/key2");
}

}  // namespace
}  // namespace kestrun::test
