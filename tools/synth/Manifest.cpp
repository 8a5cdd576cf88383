#include "tools/synth/Manifest.h"

namespace kestrun::synth {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

void Manifest::AddEvents(std::int32_t board, std::int32_t channel, std::uint64_t count, const std::string& extra) {
  if (count == 0) return;  // the report lists only what arrived
  std::string row = std::to_string(board) + " " + std::to_string(channel) + " " + std::to_string(count);
  if (!extra.empty()) row += " " + extra;
  events_.push_back(std::move(row));
  totalEvents_ += count;
}

void Manifest::Write(std::ostream& out, const SynthOptions& o, const std::vector<WrittenFile>& files,
                     const std::vector<InjectedFault>& faults) const {
  std::uint64_t bytes = 0;
  for (const WrittenFile& f : files) bytes += f.bytes;
  out << "kestrun-synth manifest\n";
  out << "type: " << TypeName(o.type) << "\n";
  out << "model: " << ModelName(o.model) << "\n";
  out << "layout: " << (IsPackaged(o) ? "packaged" : IsTttr(o.type) ? "plain" : TypeName(o.type)) << "\n";
  if (!IsIttr(o.type)) out << "resolution-ps: " << o.resolutionPs << "\n";
  out << "seed: " << o.seed << "\n";
  out << "files: " << files.size() << "\n";
  for (const WrittenFile& f : files) {
    out << "file: " << f.path << " " << f.bytes;
    if (!f.opensInside.empty()) out << " opens inside " << f.opensInside;
    out << "\n";
  }
  out << "bytes: " << bytes << "\n";
  out << "words: " << bytes / 4 << "\n";
  for (const auto& [key, value] : facts_) out << key << ": " << value << "\n";
  out << "events: " << totalEvents_ << "\n";
  for (const std::string& row : events_) out << "event: " << row << "\n";
  out << "faults: " << faults.size() << "\n";
  for (const InjectedFault& f : faults) {
    out << "fault: " << FaultName(f.kind) << " at byte " << f.byte << " of the stream, file " << f.file << "\n";
  }
  std::size_t errors = 0;
  for (const InjectedFault& f : faults) errors += f.text.empty() ? 0 : 1;
  out << "errors: " << errors + extraErrors_.size() << "\n";
  for (const InjectedFault& f : faults)
    if (!f.text.empty()) out << "error: " << Escape(f.text) << "\n";
  for (const std::string& text : extraErrors_) out << "error: " << Escape(text) << "\n";
}

}  // namespace kestrun::synth
