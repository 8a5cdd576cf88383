#include <QGroupBox>
#include <QToolButton>
#include <QTest>
#include <vector>

#include "DialogTest.h"
#include "ui/DialogUnits.h"

namespace kestrun::test {
namespace {

const char* const kControls[] = {"IDC_INPUT_FILE", "IDC_OUTPUT_DIR", "IDC_GEN_PARSED_FILE", "IDC_GEN_REPORT",
                                 "IDC_START", "IDC_STOP", "IDC_PROGRESS", "IDC_DATA_TYPE", "IDC_RESOLUTION",
                                 "IDC_OUTPUT_OVERFLOW", "IDC_DEVICE_TYPE", "IDC_PROGRESS_TEXT", "IDC_RANGE_FROM",
                                 "IDC_RANGE_TO", "IDC_OUTPUT_PACKET_INFO"};

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
  EXPECT_EQ(d.Combo("IDC_DATA_TYPE")->currentText(), "T1");
  EXPECT_EQ(d.Combo("IDC_DEVICE_TYPE")->currentText(), "QZ48");
  EXPECT_TRUE(d.Check("IDC_GEN_PARSED_FILE")->isChecked());
  EXPECT_FALSE(d.Check("IDC_GEN_REPORT")->isChecked());
  EXPECT_FALSE(d.Check("IDC_OUTPUT_OVERFLOW")->isChecked());
  EXPECT_FALSE(d.Check("IDC_OUTPUT_PACKET_INFO")->isChecked());
  EXPECT_EQ(d.Text("IDC_PROGRESS_TEXT"), "0%");
  EXPECT_EQ(d.Get<QProgressBar>("IDC_PROGRESS")->value(), 0);
  for (const char* id : {"IDC_INPUT_FILE", "IDC_OUTPUT_DIR", "IDC_RESOLUTION", "IDC_RANGE_FROM", "IDC_RANGE_TO"}) {
    EXPECT_EQ(d.Edit(id)->text(), "") << id;
  }
  for (const char* id : kControls) {
    EXPECT_FALSE(d.Get(id)->isHidden()) << id;
    EXPECT_TRUE(d.Get(id)->isEnabled()) << id;
  }
  EXPECT_FALSE(d.dlg.IsRunning());
  EXPECT_TRUE(d.messages.isEmpty());
  EXPECT_EQ(d.Check("IDC_GEN_PARSED_FILE")->text(), "Generate Parsed File");
  EXPECT_EQ(d.Check("IDC_GEN_REPORT")->text(), "Generate Report");
  EXPECT_EQ(d.Check("IDC_OUTPUT_OVERFLOW")->text(), "Output Overflow");
  EXPECT_EQ(d.Check("IDC_OUTPUT_PACKET_INFO")->text(), "Output Packet Info");
  EXPECT_EQ(d.Button("IDC_START")->text(), "Start");
  EXPECT_EQ(d.Button("IDC_STOP")->text(), "Stop");
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
  EXPECT_EQ(d.Get("IDC_INPUT_FILE")->geometry(), du.Rect(7, 30, 359, 14));
  EXPECT_EQ(d.Get("IDC_OUTPUT_DIR")->geometry(), du.Rect(7, 81, 359, 14));
  EXPECT_EQ(d.Get("IDC_START")->geometry(), du.Rect(175, 227, 50, 14));
  EXPECT_EQ(d.Get("IDC_STOP")->geometry(), du.Rect(253, 227, 50, 14));
  EXPECT_EQ(d.Get("IDC_PROGRESS")->geometry(), du.Rect(7, 202, 359, 7));
  EXPECT_EQ(d.Get("IDC_RANGE_FROM")->geometry(), du.Rect(66, 48, 49, 14));
  EXPECT_EQ(d.Get("IDC_RANGE_TO")->geometry(), du.Rect(126, 48, 49, 14));
  EXPECT_EQ(d.Get("IDC_RESOLUTION")->geometry(), du.Rect(50, 179, 49, 14));
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
  QTest::keyClicks(d.Edit("IDC_RANGE_FROM"), "1a-2 3.");
  EXPECT_EQ(d.Edit("IDC_RANGE_FROM")->text(), "123");
  QTest::keyClicks(d.Edit("IDC_RANGE_TO"), "x9");
  EXPECT_EQ(d.Edit("IDC_RANGE_TO")->text(), "9");
  QTest::keyClicks(d.Edit("IDC_RESOLUTION"), "25ps -x");
  EXPECT_EQ(d.Edit("IDC_RESOLUTION")->text(), "25ps -x");
}

TEST(DialogForm, DataTypeSelectionEnablesOrDisablesResolution) {
  Dialog d;
  QComboBox* type = d.Combo("IDC_DATA_TYPE");
  QLineEdit* resolution = d.Edit("IDC_RESOLUTION");
  resolution->setText("16");
  auto select = [type](int index) {
    type->setCurrentIndex(index);
    emit type->activated(index);
  };
  select(4);  // ITTR_M
  EXPECT_FALSE(resolution->isEnabled());
  EXPECT_EQ(resolution->text(), "16");
  select(3);  // ITTR_T
  EXPECT_FALSE(resolution->isEnabled());
  select(1);  // T2
  EXPECT_TRUE(resolution->isEnabled());
  EXPECT_EQ(resolution->text(), "16");
  // A change of device has no effect on the form.
  QComboBox* device = d.Combo("IDC_DEVICE_TYPE");
  device->setCurrentIndex(0);
  emit device->activated(0);
  EXPECT_TRUE(resolution->isEnabled());
  EXPECT_FALSE(d.Get("IDC_OUTPUT_PACKET_INFO")->isHidden());
}

TEST(DialogForm, EnterAndEscapeDoNotClose) {
  Dialog d;
  d.dlg.show();
  for (const char* id : {"IDC_RESOLUTION", "IDC_INPUT_FILE", "IDC_RANGE_TO"}) {
    QTest::keyClick(d.Get(id), Qt::Key_Return);
    QTest::keyClick(d.Get(id), Qt::Key_Enter);
    QTest::keyClick(d.Get(id), Qt::Key_Escape);
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
