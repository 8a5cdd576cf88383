// The compiled half of the kestrun package: runs the engine on its own thread and hands the records
// to Python as NumPy buffers. The Python half (kestrun/__init__.py) shapes them and raises errors.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>

#include "engine/InputDiscovery.h"
#include "engine/RunSettings.h"
#include "engine/TdcFileParser.h"
#include "python/src/Collector.h"

namespace py = pybind11;

namespace kestrun::python {
namespace {

// Bytes from malloc as a uint8 array that frees them when NumPy lets it go.
py::array_t<std::uint8_t> Adopt(Rows& rows) {
  const auto size = static_cast<py::ssize_t>(rows.Bytes());
  std::uint8_t* data = rows.Release();
  if (data == nullptr) return py::array_t<std::uint8_t>(0);
  py::capsule owner(data, [](void* p) { std::free(p); });
  return py::array_t<std::uint8_t>({size}, {1}, data, owner);
}

py::tuple BatchArrays(RecordBatch& batch) { return py::make_tuple(Adopt(batch.events), Adopt(batch.markers)); }

// One conversion or read of a series. Settings as kestrun-cli takes them; `collect` is "none",
// "all" or "chunks".
class Session {
 public:
  Session(const std::string& input, const std::string& outputDir, std::optional<std::int32_t> dataType,
          std::optional<std::int32_t> device, std::optional<std::int32_t> resolutionPs, std::int32_t first,
          std::int32_t last, const py::dict& outputs, const std::string& collect, std::size_t chunkEvents) {
    settings_.inputPath = input;
    settings_.outputDir = outputDir;
    settings_.rangeFirst = first;
    settings_.rangeLast = last;
    missing_ = SettingsForInput(settings_, {dataType, device, resolutionPs});
    settings_.generateParsed = outputs["parsed"].cast<bool>();
    settings_.generateReport = outputs["report"].cast<bool>();
    settings_.outputOverflow = outputs["overflow"].cast<bool>();
    settings_.outputPacketInfo = outputs["packet_info"].cast<bool>();
    settings_.hdf5.generate = outputs["hdf5"].cast<bool>();
    settings_.hdf5.compress = outputs["hdf5_compress"].cast<bool>();
    settings_.hdf5.syncRateHz = outputs["sync_rate"].cast<double>();
    settings_.hdf5.description = outputs["description"].cast<std::string>();
    collect_ = collect;
    chunkEvents_ = collect == "chunks" ? std::max<std::size_t>(chunkEvents, 1) : 0;
  }
  ~Session() { Stop(); }

  std::string Missing() const {
    return missing_ == MissingSetting::DataType ? "type" : missing_ == MissingSetting::Resolution ? "resolution" : "";
  }
  std::int32_t DataType() const { return settings_.dataType; }
  std::int32_t Device() const { return settings_.deviceType; }
  std::int32_t ResolutionPs() const { return settings_.resolutionPs; }

  // The files the run will convert, as discovery finds them now.
  py::list Files() const {
    std::vector<FileEntry> files;
    std::uint64_t total = 0;
    DiscoverFiles(settings_.inputPath, settings_.rangeFirst, settings_.rangeLast, files, total);
    py::list list;
    for (const FileEntry& f : files) list.append(py::make_tuple(f.path, f.size));
    return list;
  }

  void Start(std::uint64_t expectedBytes) {
    settings_.ApplyTo(parser_);
    if (collect_ != "none") {
      collector_ = std::make_unique<Collector>(settings_.dataType, chunkEvents_, expectedBytes / 4);
      parser_.recordSink = collector_.get();
      parser_.keepReportText = true;
    }
    parser_.onProgress = [this](int percent) { percent_ = percent; };
    parser_.onFinished = [this] { finished_ = true; };
    parser_.Start();
  }

