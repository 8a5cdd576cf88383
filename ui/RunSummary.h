#pragma once
// The window shown after every run: how it ended, what it read and wrote, the report's verdicts in
// words, and a preview chart of the data, one board and channel at a time.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/PreviewPlot.h"

class QChartView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrun {
struct DecoderState;
}

// What the dialog saw of one run.
struct RunOutcome {
  QString state;           // "Finished", "Stopped" or "Failed"
  int filesConverted = 0;  // input files read to their end
  int filesInRun = 0;
  quint64 inputBytes = 0;
  qint64 elapsedMs = 0;
  QString outputDir;
  QStringList outputs;   // the run's output files that exist
  QString reportPath;    // empty when the run wrote no report
  QStringList verdicts;  // one sentence per check of the report
};

// The report's checks of data type `dataType`, in words, from the decoders' statistics after the run.
QStringList ReportVerdicts(const kestrun::DecoderState& state, std::int32_t dataType);

class RunSummary : public QWidget {
  Q_OBJECT
 public:
  explicit RunSummary(QWidget* parent);
  // Shows `outcome` and the charts of every series of `preview`, which is copied: the window keeps
  // nothing of the engine, whose next run may begin at once.
  void Show(const RunOutcome& outcome, const kestrun::RunPreview& preview);
  // Shows the chart of plot `index`.
  void SelectPlot(int index);
  const std::vector<PreviewPlot>& plots() const { return plots_; }
  QString Text() const;  // the summary's lines, as shown

  // Opens a folder in the desktop's file manager; tests replace it.
  std::function<void(const QUrl&)> openUrl;
  // Asks where the chart's PNG goes (empty: cancelled); tests replace it.
  std::function<QString()> choosePngPath;

  void OpenFolder();
  void ShowReport();
  // Saves the shown chart; false when it could not be written.
  bool SavePng(const QString& path);

 private:
  RunOutcome outcome_;
  std::vector<PreviewPlot> plots_;
  QLabel* text_;
  QPushButton* showReport_;
  QComboBox* channel_;
  QChartView* chart_;
  QPushButton* savePng_;
  QPlainTextEdit* report_ = nullptr;
};
