#include "ui/KestrunDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/NameRules.h"
#include "ui/BrowseEdit.h"
#include "ui/DialogUnits.h"

namespace {
const QString kProgramName = QStringLiteral("Kestrun");
}

CKestrunDlg::CKestrunDlg(QStringList arguments, QWidget* parent) : QDialog(parent), arguments_(std::move(arguments)) {
  showMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramName, text, QMessageBox::Ok, this);
    box.exec();
  };
  BuildForm();
  connect(this, &CKestrunDlg::parseProgress, this, &CKestrunDlg::OnParseProgress, Qt::QueuedConnection);
  connect(this, &CKestrunDlg::parseStatus, this, &CKestrunDlg::OnParseStatus, Qt::QueuedConnection);
  connect(this, &CKestrunDlg::currentFile, this, &CKestrunDlg::ShowCurrentFile, Qt::BlockingQueuedConnection);
  connect(this, &CKestrunDlg::workerFinished, this, &CKestrunDlg::OnWorkerFinished, Qt::QueuedConnection);
  connect(start_, &QPushButton::clicked, this, &CKestrunDlg::OnBnClickedStart);
  connect(stop_, &QPushButton::clicked, this, &CKestrunDlg::OnBnClickedStop);
  connect(dataType_, &QComboBox::activated, this, &CKestrunDlg::OnCbnSelchangeDataType);
  // The name decides settings when the user has changed the path, not when a run shows its current file.
  connect(inputFile_, &BrowseEdit::pathChosen, this, &CKestrunDlg::RefreshFromInputPath);
  connect(dataType_, &QComboBox::currentIndexChanged, this, &CKestrunDlg::OnDataTypeChanged);
  OnInitDialog();
}

