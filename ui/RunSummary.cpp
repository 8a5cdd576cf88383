#include "ui/RunSummary.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Codes.h"
#include "engine/DecoderState.h"

namespace {

// The report can grow to gigabytes of error lines; the window shows its beginning.
constexpr qint64 kReportShownBytes = 8 << 20;

// 12,345,678: digits in groups, the same in every locale.
QString Number(std::uint64_t n) {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::DefaultNumberOptions);
  return c.toString(static_cast<qulonglong>(n));
}

// "none", "1 break", "2 breaks".
QString Count(std::uint64_t n, const char* what) {
  if (n == 0) return QStringLiteral("none");
  return QStringLiteral("%1 %2%3").arg(Number(n), what, n == 1 ? "" : "s");
}
QString Continuity(const kestrun::TextLog& breaks) {
  return breaks.Empty() ? QStringLiteral("yes") : QStringLiteral("no, ") + Count(breaks.Count(), "break");
}

}  // namespace

QStringList ReportVerdicts(const kestrun::DecoderState& d, std::int32_t dataType) {
  QStringList v;
  switch (dataType) {
    case kestrun::kDataTypeT1:
      v << QStringLiteral("Histogram head words: %1, tail words: %2")
               .arg(d.t1Statistics.headNumber)
               .arg(d.t1Statistics.tailNumber);
      break;
    case kestrun::kDataTypeT2:
    case kestrun::kDataTypeT3: {
      const kestrun::TttrStatistics& s = d.tttrStatistics;
      v << QStringLiteral("Sync pulse sequence continuity: ") + Continuity(s.syncErrors);
      if (s.plainLayout == 0) v << QStringLiteral("Package serial continuity: ") + Continuity(s.packageSerialErrors);
      v << QStringLiteral("Package length errors: ") + Count(s.packageLengthErrors.Count(), "package");
      break;
    }
    case kestrun::kDataTypeIttrT:
    case kestrun::kDataTypeIttrM:
      v << QStringLiteral("ITTR errors: ") + Count(d.ittrStatistics.errors.Count(), "error");
      break;
    default:
      break;
  }
  return v;
}

RunSummary::RunSummary(QWidget* parent)
    : QWidget(parent, Qt::Window),
      text_(new QLabel(this)),
      showReport_(new QPushButton(QStringLiteral("Show Report"), this)),
      channel_(new QComboBox(this)),
      chart_(new QChartView(this)),
      savePng_(new QPushButton(QStringLiteral("Save as PNG"), this)) {
  setWindowTitle(QStringLiteral("Kestrun - Run Summary"));
  text_->setObjectName(QStringLiteral("summaryText"));
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  showReport_->setObjectName(QStringLiteral("showReport"));
  channel_->setObjectName(QStringLiteral("channel"));
  chart_->setObjectName(QStringLiteral("chart"));
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->setMinimumSize(640, 360);
  savePng_->setObjectName(QStringLiteral("savePng"));
  auto* openFolder = new QPushButton(QStringLiteral("Open Folder"), this);
  openFolder->setObjectName(QStringLiteral("openFolder"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(openFolder);
  buttons->addWidget(showReport_);
  buttons->addStretch();
  auto* chartBar = new QHBoxLayout;
  chartBar->addWidget(channel_, 1);
  chartBar->addWidget(savePng_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addLayout(buttons);
  layout->addLayout(chartBar);
  layout->addWidget(chart_, 1);

  openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  choosePngPath = [this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Chart"), outcome_.outputDir,
                                        QStringLiteral("PNG images (*.png)"));
  };
  connect(openFolder, &QPushButton::clicked, this, &RunSummary::OpenFolder);
  connect(showReport_, &QPushButton::clicked, this, &RunSummary::ShowReport);
  connect(channel_, &QComboBox::currentIndexChanged, this, &RunSummary::SelectPlot);
  connect(savePng_, &QPushButton::clicked, this, [this] {
    const QString path = choosePngPath ? choosePngPath() : QString();
    if (!path.isEmpty() && !SavePng(path)) {
      QMessageBox::warning(this, windowTitle(), QStringLiteral("Could not write ") + path);
    }
  });
}

void RunSummary::Show(const RunOutcome& outcome, const kestrun::RunPreview& preview) {
  outcome_ = outcome;
  plots_.clear();
  const QSignalBlocker quiet(channel_);
  channel_->clear();
  for (const kestrun::PreviewSeries* series : preview.Series()) {
    plots_.push_back(MakePreviewPlot(preview, *series));
    channel_->addItem(SeriesName(preview, *series));
  }
  QStringList lines;
  lines << QStringLiteral("%1: %2 of %3 input files converted")
               .arg(outcome.state)
               .arg(outcome.filesConverted)
               .arg(outcome.filesInRun);
  lines << QStringLiteral("Read %1 bytes in %2 s")
               .arg(Number(outcome.inputBytes))
               .arg(static_cast<double>(outcome.elapsedMs) / 1000, 0, 'f', 2);
  lines << (outcome.outputs.isEmpty() ? QStringLiteral("No output files") : QStringLiteral("Output files:"));
  for (const QString& path : outcome.outputs) lines << QStringLiteral("    ") + path;
  if (!outcome.verdicts.isEmpty()) lines << QStringLiteral("Report:");
  for (const QString& verdict : outcome.verdicts) lines << QStringLiteral("    ") + verdict;
  text_->setText(lines.join(u'\n'));
  showReport_->setEnabled(!outcome.reportPath.isEmpty());
  channel_->setEnabled(!plots_.empty());
  savePng_->setEnabled(!plots_.empty());
  SelectPlot(plots_.empty() ? -1 : 0);
  if (report_) report_->hide();
  show();
  raise();
}

void RunSummary::SelectPlot(int index) {
  const bool valid = index >= 0 && static_cast<std::size_t>(index) < plots_.size();
  if (valid && channel_->currentIndex() != index) channel_->setCurrentIndex(index);
  QChart* chart = valid ? MakeChart(plots_[static_cast<std::size_t>(index)]) : new QChart;
  if (!valid) chart->setTitle(QStringLiteral("No data to show"));
  QChart* old = chart_->chart();
  chart_->setChart(chart);
  delete old;
}

QString RunSummary::Text() const { return text_->text(); }

void RunSummary::OpenFolder() {
  if (openUrl) openUrl(QUrl::fromLocalFile(outcome_.outputDir));
}

void RunSummary::ShowReport() {
  if (outcome_.reportPath.isEmpty()) return;
  if (!report_) {
    report_ = new QPlainTextEdit(this);
    report_->setWindowFlag(Qt::Window);
    report_->setObjectName(QStringLiteral("reportView"));
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->resize(720, 560);
  }
  report_->setWindowTitle(outcome_.reportPath);
  QFile file(outcome_.reportPath);
  if (!file.open(QIODevice::ReadOnly)) {
    report_->setPlainText(QStringLiteral("Could not read ") + outcome_.reportPath);
  } else {
    QString text = QString::fromUtf8(file.read(kReportShownBytes));
    if (!file.atEnd()) text += QStringLiteral("\n[... the rest of the report is in the file]");
    report_->setPlainText(text);
  }
  report_->show();
  report_->raise();
}

bool RunSummary::SavePng(const QString& path) { return chart_->grab().save(path, "PNG"); }
