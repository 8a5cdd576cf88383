#pragma once
// A helper thread that reads the next input block and writes parsed text while the worker decodes, so
// that reading, decoding and writing overlap on two cores. Tasks run one at a time, in the order given.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/InputFile.h"

namespace kestrun {

class BackgroundIo {
 public:
  using ReadResult = InputFile::ReadResult;

  // `write` takes text in order on the helper thread; false when it could not write all of it.
  explicit BackgroundIo(std::function<bool(const char*, std::size_t)> write);
  // Finishes every task given, then ends the thread.
  ~BackgroundIo();
  BackgroundIo(const BackgroundIo&) = delete;
  BackgroundIo& operator=(const BackgroundIo&) = delete;

  // Reads up to `size` bytes of `input` into `buffer`; at most one read is pending at a time.
  void StartRead(InputFile& input, char* buffer, std::size_t size);
  // Waits for the pending read and returns what it read.
  ReadResult FinishRead();
  // Queues `size` bytes at `data` for writing; they must stay untouched until WaitWritten(ticket).
  std::uint64_t StartWrite(const char* data, std::size_t size);
  // Waits until the write with `ticket` and all before it are done.
  void WaitWritten(std::uint64_t ticket);
  // Waits for every queued write; false when any write failed since the last call.
  bool FinishWrites();
  // Without waiting: true when a write done so far failed since the last call.
  bool TakeWriteFailure();

 private:
  struct Task {
    InputFile* input = nullptr;  // a read when set, else a write
    char* buffer = nullptr;
    const char* data = nullptr;
    std::size_t size = 0;
  };
  void Serve();

  std::function<bool(const char*, std::size_t)> write_;
  std::mutex mutex_;
  std::condition_variable wake_;  // the helper: a task or the end
  std::condition_variable done_;  // the worker: a task finished
  std::deque<Task> tasks_;
  bool stopping_ = false;
  bool readPending_ = false;
  ReadResult lastRead_;
  std::uint64_t writesQueued_ = 0;
  std::uint64_t writesDone_ = 0;
  bool writeFailed_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace kestrun