void CKestrunDlg::BuildForm() {
  setWindowTitle(kProgramName);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  QFont formFont = font();
  formFont.setPointSize(9);
  setFont(formFont);
  const DialogUnits du(formFont);

  auto place = [&](QWidget* w, const char* id, int x, int y, int width, int height) {
    if (id) w->setObjectName(QString::fromLatin1(id));
    w->setGeometry(du.Rect(x, y, width, height));
  };
  // Texts wider than their box in this font keep their position and grow to the right.
  auto fit = [](QWidget* w) { w->resize(std::max(w->width(), w->sizeHint().width()), w->height()); };
  auto label = [&](const QString& text, int x, int y, int width, int height) {
    auto* l = new QLabel(text, this);
    place(l, nullptr, x, y, width, height);
    fit(l);
    return l;
  };
  auto checkBox = [&](const char* id, const QString& text, int x, int y, int width, int height) {
    auto* c = new QCheckBox(text, this);
    place(c, id, x, y, width, height);
    fit(c);
    return c;
  };
  auto comboBox = [&](const char* id, int x, int y, int width) {
    auto* c = new QComboBox(this);
    c->setEditable(false);
    place(c, id, x, y, width, 14);  // the closed list; the template's height is the dropped one's
    return c;
  };
  auto button = [&](const char* id, const QString& text, int x, int y, int width, int height) {
    auto* b = new QPushButton(text, this);
    place(b, id, x, y, width, height);
    return b;
  };

  label(QStringLiteral("Input File"), 7, 16, 46, 8);
  inputFile_ = new BrowseEdit(BrowseEdit::Mode::File, this);
  place(inputFile_, "IDC_INPUT_FILE", 7, 30, 359, 14);
  label(QStringLiteral("Output Directory"), 7, 68, 54, 8);
  outputDirEdit_ = new BrowseEdit(BrowseEdit::Mode::Folder, this);
  place(outputDirEdit_, "IDC_OUTPUT_DIR", 7, 81, 359, 14);
  genParsedFile_ = checkBox("IDC_GEN_PARSED_FILE", QStringLiteral("Generate Parsed File"), 11, 114, 80, 10);
  genReport_ = checkBox("IDC_GEN_REPORT", QStringLiteral("Generate Report"), 11, 132, 69, 10);
  start_ = button("IDC_START", QStringLiteral("Start"), 175, 227, 50, 14);
  stop_ = button("IDC_STOP", QStringLiteral("Stop"), 253, 227, 50, 14);
  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  place(progress_, "IDC_PROGRESS", 7, 202, 359, 7);
  label(QStringLiteral("Data Type"), 7, 160, 34, 8);
  dataType_ = comboBox("IDC_DATA_TYPE", 51, 158, 48);
  label(QStringLiteral("Resolution"), 7, 184, 32, 8);
  resolutionEdit_ = new QLineEdit(this);
  place(resolutionEdit_, "IDC_RESOLUTION", 50, 179, 49, 14);
  outputOverflowBox_ = checkBox("IDC_OUTPUT_OVERFLOW", QStringLiteral("Output Overflow"), 105, 115, 69, 10);
  auto* group = new QGroupBox(QStringLiteral("Report Options"), this);
  place(group, nullptr, 7, 101, 359, 49);
  group->lower();  // a frame behind the check boxes, not a cover over them
  group->setAttribute(Qt::WA_TransparentForMouseEvents);
  label(QStringLiteral("Device Type"), 138, 160, 40, 8);
  deviceType_ = comboBox("IDC_DEVICE_TYPE", 182, 158, 48);
  progressText_ = label(QString(), 173, 210, 19, 8);
  progressText_->setObjectName(QStringLiteral("IDC_PROGRESS_TEXT"));
  progressText_->setMinimumWidth(progressText_->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
  fit(progressText_);
  label(QStringLiteral("ps"), 102, 183, 8, 8);
  // Wider in English than its box: it ends where the box ends, next to the first number.
  QLabel* parseFileNo = label(QStringLiteral("Parse file no."), 41, 50, 24, 8);
  parseFileNo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const int right = du.X(41) + du.X(24);
  const int width = std::max(parseFileNo->width(), parseFileNo->sizeHint().width());
  parseFileNo->setGeometry(right - width, parseFileNo->y(), width, parseFileNo->height());
  rangeFromEdit_ = new DigitsEdit(this);
  place(rangeFromEdit_, "IDC_RANGE_FROM", 66, 48, 49, 14);
  label(QStringLiteral("~"), 117, 51, 8, 8);
  rangeToEdit_ = new DigitsEdit(this);
  place(rangeToEdit_, "IDC_RANGE_TO", 126, 48, 49, 14);
  label(QStringLiteral("files"), 178, 51, 22, 8);
  outputPacketInfoBox_ = checkBox("IDC_OUTPUT_PACKET_INFO", QStringLiteral("Output Packet Info"), 105, 132, 77, 10);

  // Photon-HDF5, in the free space right of the device type; the sync rate is the time unit of T3 data.
  exportHdf5Box_ = checkBox("IDC_EXPORT_HDF5", QStringLiteral("Export Photon-HDF5"), 245, 160, 90, 10);
  exportHdf5Box_->setEnabled(kestrun::Hdf5Available());
  syncRateLabel_ = label(QStringLiteral("Sync rate"), 245, 184, 32, 8);
  syncRateLabel_->setObjectName(QStringLiteral("IDC_SYNC_RATE_LABEL"));
  syncRateEdit_ = new QLineEdit(this);
  place(syncRateEdit_, "IDC_SYNC_RATE", 280, 179, 49, 14);
  syncRateEdit_->setToolTip(QStringLiteral("T3: the sync (laser) repetition rate, needed by Photon-HDF5"));
  syncRateUnit_ = label(QStringLiteral("MHz"), 332, 183, 18, 8);
  syncRateUnit_->setObjectName(QStringLiteral("IDC_SYNC_RATE_UNIT"));

  QWidget* const tabOrder[] = {inputFile_, outputDirEdit_, genParsedFile_, genReport_, start_, stop_, dataType_,
                               resolutionEdit_, outputOverflowBox_, deviceType_, rangeFromEdit_, rangeToEdit_,
                               outputPacketInfoBox_, exportHdf5Box_, syncRateEdit_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
    setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
  setFixedSize(du.X(373), du.Y(252));
}

void CKestrunDlg::OnInitDialog() {
  setWindowTitle(windowTitle() + QStringLiteral(" ") + QStringLiteral(KESTRUN_VERSION));
  for (const char* item : kestrun::kDataTypeItems) dataType_->addItem(QString::fromLatin1(item));
  dataType_->setCurrentIndex(0);
  for (const char* item : kestrun::kDeviceItems) deviceType_->addItem(QString::fromLatin1(item));
  deviceType_->setCurrentIndex(2);
  genParsedFile_->setChecked(true);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progressText_->setText(QStringLiteral("0%"));
  OnDataTypeChanged(dataType_->currentIndex());
  ApplyCommandLine();
}

void CKestrunDlg::OnDataTypeChanged(int index) {
  // However the type was set (list, name, command line): only T3 needs a sync rate.
  const bool t3 = dataType_->itemText(index) == u"T3";
  syncRateEdit_->setEnabled(t3);
  syncRateLabel_->setEnabled(t3);
  syncRateUnit_->setEnabled(t3);
}

void CKestrunDlg::OnCbnSelchangeDataType() {
  const QString text = dataType_->currentText();
  if (text == u"T1" || text == u"T2" || text == u"T3") resolutionEdit_->setEnabled(true);
  if (text == u"ITTR_T" || text == u"ITTR_M") resolutionEdit_->setEnabled(false);
}

void CKestrunDlg::keyPressEvent(QKeyEvent* event) {
  // Neither Escape nor Enter ends the program; a focused push button still takes Enter itself.
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}
