#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <limits>

#include "engine/InputDiscovery.h"
#include "engine/NameRules.h"
#include "engine/PathPieces.h"
#include "ui/BrowseEdit.h"
#include "ui/KestrunDlg.h"
#include "ui/PathText.h"

void CKestrunDlg::DiscoverSeries(const std::string& path) {
  std::uint64_t total = 0;  // not needed here
  kestrun::DiscoverFiles(path, 0, std::numeric_limits<std::int32_t>::max(), discoveredFiles_, total);
}

void CKestrunDlg::RefreshFromInputPath() {
  inputPath_ = inputFile_->text();
  if (inputPath_.isEmpty()) return;
  const std::string path = EnginePath(inputPath_);
  DiscoverSeries(path);
  rangeFromEdit_->setText(QStringLiteral("0"));
  rangeToEdit_->setText(QString::number(static_cast<long long>(discoveredFiles_.size()) - 1));
  const kestrun::PathPieces pieces = kestrun::SplitPath(path);
  outputDir_ = UiText(pieces.directory);
  outputDirEdit_->setText(outputDir_);

  const kestrun::NameSettings name = kestrun::SettingsFromName(pieces.stem);
  deviceType_->setCurrentIndex(name.deviceIndex);
  outputPacketInfoBox_->setVisible(name.showPacketInfo);
  if (name.resolutionEnabled) resolutionEdit_->setEnabled(*name.resolutionEnabled);
  if (name.dataTypeIndex) dataType_->setCurrentIndex(*name.dataTypeIndex);
  if (name.resolutionText) resolutionEdit_->setText(UiText(*name.resolutionText));
}

void CKestrunDlg::ApplyCommandLine() {
  QStringList words;
  for (const QString& word : arguments_) {
    if (!word.isEmpty()) words.push_back(word);
  }
  if (words.size() != 4) return;
  const QString& file = words[0];
  if (!QFileInfo::exists(file)) return;
  const std::string path = EnginePath(file);
  inputPath_ = UiText(path);
  DiscoverSeries(path);
  rangeFromEdit_->setText(QStringLiteral("0"));
  rangeToEdit_->setText(QString::number(static_cast<long long>(discoveredFiles_.size()) - 1));
  outputDir_ = UiText(kestrun::SplitPath(path).directory);
  outputDirEdit_->setText(outputDir_);
  inputFile_->setText(inputPath_);

  const QString& device = words[3];
  deviceType_->setCurrentIndex(device == u"QZ48" ? 2 : device == u"RB9531" ? 1 : 0);
  const QString& type = words[1];
  const int typeIndex = type == u"T1" ? 0 : type == u"T2" ? 1 : type == u"T3" ? 2 : -1;
  if (typeIndex >= 0) {
    dataType_->setCurrentIndex(typeIndex);
    resolutionEdit_->setText(words[2]);
  }
}
