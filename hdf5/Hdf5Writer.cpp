// The HDF5 file of a run: Photon-HDF5 0.5 for T2 and T3, Kestrun's own layout for T1 histograms and
// ITTR intensities (docs/FORMATS.md). Columns grow chunk by chunk as the records come, so memory stays
// flat; what only the end of the run knows is written by Complete.
#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/Codes.h"
#include "engine/Hdf5Output.h"
#include "engine/OutputFile.h"
#include "engine/PathPieces.h"
#include "engine/Platform.h"
#include "engine/TdcFileParser.h"
#include "hdf5/Hdf5Library.h"
#include "hdf5/Hdf5Nodes.h"

namespace kestrun {

namespace {

constexpr const char* kPhotonFormat = "Photon-HDF5";
constexpr const char* kPhotonVersion = "0.5";
constexpr const char* kPhotonUrl = "http://photon-hdf5.org/";
constexpr const char* kKestrunFormat = "Kestrun-HDF5";
constexpr const char* kKestrunVersion = "1";
constexpr std::int64_t kTcspcBins = 32768;  // 15 bits of delay time

const char* DeviceName(std::int32_t device) {
  switch (device) {
    case kDeviceKR77A5:
      return "KR77A5";
    case kDeviceRB9531:
      return "RB9531";
    case kDeviceQZ48:
      return "QZ48";
    default:
      return DeviceDisplayName(device);
  }
}

std::string LocalTime(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string FileName(const std::string& path) {
  const PathPieces p = SplitPath(path);
  return p.stem + p.extension;
}

class Hdf5Writer final : public Hdf5Output {
 public:
  bool Open(const std::string& finalPath, const Hdf5Settings& settings, std::int32_t dataType,
            std::int32_t resolutionPs, std::string& failure);
  bool Take(const RecordChunk& chunk) override;
  bool TakeHistogram(const HistogramPiece& piece) override;
  bool Finish(const RecordTotals& totals) override;
  bool Complete(TdcFileParser& parser, bool stopped) override;
  void Discard() override;
  const std::string& Failure() const override { return failure_; }
  ~Hdf5Writer() override { Discard(); }

 private:
  bool Fail() {
    if (failure_.empty()) failure_ = "Could Not Write HDF5 File: " + file_.FinalPath();
    return false;
  }
  bool PhotonTake(const RecordChunk& chunk);
  bool IttrTake(const RecordChunk& chunk);
  bool WritePhotonMetadata(TdcFileParser& parser);
  bool WriteKestrunGroup(TdcFileParser& parser, bool stopped);
  bool WriteIdentity(const TdcFileParser& parser, const char* format, const char* version);
  // Closes every handle and the file; true when `keep` and all of it reached the disk.
  bool CloseFile(bool keep);
  std::string Description(const TdcFileParser& parser, bool stopped) const;
  bool T3() const { return dataType_ == kDataTypeT3; }
  bool Photons() const { return dataType_ == kDataTypeT2 || dataType_ == kDataTypeT3; }
  double TimestampUnit() const { return T3() ? 1.0 / settings_.syncRateHz : resolutionPs_ * 1e-12; }

  OutputFile file_;
  h5::Id h5_;
  h5::Id user_;  // /user/kestrun
  Hdf5Settings settings_;
  std::int32_t dataType_ = 0;
  std::int32_t resolutionPs_ = 0;
  std::string failure_;
  bool failed_ = false;
  std::size_t chunksSinceWriteback_ = 0;
  RecordTotals totals_;

  // The columns of the file's type; closed all at once, before the file.
  struct Columns {
    // T2/T3: the photon columns and the markers.
    h5::Column<std::int64_t> timestamps;
    h5::Column<std::uint8_t> detectors;
    h5::Column<std::uint16_t> nanotimes;
    h5::Column<std::uint64_t> markerPositions;
    h5::Column<std::uint8_t> markerMasks;
    // ITTR rows.
    h5::Column<std::uint64_t> serialSynced;
    h5::Column<std::uint16_t> serial;
    h5::Column<std::uint8_t> channel;
    h5::Column<std::uint32_t> intensity;
    h5::Column<std::uint8_t> board;
    // T1: the histogram being received.
    h5::Column<std::uint64_t> counts;
    h5::Column<double> timeNs;
  } c_;
  std::uint64_t firstTime_ = 0;  // of the photons
  std::uint64_t lastTime_ = 0;   // the largest
};

bool Hdf5Writer::Open(const std::string& finalPath, const Hdf5Settings& settings, std::int32_t dataType,
                      std::int32_t resolutionPs, std::string& failure) {
  settings_ = settings;
  dataType_ = dataType;
  resolutionPs_ = resolutionPs;
  if (!file_.CreateForName(finalPath)) {
    failure = "Could Not Open Output File: " + finalPath;
    return false;
  }
  // The library's own clean-up at exit is not needed (every file is closed before) and would meet
  // whatever a failed close left behind. Only takes effect before the library's first use.
  static const bool noAtExit = H5dont_atexit() >= 0;
  (void)noAtExit;
  h5::Quiet();
  h5_ = h5::Id(H5Fcreate(file_.PartialPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
  bool ok = h5_.ok();
  h5::Id user = ok ? h5::Group(h5_.get(), "user") : h5::Id();
  user_ = user.ok() ? h5::Group(user.get(), "kestrun") : h5::Id();
  ok = ok && user_.ok();
  const bool compress = settings.compress;
  if (ok && Photons()) {
    h5::Id photons = h5::Group(h5_.get(), "photon_data");
    h5::Id markers = user_.ok() ? h5::Group(user_.get(), "markers") : h5::Id();
    ok = photons.ok() && markers.ok() && c_.timestamps.Create(photons.get(), "timestamps", compress) &&
         c_.detectors.Create(photons.get(), "detectors", compress) &&
         (!T3() || c_.nanotimes.Create(photons.get(), "nanotimes", compress)) &&
         c_.markerPositions.Create(markers.get(), "position", compress, 4096) &&
         c_.markerMasks.Create(markers.get(), "mask", compress, 4096);
  } else if (ok && dataType == kDataTypeT1) {
    h5::Id histograms = h5::Group(h5_.get(), "histograms");
    ok = histograms.ok();
  } else if (ok) {
    h5::Id rows = h5::Group(h5_.get(), "intensities");
    ok = rows.ok() && c_.serialSynced.Create(rows.get(), "serial_synced", compress) &&
         c_.serial.Create(rows.get(), "serial", compress) && c_.channel.Create(rows.get(), "channel", compress) &&
         c_.intensity.Create(rows.get(), "intensity", compress) && c_.board.Create(rows.get(), "board", compress);
  }
  if (!ok) {
    failure = "Could Not Open Output File: " + finalPath;
    Discard();
    return false;
  }
  return true;
}

bool Hdf5Writer::Take(const RecordChunk& chunk) {
  if (failed_) return false;
  h5::Quiet();
  const bool ok = Photons() ? PhotonTake(chunk) : IttrTake(chunk);
  if (!ok) failed_ = true;
  // About every 8 MiB of rows the file's new bytes start on their way to the disk (the library writes
  // by itself, so the whole file is named: pages already written or on their way are skipped).
  if (ok && ++chunksSinceWriteback_ == 16) {
    chunksSinceWriteback_ = 0;
    int* handle = nullptr;
    if (H5Fget_vfd_handle(h5_.get(), H5P_DEFAULT, reinterpret_cast<void**>(&handle)) >= 0 && handle)
      StartWriteback(*handle, 0, 0);
  }
  return ok || Fail();
}

bool Hdf5Writer::PhotonTake(const RecordChunk& chunk) {
  const std::span<const std::uint64_t> times = T3() ? chunk.sync : chunk.time;
  if (!times.empty()) {
    if (c_.timestamps.Rows() == 0) firstTime_ = times.front();
    std::uint64_t largest = lastTime_;
    for (const std::uint64_t t : times) largest = std::max(largest, t);
    lastTime_ = largest;
  }
  return c_.timestamps.AppendConverted(times) &&
         c_.detectors.Append(chunk.channel) && (!T3() || c_.nanotimes.Append(chunk.dtime)) &&
         c_.markerPositions.Append(chunk.markerPosition) && c_.markerMasks.Append(chunk.markerMask);
}

bool Hdf5Writer::IttrTake(const RecordChunk& chunk) {
  return c_.serialSynced.Append(chunk.serialSynced) && c_.serial.Append(chunk.serial) &&
         c_.channel.Append(chunk.channel) && c_.intensity.Append(chunk.intensity) && c_.board.Append(chunk.board);
}

bool Hdf5Writer::TakeHistogram(const HistogramPiece& piece) {
  if (failed_) return false;
  h5::Quiet();
  bool ok = true;
  if (piece.firstBin == 0) {
    // The histogram before this one is whole.
    ok = c_.counts.Flush() && c_.timeNs.Flush();
    char name[32];
    std::snprintf(name, sizeof name, "histograms/board_%u", static_cast<unsigned>(piece.board));
    h5::Id board(H5Gopen2(h5_.get(), name, H5P_DEFAULT), H5Gclose);
    if (!board.ok()) board = h5::Group(h5_.get(), name);
    std::snprintf(name, sizeof name, "channel_%u", static_cast<unsigned>(piece.channel));
    h5::Id channel = board.ok() ? h5::Group(board.get(), name) : h5::Id();
    const std::size_t chunkRows = std::min<std::size_t>(std::max<std::uint32_t>(piece.totalBins, 1), 65536);
    ok = ok && channel.ok() && c_.counts.Create(channel.get(), "counts", settings_.compress, chunkRows) &&
         c_.timeNs.Create(channel.get(), "time_ns", settings_.compress, chunkRows);
  }
  // The time axis: the start of each bin after the start of the frame.
  std::vector<double> times(piece.bins.size());
  for (std::size_t i = 0; i < times.size(); ++i) times[i] = (piece.firstBin + i) * (resolutionPs_ / 1000.0);
  ok = ok && c_.counts.Append(piece.bins) && c_.timeNs.Append(std::span<const double>(times));
  if (!ok) failed_ = true;
  return ok || Fail();
}

bool Hdf5Writer::Finish(const RecordTotals& totals) {
  totals_ = totals;
  return !failed_ || Fail();
}

std::string Hdf5Writer::Description(const TdcFileParser& parser, bool stopped) const {
  std::string text = settings_.description;
  if (text.empty()) {
    text = std::string(DataTypeText(dataType_)) + " data of a " + DeviceName(parser.deviceType) + " from " +
           (parser.files.empty() ? FileName(parser.inputPath) : FileName(parser.files.front().path));
    const std::size_t more = parser.files.size() > 1 ? parser.files.size() - 1 : 0;
    if (more > 0) text += " and " + std::to_string(more) + (more == 1 ? " more file" : " more files") + " of its series";
    if (dataType_ <= kDataTypeT3) text += ", " + std::to_string(resolutionPs_) + " ps per bin";
    if (T3()) {
      char rate[64];
      std::snprintf(rate, sizeof rate, ", sync rate %.9g Hz", settings_.syncRateHz);
      text += rate;
    }
    text += ", converted by Kestrun " KESTRUN_VERSION ".";
  }
  if (stopped) {
    text += " The conversion was stopped: this file holds the records of the first " + std::to_string(parser.bytesRead) +
            " of " + std::to_string(parser.totalBytes) + " input bytes.";
  }
  return text;
}

bool Hdf5Writer::WriteIdentity(const TdcFileParser& parser, const char* format, const char* version) {
  h5::Id identity = h5::Group(h5_.get(), "identity");
  h5::Id provenance = h5::Group(h5_.get(), "provenance");
  const std::string source = parser.files.empty() ? parser.inputPath : parser.files.front().path;
  const int photon = std::string_view(format) == kPhotonFormat;  // only that format has a public address
  return identity.ok() && provenance.ok() && h5::String(identity.get(), "creation_time", LocalTime(std::time(nullptr))) &&
         h5::String(identity.get(), "software", "Kestrun") &&
         h5::String(identity.get(), "software_version", KESTRUN_VERSION) &&
         h5::String(identity.get(), "format_name", format) && h5::String(identity.get(), "format_version", version) &&
         (photon == 0 || h5::String(identity.get(), "format_url", kPhotonUrl)) &&
         h5::String(identity.get(), "filename", FileName(file_.FinalPath())) &&
         h5::String(identity.get(), "filename_full", file_.FinalPath()) &&
         h5::String(provenance.get(), "filename", FileName(source)) &&
         h5::String(provenance.get(), "filename_full", source) &&
         h5::StringAttribute(h5_.get(), "format_name", format) &&
         h5::StringAttribute(h5_.get(), "format_version", version) &&
         (photon == 0 || h5::StringAttribute(h5_.get(), "format_url", kPhotonUrl));
}

bool Hdf5Writer::WritePhotonMetadata(TdcFileParser& parser) {
  const hid_t root = h5_.get();
  // The decoders count every event word per board and channel, as the rows are made: the detectors'
  // counts are those counts summed over the boards.
  TttrStatistics& statistics = parser.decoderState.tttrStatistics;
  statistics.FoldCounts();
  std::map<std::int32_t, std::uint64_t> perChannel;
  for (const auto& [board, channels] : statistics.eventCounts) {
    for (const auto& [channel, count] : channels) perChannel[channel] += count;
  }
  std::vector<std::uint8_t> ids;
  std::vector<std::int64_t> counts;
  for (const auto& [channel, count] : perChannel) {
    if (count == 0) continue;
    ids.push_back(static_cast<std::uint8_t>(channel));
    counts.push_back(static_cast<std::int64_t>(count));
  }
  const double unit = TimestampUnit();
  const double duration = c_.timestamps.Rows() == 0 ? 0.0 : static_cast<double>(lastTime_ - firstTime_) * unit;
  const std::uint8_t lifetime = T3() ? 1 : 0;
  const std::uint8_t no = 0;
  const std::uint8_t cw = T3() ? 0 : 1;

  h5::Id photons(H5Gopen2(root, "photon_data", H5P_DEFAULT), H5Gclose);
  h5::Id timestampSpecs = photons.ok() ? h5::Group(photons.get(), "timestamps_specs") : h5::Id();
  h5::Id measurement = photons.ok() ? h5::Group(photons.get(), "measurement_specs") : h5::Id();
  h5::Id detectorSpecs = measurement.ok() ? h5::Group(measurement.get(), "detectors_specs") : h5::Id();
  h5::Id setup = h5::Group(root, "setup");
  h5::Id setupDetectors = setup.ok() ? h5::Group(setup.get(), "detectors") : h5::Id();
  bool ok = timestampSpecs.ok() && detectorSpecs.ok() && setupDetectors.ok() &&
            h5::Scalar<double>(root, "acquisition_duration", duration) &&
            h5::Scalar<double>(timestampSpecs.get(), "timestamps_unit", unit) &&
            h5::String(measurement.get(), "measurement_type", "generic") &&
            h5::Array<std::uint8_t>(detectorSpecs.get(), "spectral_ch1", ids) &&
            h5::Scalar<std::int64_t>(setup.get(), "num_pixels", static_cast<std::int64_t>(ids.size())) &&
            h5::Scalar<std::int64_t>(setup.get(), "num_spots", 1) &&
            h5::Scalar<std::int64_t>(setup.get(), "num_spectral_ch", 1) &&
            h5::Scalar<std::int64_t>(setup.get(), "num_polarization_ch", 1) &&
            h5::Scalar<std::int64_t>(setup.get(), "num_split_ch", 1) &&
            h5::Scalar<std::uint8_t>(setup.get(), "modulated_excitation", 0) &&
            h5::Array<std::uint8_t>(setup.get(), "excitation_alternated", std::span(&no, 1)) &&
            h5::Scalar<std::uint8_t>(setup.get(), "lifetime", lifetime) &&
            h5::Array<std::uint8_t>(setup.get(), "excitation_cw", std::span(&cw, 1)) &&
            h5::Array<std::uint8_t>(setupDetectors.get(), "id", ids) &&
            h5::Array<std::int64_t>(setupDetectors.get(), "counts", counts) &&
            WriteIdentity(parser, kPhotonFormat, kPhotonVersion);
  if (ok && T3()) {
    const double rate = settings_.syncRateHz;
    const double tcspcUnit = resolutionPs_ * 1e-12;
    h5::Id nanotimeSpecs = h5::Group(photons.get(), "nanotimes_specs");
    ok = nanotimeSpecs.ok() && h5::Scalar<double>(nanotimeSpecs.get(), "tcspc_unit", tcspcUnit) &&
         h5::Scalar<std::int64_t>(nanotimeSpecs.get(), "tcspc_num_bins", kTcspcBins) &&
         h5::Scalar<double>(nanotimeSpecs.get(), "tcspc_range", tcspcUnit * kTcspcBins) &&
         h5::Scalar<double>(measurement.get(), "laser_repetition_rate", rate) &&
         h5::Array<double>(setup.get(), "laser_repetition_rates", std::span(&rate, 1));
  }
  return ok;
}

bool Hdf5Writer::WriteKestrunGroup(TdcFileParser& parser, bool stopped) {
  const hid_t user = user_.get();
  std::vector<std::string> paths;
  std::vector<std::uint64_t> sizes;
  for (const FileEntry& f : parser.files) {
    paths.push_back(f.path);
    sizes.push_back(f.size);
  }
  DecoderState& d = parser.decoderState;
  bool ok = h5::String(user, "data_type", DataTypeText(dataType_)) &&
            h5::String(user, "device", DeviceName(parser.deviceType)) &&
            h5::Scalar<std::int32_t>(user, "resolution_ps", resolutionPs_) && h5::Strings(user, "source_files", paths) &&
            h5::Array<std::uint64_t>(user, "source_sizes", sizes) &&
            h5::Scalar<std::uint64_t>(user, "input_bytes", parser.bytesRead) &&
            h5::Scalar<std::uint8_t>(user, "stopped", stopped ? 1 : 0) &&
            h5::Scalar<std::uint64_t>(user, "events", totals_.events) &&
            h5::Scalar<std::uint64_t>(user, "time_decreases", totals_.timeDecreases);
  if (ok && Photons()) {
    const TttrStatistics& s = d.tttrStatistics;
    const bool packaged = s.plainLayout == 0;
    ok = h5::Scalar<std::int32_t>(user, "board", d.board >> 16) &&
         h5::Scalar<std::uint8_t>(user, "sync_continuity", s.syncErrors.Empty() ? 1 : 0) &&
         h5::Scalar<std::uint64_t>(user, "sync_errors", s.syncErrors.Count()) &&
         (!packaged ||
          (h5::Scalar<std::uint8_t>(user, "package_serial_continuity", s.packageSerialErrors.Empty() ? 1 : 0) &&
           h5::Scalar<std::uint64_t>(user, "package_serial_errors", s.packageSerialErrors.Count()))) &&
         h5::Scalar<std::uint64_t>(user, "length_errors", s.packageLengthErrors.Count());
    // The serials as numbers, read back from the report's list of them (tab and line separated).
    h5::Column<std::uint32_t> serials;
    ok = ok && serials.Create(user, "storage_overflow_serials", settings_.compress, 4096);
    std::uint64_t value = 0;
    bool digits = false;
    ok = ok && s.storageOverflowSerials.WriteTo([&](const char* data, std::size_t size) {
      for (std::size_t i = 0; i < size; ++i) {
        if (data[i] >= '0' && data[i] <= '9') {
          value = value * 10 + static_cast<std::uint64_t>(data[i] - '0');
          digits = true;
        } else if (digits) {
          if (!serials.Append(static_cast<std::uint32_t>(value))) return false;
          value = 0;
          digits = false;
        }
      }
      return true;
    });
    ok = ok && (!digits || serials.Append(static_cast<std::uint32_t>(value))) && serials.Flush();
  } else if (ok && dataType_ != kDataTypeT1) {
    ok = h5::Scalar<std::uint64_t>(user, "ittr_errors", d.ittrStatistics.errors.Count());
  }
  // The report, as its bytes: it may be larger than memory.
  h5::Column<std::uint8_t> report;
  ok = ok && report.Create(user, "report", settings_.compress);
  std::string reportFailure;
  ok = ok && d.WriteReportText(
                 dataType_,
                 [&report](const char* data, std::size_t size) {
                   return report.Append(std::span(reinterpret_cast<const std::uint8_t*>(data), size));
                 },
                 &reportFailure) &&
       report.Flush();
  if (!reportFailure.empty()) failure_ = reportFailure;
  return ok;
}

bool Hdf5Writer::Complete(TdcFileParser& parser, bool stopped) {
  if (!h5_.ok()) return false;
  h5::Quiet();
  bool ok = !failed_;
  if (ok && Photons()) {
    ok = c_.timestamps.Flush() && c_.detectors.Flush() && (!T3() || c_.nanotimes.Flush()) && c_.markerPositions.Flush() &&
         c_.markerMasks.Flush() && WritePhotonMetadata(parser);
  } else if (ok && dataType_ == kDataTypeT1) {
    ok = c_.counts.Flush() && c_.timeNs.Flush() && WriteIdentity(parser, kKestrunFormat, kKestrunVersion);
  } else if (ok) {
    const IttrStatistics& s = parser.decoderState.ittrStatistics;
    h5::Id rows(H5Gopen2(h5_.get(), "intensities", H5P_DEFAULT), H5Gclose);
    ok = c_.serialSynced.Flush() && c_.serial.Flush() && c_.channel.Flush() && c_.intensity.Flush() && c_.board.Flush() &&
         rows.ok() && h5::Attribute<std::uint32_t>(rows.get(), "mode_word", parser.decoderState.modeWord) &&
         h5::Attribute<std::uint32_t>(rows.get(), "version", s.version) &&
         h5::Attribute<std::uint32_t>(rows.get(), "statistics_number", s.statisticsNumber) &&
         h5::Attribute<std::uint32_t>(rows.get(), "statistics_period", s.statisticsPeriod) &&
         h5::Attribute<std::uint32_t>(rows.get(), "channel_enable_low", s.channelEnableLow) &&
         h5::Attribute<std::uint32_t>(rows.get(), "channel_enable_high", s.channelEnableHigh) &&
         h5::Attribute<std::uint32_t>(rows.get(), "zero_update", s.zeroUpdate) &&
         WriteIdentity(parser, kKestrunFormat, kKestrunVersion);
  }
  ok = ok && h5::String(h5_.get(), "description", Description(parser, stopped)) && WriteKestrunGroup(parser, stopped);
  if (!CloseFile(ok) || !file_.Commit()) {
    Fail();
    file_.Discard();
    return false;
  }
  return true;
}

bool Hdf5Writer::CloseFile(bool keep) {
  // Every handle goes before the file, whose close writes what the library still holds.
  c_ = {};
  user_.Close();
  if (keep && H5Fflush(h5_.get(), H5F_SCOPE_LOCAL) < 0) keep = false;
  // A close that fails to write leaves this library version with a half-freed file, on which it later
  // crashes. A file that is not kept gives its disk space back first, so that the close has room for
  // the little it still writes.
  if (!keep) {
    std::error_code ec;
    const std::string& partial = file_.PartialPath();
    std::filesystem::resize_file(std::filesystem::path(std::u8string(partial.begin(), partial.end())), 0, ec);
  }
  const bool closed = h5_.Close();
  return keep && closed;
}

void Hdf5Writer::Discard() {
  if (h5_.ok()) {
    h5::Quiet();
    CloseFile(false);
  }
  file_.Discard();
}

}  // namespace

bool Hdf5Available() { return true; }

std::unique_ptr<Hdf5Output> CreateHdf5Output(const std::string& finalPath, const Hdf5Settings& settings,
                                             std::int32_t dataType, std::int32_t resolutionPs, std::string& failure) {
  if (!h5::Load(failure)) return nullptr;
  auto writer = std::make_unique<Hdf5Writer>();
  if (!writer->Open(finalPath, settings, dataType, resolutionPs, failure)) return nullptr;
  return writer;
}

}  // namespace kestrun
