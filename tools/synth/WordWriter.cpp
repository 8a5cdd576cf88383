#include "tools/synth/WordWriter.h"

#include "engine/Platform.h"

namespace kestrun::synth {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
// A family that never opens a structure near a due cut still gets its files; cut anyway this far on.
constexpr std::uint64_t kForcedCutSlack = 1 << 20;

}  // namespace

WordWriter::WordWriter(std::vector<std::string> paths, std::uint64_t totalBytes)
    : paths_(std::move(paths)), totalBytes_(totalBytes) {
  buffer_.reserve(kBufferBytes);
  Open(0, {});
}

bool WordWriter::Open(std::size_t index, std::string_view inside) {
  file_ = index;
  // Cut i is due at i/N of the total, on a word boundary.
  nextCut_ = (totalBytes_ * (index + 1) / paths_.size()) & ~std::uint64_t{3};
  out_.open(PathOf(paths_[index]), std::ios::binary | std::ios::trunc);
  written_.push_back({paths_[index], 0, std::string(inside)});
  if (!out_.is_open() && error_.empty()) error_ = "cannot create " + paths_[index];
  return out_.is_open();
}

void WordWriter::Put(std::uint32_t word) {
  if (CutDue() && bytes_ >= nextCut_ + kForcedCutSlack) Cut("");
  buffer_.push_back(static_cast<char>(word >> 24));
  buffer_.push_back(static_cast<char>(word >> 16));
  buffer_.push_back(static_cast<char>(word >> 8));
  buffer_.push_back(static_cast<char>(word));
  bytes_ += 4;
  written_.back().bytes += 4;
  if (buffer_.size() >= kBufferBytes) Flush();
}

void WordWriter::Flush() {
  if (out_.is_open() && !buffer_.empty()) {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (!out_ && error_.empty()) error_ = "cannot write " + written_.back().path;
  }
  buffer_.clear();
}

void WordWriter::Cut(std::string_view inside) {
  if (file_ + 1 >= paths_.size()) return;
  Flush();
  out_.close();
  if (out_.fail() && error_.empty()) error_ = "cannot write " + written_.back().path;
  out_.clear();
  Open(file_ + 1, inside);
}

bool WordWriter::Finish(std::string& error) {
  Flush();
  if (out_.is_open()) out_.close();
  if (out_.fail() && error_.empty()) error_ = "cannot write " + written_.back().path;
  error = error_;
  return error_.empty();
}

}  // namespace kestrun::synth
