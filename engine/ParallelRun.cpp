// The block loop of a run whose text is formatted on several threads. It reads ahead while blocks are
// formatted, then takes each block in order as the plain loop does: the block's statistics and records,
// its text, its progress, the stop and the failures, so that a run gives the same bytes and callbacks.
// A helper thread writes each block's text while the next block's statistics are taken.
#include <algorithm>
#include <deque>

#include "engine/BackgroundIo.h"
#include "engine/ParallelText.h"
#include "engine/TdcFileParser.h"

namespace kestrun {

namespace {

// A block's text area; larger text is kept aside. Enough for the text of a 1 MiB block at 48 bytes a line
// (packaged T2 lines of long runs pass 32, 8 MiB's worth), and pages never written stay out of memory:
// 7 blocks in flight (4 threads) hold at most 91 MiB.
constexpr std::size_t kTextAreaBytes = 12 << 20;

}  // namespace

int TdcFileParser::TextThreadsOfRun() const {
  const bool blockText = dataType >= 2 && dataType <= 5 && deviceType != -1;  // T1 text comes at the end
  if (!overlapIo || !generateParsed || !textBuffer || !blockText) return 1;
  return textThreads > 0 ? textThreads : ParallelText::DefaultThreads();
}

void TdcFileParser::RunParallelLoop(int threads) {
  // The run's own state takes every block without text, in order; the text comes from the formatters.
  struct TextOff {
    DecoderState& d;
    ~TextOff() { d.generateParsed = true; }
  } textOff{decoderState};
  decoderState.generateParsed = false;
  // A slot for every thread, the block being taken, the one whose text is being written, one read ahead.
  ParallelText text(threads, threads + 3, kBlockSize, std::min<std::size_t>(kTextAreaBytes, textBufferSize),
                    decoderState,
                    [this](DecoderState& d, const std::uint8_t* block, std::int32_t length, TextSink& sink,
                           bool header) { return FormatBlock(d, block, length, sink, header); });

  // What the loop meets ahead of the run, in input order: blocks, and the failure that ends the reading.
  enum class Kind : std::uint8_t { Block, NotOpened, NotRegular, NotRead };
  struct Item {
    Kind kind;
    std::size_t file;
    bool opened;  // first item of its file
    bool endOfFile;
  };
  // Destroyed before `text`: its writes, from text's slots, end first.
  BackgroundIo writer([this](const char* data, std::size_t size) { return WriteParsed(data, size); });
  bool writing = false;  // a block popped, its slot not yet freed: its text may be being written
  // Waits for the popped block's text to be written and frees its slot; a failed write loses the text.
  auto finishWriting = [&] {
    if (!writing) return;
    if (!writer.FinishWrites()) {
      parsedTextLost_ = true;
      Fail(7, "Parsed Content Save Error!");
    }
    text.FreePopped();
    writing = false;
  };
  std::deque<Item> ahead;
  InputFile input;
  std::size_t next = 0;
  bool ended = false;
  bool opened = false;
  bool header = parsedBytes == 0;
  auto readAhead = [&] {
    if (!input.IsOpen()) {
      const InputFile::OpenResult result = input.Open(files[next].path);
      if (result != InputFile::OpenResult::Opened) {
        ahead.push_back({result == InputFile::OpenResult::NotRegular ? Kind::NotRegular : Kind::NotOpened, next, false, false});
        ended = true;
        return;
      }
      opened = true;
      ++next;
    }
    const InputFile::ReadResult read = input.Read(reinterpret_cast<char*>(text.NextBlock()), kBlockSize);
    ahead.push_back({read.failed ? Kind::NotRead : Kind::Block, next - 1, opened, read.endOfFile});
    opened = false;
    if (read.failed) {
      ended = true;
      return;
    }
    text.Submit(read.length, header);
    header = false;
    if (read.endOfFile) {
      input.Close();
      ended = next >= files.size();
    }
  };

  std::uint64_t fileBytes = 0;
  for (;;) {
    if (!running || abandon_) {
      stopped_ = true;
      break;
    }
    while (!ended && !text.Full()) readAhead();
    if (ahead.empty()) break;
    const Item item = ahead.front();
    ahead.pop_front();
    const FileEntry& file = files[item.file];
    if (item.kind == Kind::NotOpened || item.kind == Kind::NotRegular) {
      finishWriting();  // text before it that could not be written is the earlier failure
      Fail(3, (item.kind == Kind::NotRegular ? "Input File Is Not A Regular File: " : "Could Not Open Input File: ") +
                  file.path);
      if (onStatus) onStatus(3);
      break;
    }
    if (item.opened) {
      if (onMessage && !file.path.empty()) onMessage(file.path);
      fileBytes = 0;
    }
    if (item.kind == Kind::NotRead) {
      finishWriting();
      Fail(3, "Could Not Read Input File: " + file.path);
      if (onStatus) onStatus(3);
      break;
    }
    const ParallelText::Done done = text.WaitOldest();
    if (bytesRead == 0) firstBlock_ = ReadSignature(done.block, static_cast<std::size_t>(done.length));
    bytesRead += static_cast<std::uint64_t>(done.length);
    fileBytes += static_cast<std::uint64_t>(done.length);

    TextSink none;
    const std::int32_t taken = FormatBlock(decoderState, done.block, done.length, none, false);
    if (decoderState.records.Active()) {
      decoderState.records.Flush();  // a chunk never waits for the next block
      if (decoderState.records.NewFailure()) Fail(7, RecordFailureText());
    }
    finishWriting();  // the block before: its text was written while this block's statistics were taken
    const bool queued = taken >= 0 && done.produced >= 0;
    if (queued) {
      text.WriteOldest([&writer](const char* data, std::size_t size) {
        writer.StartWrite(data, size);
        return true;
      });
      parsedBytes += static_cast<std::uint64_t>(done.produced);
    } else {
      parsedTextLost_ = true;
      Fail(7, "Parsed Content Save Error!");
    }
    text.PopOldest();
    writing = true;

    if (onProgress && totalBytes != 0) {
      onProgress(static_cast<int>(std::min<std::uint64_t>(bytesRead * 100 / totalBytes, 100)));
    }
    if (item.endOfFile) {
      CheckFileSize(file, fileBytes);
      if (item.file + 1 >= files.size()) {
        allRead_ = true;
        break;
      }
    }
  }
  finishWriting();
}

}  // namespace kestrun
