#pragma once
// The main dialog, the whole user interface. It owns the one parser for its lifetime, starts and stops
// runs, shows their progress and failures, and fills its fields from the command line and from the
// chosen input file's path and name. The controls carry their IDC_ names as objectName.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/RunPreview.h"
#include "engine/TdcFileParser.h"

class BrowseEdit;
class DigitsEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class RunSummary;

class CKestrunDlg : public QDialog {
  Q_OBJECT
 public:
  // `arguments`: the command-line words after the program's name; four of them pre-fill the form.
  explicit CKestrunDlg(QStringList arguments = {}, QWidget* parent = nullptr);
  // Ends a run that is still going on before the parser goes (see FinishRunBeforeClosing).
  ~CKestrunDlg() override;

  // Shows one message box: caption "Kestrun", the text, an OK button. Tests replace it.
  std::function<void(const QString& text)> showMessage;

  // Reads every setting into the dialog's fields and checks them in order; shows the first failure.
  bool ValidateInputs();
  // Start: validates, hands the settings to the parser and starts its worker.
  void OnBnClickedStart();
  // Stop: asks the run to end after its current block.
  void OnBnClickedStop();
  // Fills range, output directory, device, data type and resolution from the input field's path. Runs
  // when the user has finished changing the path; what a command line set holds until then.
  void RefreshFromInputPath();
  // True from Start until the run's worker has returned.
  bool IsRunning() const { return runActive_; }
  const kestrun::TdcFileParser& parser() const { return parser_; }
  // The window shown after each run; null before the first run's end.
  RunSummary* summary() const { return summary_; }

 signals:
  // Emitted by the worker thread; delivered on the dialog's thread in posting order.
  void parseProgress(int percent);
  void parseStatus(int status);
  void currentFile(const QString& path);  // the worker waits until the field shows it
  void workerFinished();
  // Emitted on the dialog's thread once the worker of a run has returned.
  void runEnded();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildForm();
  void OnInitDialog();
  void ApplyCommandLine();
  void OnCbnSelchangeDataType();
  void OnParseProgress(int percent);
  void OnParseStatus(int status);
  void ShowCurrentFile(const QString& path);
  void OnWorkerFinished();
  // One box at the end of a run with every failure and warning of it, if it had any.
  void ShowRunEnd();
  // The run summary window with the run's preview charts.
  void ShowSummary();
  void OnDataTypeChanged(int index);
  // Asks a running conversion to stop and handles events until its worker has returned: the worker
  // may be waiting for this thread to show its current file, so a plain join could never end.
  void FinishRunBeforeClosing();
  // The dialog's own discovery of the series, over every index; only the count is used.
  void DiscoverSeries(const std::string& path);

  // Fields of the form, read at Start or derived from the input path.
  std::vector<kestrun::FileEntry> discoveredFiles_;
  QString inputPath_;
  QString outputDir_;
  bool generateParsed_ = false;
  bool generateReport_ = false;
  bool outputOverflow_ = false;
  bool outputPacketInfo_ = false;
  bool exportHdf5_ = false;
  double syncRateHz_ = 0;
  std::int32_t dataTypeCode_ = 0;
  std::int32_t deviceCode_ = 0;
  std::int32_t resolution_ = 0;
  std::int32_t rangeFrom_ = 0;
  std::int32_t rangeTo_ = 0;
  QStringList arguments_;

  // State of the run as this thread sees it.
  bool runActive_ = false;
  bool stopRequested_ = false;  // Stop or closing during this run
  bool closing_ = false;        // no boxes while the window closes

  kestrun::TdcFileParser parser_;
  kestrun::RunPreview preview_;  // the run's records for the summary's charts, gathered by the worker
  QElapsedTimer runClock_;
  RunSummary* summary_ = nullptr;

  BrowseEdit* inputFile_ = nullptr;
  BrowseEdit* outputDirEdit_ = nullptr;
  QCheckBox* genParsedFile_ = nullptr;
  QCheckBox* genReport_ = nullptr;
  QCheckBox* outputOverflowBox_ = nullptr;
  QCheckBox* outputPacketInfoBox_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* progressText_ = nullptr;
  QComboBox* dataType_ = nullptr;
  QComboBox* deviceType_ = nullptr;
  QLineEdit* resolutionEdit_ = nullptr;
  DigitsEdit* rangeFromEdit_ = nullptr;
  DigitsEdit* rangeToEdit_ = nullptr;
  // Beside the form's own controls, in its free space.
  QCheckBox* exportHdf5Box_ = nullptr;
  QLineEdit* syncRateEdit_ = nullptr;
  QLabel* syncRateLabel_ = nullptr;
  QLabel* syncRateUnit_ = nullptr;
};
