#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <system_error>

#include "engine/Codes.h"
#include "engine/NameRules.h"
#include "engine/RunSettings.h"
#include "ui/BrowseEdit.h"
#include "ui/KestrunDlg.h"
#include "ui/PathText.h"
#include "ui/RunSummary.h"

namespace {
std::int32_t LeadingIntegerOf(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return kestrun::LeadingInteger(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
}  // namespace

CKestrunDlg::~CKestrunDlg() { FinishRunBeforeClosing(); }

bool CKestrunDlg::ValidateInputs() {
  inputPath_ = inputFile_->text();
  if (inputPath_.isEmpty()) {
    showMessage(QStringLiteral("Invalid Input File Path!"));
    return false;
  }
  outputDir_ = outputDirEdit_->text();
  if (outputDir_.isEmpty()) {
    showMessage(QStringLiteral("Invalid Output Directory Path!"));
    return false;
  }
  generateParsed_ = genParsedFile_->isChecked();
  generateReport_ = genReport_->isChecked();
  outputOverflow_ = outputOverflowBox_->isChecked();
  outputPacketInfo_ = outputPacketInfoBox_->isChecked();
  if (!generateParsed_ && !generateReport_) {
    showMessage(QStringLiteral("Please Select \"Gen Parsed File\" or \"Gen Report\"!"));
    return false;
  }
  const QByteArray dataTypeText = dataType_->currentText().toUtf8();
  const QByteArray deviceText = deviceType_->currentText().toUtf8();
  dataTypeCode_ = kestrun::DataTypeFromText(dataTypeText.toStdString());
  const std::int32_t device = kestrun::DeviceFromText(deviceText.toStdString());
  if (device != kestrun::kDeviceUnknown) deviceCode_ = device;
  resolution_ = LeadingIntegerOf(resolutionEdit_->text());
  rangeFrom_ = LeadingIntegerOf(rangeFromEdit_->text());
  rangeTo_ = LeadingIntegerOf(rangeToEdit_->text());
  const bool timed = dataTypeCode_ >= kestrun::kDataTypeT1 && dataTypeCode_ <= kestrun::kDataTypeT3;
  if (timed && resolution_ <= 0) {
    showMessage(QStringLiteral("Resolution Not Specified!"));
    return false;
  }
  exportHdf5_ = exportHdf5Box_->isChecked();
  syncRateHz_ = 0;
  if (exportHdf5_ && dataTypeCode_ == kestrun::kDataTypeT3) {
    bool ok = false;
    syncRateHz_ = QLocale::c().toDouble(syncRateEdit_->text().trimmed(), &ok) * 1e6;
    if (!ok || !(syncRateHz_ > 0) || !std::isfinite(syncRateHz_)) {
      showMessage(QStringLiteral("Sync Rate Not Specified! Photon-HDF5 of T3 data needs the sync (laser) rate in "
                                 "MHz, such as 40."));
      return false;
    }
  }
  return true;
}

void CKestrunDlg::OnBnClickedStart() {
  if (runActive_ || !ValidateInputs()) return;
  kestrun::RunSettings settings;
  settings.inputPath = EnginePath(inputPath_);
  settings.outputDir = EnginePath(outputDir_);
  settings.generateParsed = generateParsed_;
  settings.generateReport = generateReport_;
  settings.outputOverflow = outputOverflow_;
  settings.outputPacketInfo = outputPacketInfo_;
  settings.dataType = dataTypeCode_;
  settings.deviceType = deviceCode_;
  settings.resolutionPs = resolution_;
  settings.rangeFirst = rangeFrom_;
  settings.rangeLast = rangeTo_;
  settings.hdf5.generate = exportHdf5_;
  settings.hdf5.syncRateHz = syncRateHz_;
  settings.ApplyTo(parser_);
  preview_.Reset(dataTypeCode_, resolution_);
  parser_.recordSink = &preview_;
  parser_.onProgress = [this](int percent) { emit parseProgress(percent); };
  parser_.onStatus = [this](int status) { emit parseStatus(status); };
  parser_.onMessage = [this](std::string path) { emit currentFile(UiText(path)); };
  parser_.onFinished = [this] { emit workerFinished(); };
  progress_->setRange(0, 100);
  progress_->setValue(0);
  stopRequested_ = false;
  try {
    parser_.Start();
  } catch (const std::system_error& e) {
    showMessage(QStringLiteral("error\n") + QString::fromLocal8Bit(e.what()));
    return;
  }
  runActive_ = true;
  runClock_.start();
  if (summary_) summary_->hide();
  progressText_->setText(QStringLiteral("0%"));
  // Start comes back only when the worker has returned, so one parser never serves two runs.
  start_->setEnabled(false);
}

void CKestrunDlg::OnBnClickedStop() {
  parser_.running = false;
  if (runActive_) stopRequested_ = true;
}

void CKestrunDlg::OnParseProgress(int percent) {
  progress_->setValue(std::clamp(percent, progress_->minimum(), progress_->maximum()));
  progressText_->setText(QString::number(percent) + QStringLiteral("%"));
}

void CKestrunDlg::OnParseStatus(int) {
  // The box waits for the run's end: a failure that ends the block loop may be followed by others (the
  // report's), and the box names them all.
}

void CKestrunDlg::ShowCurrentFile(const QString& path) {
  inputFile_->setText(path);
  // The run raises `running` only just before it reports its first file: a stop asked for earlier
  // would otherwise be lost.
  if (stopRequested_) parser_.running = false;
}

void CKestrunDlg::OnWorkerFinished() {
  runActive_ = false;
  start_->setEnabled(true);
  emit runEnded();
  if (closing_) return;
  ShowRunEnd();
  ShowSummary();
}

void CKestrunDlg::ShowSummary() {
  RunOutcome outcome;
  const bool stopped = stopRequested_ && parser_.bytesRead < parser_.totalBytes;
  outcome.state = !parser_.failures.empty() ? QStringLiteral("Failed")
                  : stopped                 ? QStringLiteral("Stopped")
                                            : QStringLiteral("Finished");
  // Files read to their end: the run reads them in order.
  std::uint64_t through = 0;
  for (const kestrun::FileEntry& file : parser_.files) {
    through += file.size;
    if (through > parser_.bytesRead) break;
    ++outcome.filesConverted;
  }
  outcome.filesInRun = static_cast<int>(parser_.files.size());
  outcome.inputBytes = parser_.bytesRead;
  outcome.elapsedMs = runClock_.elapsed();
  outcome.outputDir = QDir::cleanPath(UiText(parser_.outputDir));
  const std::pair<bool, std::string> outputs[] = {{generateParsed_, parser_.ParsedFilePath()},
                                                  {generateReport_, parser_.ReportFilePath()},
                                                  {exportHdf5_, parser_.Hdf5FilePath()}};
  for (const auto& [asked, path] : outputs) {
    const QString shown = QDir::toNativeSeparators(QDir::cleanPath(UiText(path)));
    if (asked && QFileInfo::exists(shown)) outcome.outputs << shown;
    if (asked && path == parser_.ReportFilePath() && QFileInfo::exists(shown)) outcome.reportPath = shown;
  }
  outcome.verdicts = ReportVerdicts(parser_.decoderState, dataTypeCode_);
  if (!summary_) summary_ = new RunSummary(this);
  summary_->Show(outcome, preview_);
}

void CKestrunDlg::ShowRunEnd() {
  // The worker has returned: its failures and warnings no longer change.
  if (parser_.failures.empty() && parser_.warnings.empty()) return;
  QString text = parser_.failures.empty() ? QStringLiteral("warning") : QStringLiteral("error");
  for (const kestrun::RunFailure& failure : parser_.failures) {
    if (!failure.message.empty()) text += QStringLiteral("\n") + UiText(failure.message);
  }
  for (const std::string& warning : parser_.warnings) text += QStringLiteral("\n") + UiText(warning);
  showMessage(text);
}

void CKestrunDlg::FinishRunBeforeClosing() {
  if (!runActive_) return;
  closing_ = true;
  stopRequested_ = true;
  parser_.running = false;
  QEventLoop loop;
  connect(this, &CKestrunDlg::runEnded, &loop, &QEventLoop::quit);
  if (runActive_) loop.exec();
}

void CKestrunDlg::closeEvent(QCloseEvent* event) {
  FinishRunBeforeClosing();
  closing_ = false;
  QDialog::closeEvent(event);
}