  // Waits for the run's end, or (chunks) for the next batch: (events, markers) or None at the end.
  // Calls progress(percent) as the run goes on; Ctrl+C stops the run after its block and raises.
  py::object Wait(const py::object& progress) {
    int shown = -1;
    for (;;) {
      RecordBatch batch;
      bool got = false;
      {
        py::gil_scoped_release release;
        if (chunkEvents_ != 0) {
          got = collector_->NextBatch(batch, 50);
        } else if (!finished_) {
          // Idle while the run decodes: fault in the rows' next pages meanwhile.
          for (int i = 0; i < 50 && !finished_; ++i) {
            if (!collector_ || !collector_->Prefault()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }
      }
      const int percent = percent_;
      if (!progress.is_none() && percent != shown) {
        shown = percent;
        try {
          progress(percent);
        } catch (...) {  // the caller gives up (Ctrl+C in the callback, say): so does the run
          Stop();
          throw;
        }
      }
      if (PyErr_CheckSignals() != 0) {
        Stop();
        throw py::error_already_set();
      }
      if (got) return BatchArrays(batch);
      if (finished_) {
        {
          py::gil_scoped_release release;
          parser_.Wait();
        }
        if (chunkEvents_ != 0 && collector_->NextBatch(batch, 0)) return BatchArrays(batch);
        if (chunkEvents_ != 0 && !restTaken_) {
          restTaken_ = true;
          RecordBatch rest = collector_->TakeRest();
          if (rest.events.Bytes() != 0 || rest.markers.Bytes() != 0) return BatchArrays(rest);
        }
        return py::none();
      }
    }
  }

  // Everything gathered by a run that collected all its records.
  py::tuple Records() {
    RecordBatch all = collector_->TakeRest();
    return BatchArrays(all);
  }

  py::dict Histograms() {
    py::dict out;
    if (!collector_) return out;
    for (auto& [key, bins] : collector_->Histograms()) {
      py::array_t<std::uint64_t> array(static_cast<py::ssize_t>(bins.size()));
      std::copy(bins.begin(), bins.end(), array.mutable_data());
      out[py::make_tuple(key.first, key.second)] = array;
    }
    collector_->Histograms().clear();
    return out;
  }

  // Stops the run after its current block and waits for it; the records still coming are dropped.
  void Stop() {
    parser_.running = false;
    if (collector_) collector_->Abandon();
    py::gil_scoped_release release;
    // A stop asked for before the block loop begins would be lost; keep asking until the run ends.
    while (parser_.onFinished && !finished_) {
      parser_.running = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    parser_.Wait();
  }

  py::dict Result();

 private:
  RunSettings settings_;
  MissingSetting missing_ = MissingSetting::None;
  std::string collect_;
  std::size_t chunkEvents_ = 0;
  TdcFileParser parser_;
  std::unique_ptr<Collector> collector_;
  std::atomic<int> percent_{0};
  std::atomic<bool> finished_{false};
  bool restTaken_ = false;
};

}  // namespace
}  // namespace kestrun::python

namespace kestrun::python {
namespace {

// Board keys hold the board in bits 19..16; those of damaged words keep their raw value.
py::dict Counts(const std::map<int, std::map<int, std::uint64_t>>& counts) {
  py::dict out;
  for (const auto& [board, channels] : counts) {
    const int b = (board & ~0x000F0000) == 0 ? board >> 16 : board;
    for (const auto& [channel, n] : channels) out[py::make_tuple(b, channel)] = n;
  }
  return out;
}

std::string Text(const TextLog& log) {
  std::string text;
  log.WriteTo([&text](const char* data, std::size_t size) {
    text.append(data, size);
    return true;
  });
  return text;
}

py::dict Integrity(DecoderState& d, std::int32_t dataType) {
  py::dict out;
  const RecordTotals& totals = d.records.Totals();
  out["events"] = totals.events;
  out["markers"] = totals.markers;
  out["time_decreases"] = totals.timeDecreases;
  if (dataType == 2 || dataType == 3) {
    TttrStatistics& s = d.tttrStatistics;
    s.FoldCounts();
    out["event_counts"] = Counts(s.eventCounts);
    py::dict markers;
    for (const auto& [mask, n] : s.markerCounts) markers[py::int_(mask)] = n;
    out["marker_counts"] = markers;
    out["sync_overflows"] = s.syncOverflowCount;
    out["sync_continuity"] = s.syncErrors.Empty();
    out["storage_overflows"] = s.storageOverflowCount;
    out["package_heads"] = s.packageHeadCount;
    out["package_tails"] = s.packageTailCount;
    if (s.plainLayout == 0) out["package_serial_continuity"] = s.packageSerialErrors.Empty();
    out["length_errors"] = s.packageLengthErrors.Count();
    out["errors"] = py::dict(py::arg("sync") = Text(s.syncErrors), py::arg("package_serial") = Text(s.packageSerialErrors),
                             py::arg("package_length") = Text(s.packageLengthErrors));
  } else if (dataType == 4 || dataType == 5) {
    IttrStatistics& s = d.ittrStatistics;
    out["event_counts"] = Counts(s.eventCounts);
    out["ittr_errors"] = s.errors.Count();
    out["errors"] = py::dict(py::arg("ittr") = Text(s.errors));
  } else if (dataType == 1) {
    d.FoldT1Slots();
    out["event_counts"] = Counts(d.t1Statistics.eventCounts);
    out["heads"] = d.t1Statistics.headNumber;
    out["tails"] = d.t1Statistics.tailNumber;
  }
  return out;
}

py::dict Session::Result() {
  py::dict out;
  py::list failures;
  for (const RunFailure& f : parser_.failures) failures.append(py::make_tuple(f.status, f.message));
  out["failures"] = failures;
  out["warnings"] = parser_.warnings;
  py::list files;
  for (const FileEntry& f : parser_.files) files.append(py::make_tuple(f.path, f.size));
  out["files"] = files;
  out["bytes_read"] = parser_.bytesRead;
  out["parsed_path"] = parser_.ParsedFilePath();
  out["report_path"] = parser_.ReportFilePath();
  out["hdf5_path"] = parser_.Hdf5FilePath();
  out["out_of_memory"] = collector_ && collector_->OutOfMemory();
  if (parser_.keepReportText) {
    out["report"] = py::bytes(parser_.decoderState.BuildReportText(settings_.dataType));
    out["integrity"] = Integrity(parser_.decoderState, settings_.dataType);
  }
  return out;
}

}  // namespace
}  // namespace kestrun::python

PYBIND11_MODULE(_kestrun, m) {
  using kestrun::python::Session;
  m.doc() = "Kestrun's engine: reads TDC photon-counting files into NumPy buffers.";
  m.attr("version") = KESTRUN_VERSION;
  py::class_<Session>(m, "Session")
      .def(py::init<const std::string&, const std::string&, std::optional<std::int32_t>, std::optional<std::int32_t>,
                    std::optional<std::int32_t>, std::int32_t, std::int32_t, const py::dict&, const std::string&,
                    std::size_t>())
      .def_property_readonly("missing", &Session::Missing)
      .def_property_readonly("data_type", &Session::DataType)
      .def_property_readonly("device", &Session::Device)
      .def_property_readonly("resolution_ps", &Session::ResolutionPs)
      .def("files", &Session::Files)
      .def("start", &Session::Start)
      .def("wait", &Session::Wait)
      .def("records", &Session::Records)
      .def("histograms", &Session::Histograms)
      .def("stop", &Session::Stop)
      .def("result", &Session::Result);
}
