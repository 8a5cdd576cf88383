#include "engine/BackgroundIo.h"

#include <utility>

namespace kestrun {

BackgroundIo::BackgroundIo(std::function<bool(const char*, std::size_t)> write)
    : write_(std::move(write)), thread_([this] { Serve(); }) {}

BackgroundIo::~BackgroundIo() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void BackgroundIo::StartRead(InputFile& input, char* buffer, std::size_t size) {
  {
    std::lock_guard lock(mutex_);
    readPending_ = true;
    // Ahead of queued writes: the next block is wanted before the text behind it is.
    tasks_.push_front({&input, buffer, nullptr, size});
  }
  wake_.notify_one();
}

BackgroundIo::ReadResult BackgroundIo::FinishRead() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !readPending_; });
  return lastRead_;
}

std::uint64_t BackgroundIo::StartWrite(const char* data, std::size_t size) {
  std::uint64_t ticket;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back({nullptr, nullptr, data, size});
    ticket = ++writesQueued_;
  }
  wake_.notify_one();
  return ticket;
}

void BackgroundIo::WaitWritten(std::uint64_t ticket) {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return writesDone_ >= ticket; });
}

bool BackgroundIo::FinishWrites() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return writesDone_ == writesQueued_; });
  const bool ok = !writeFailed_;
  writeFailed_ = false;
  return ok;
}

bool BackgroundIo::TakeWriteFailure() {
  std::lock_guard lock(mutex_);
  return std::exchange(writeFailed_, false);
}

void BackgroundIo::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // stopping, with nothing left to do
    const Task task = tasks_.front();
    tasks_.pop_front();
    lock.unlock();
    if (task.input != nullptr) {
      const ReadResult result = task.input->Read(task.buffer, task.size);
      lock.lock();
      lastRead_ = result;
      readPending_ = false;
    } else {
      const bool ok = write_(task.data, task.size);
      lock.lock();
      if (!ok) writeFailed_ = true;
      ++writesDone_;
    }
    done_.notify_all();
  }
}

}  // namespace kestrun
