#pragma once
// Formats the parsed text of a run's blocks on several threads. A pass without text, as cheap as a
// report-only run, carries the decoder's state past each block in turn, so every block is formatted
// from its own starting state on any thread; the run takes the blocks back in input order,
// commits their statistics and records itself and writes their text. A bounded number of blocks is in
// flight, so memory stays bounded however long the run.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/DecoderState.h"

namespace kestrun {

class ParallelText {
 public:
  // Decodes `block` on `d`, writing its text into `text` when d.generateParsed is set (the run's header
  // first when `header`); the bytes produced or a negative value, as a block decoder returns.
  using Format = std::function<std::int32_t(DecoderState& d, const std::uint8_t* block, std::int32_t length,
                                            TextSink& text, bool header)>;

  // `threads` formatting threads and at most `slots` (more than `threads`) blocks in flight, each of up
  // to `blockSize` bytes with a text area of `areaBytes` (text beyond it is kept aside). `run` lends its
  // flags (outputOverflow) to the states the text is formatted on.
  ParallelText(int threads, int slots, std::int32_t blockSize, std::size_t areaBytes, const DecoderState& run,
               Format format);
  // Drops the blocks still in flight and ends the threads.
  ~ParallelText();
  ParallelText(const ParallelText&) = delete;
  ParallelText& operator=(const ParallelText&) = delete;

  // Threads worth formatting on: 1 (no parallel formatting) below 4 cores this process may run on,
  // else 4 (more would hold more text in memory, not write it sooner: one thread writes it).
  static int DefaultThreads();

  bool Full() const { return queued_ - freed_ == slots_.size(); }
  bool Empty() const { return queued_ == taken_; }
  // The buffer the next block is to be read into; only while not Full.
  std::uint8_t* NextBlock();
  // Queues the block read into NextBlock for a thread, which carries the state past it (block after
  // block) and formats its text.
  void Submit(std::int32_t length, bool header);

  // The oldest block queued, once its text is formatted; only while not Empty.
  struct Done {
    const std::uint8_t* block = nullptr;
    std::int32_t length = 0;
    std::int32_t produced = 0;  // the bytes of text, or negative when its text could not be produced
  };
  Done WaitOldest();
  // Hands the oldest block's text to `write` in order, in one or two pieces; false when `write` failed.
  bool WriteOldest(const std::function<bool(const char*, std::size_t)>& write);
  // Passes on to the next block; the oldest block's slot, and the text handed to `write`, stay as they
  // are until FreePopped.
  void PopOldest();
  // Frees the slot of the block popped first and not yet freed.
  void FreePopped();

 private:
  struct Slot {
    std::unique_ptr<std::uint8_t[]> block;
    std::int32_t length = 0;
    bool header = false;
    DecoderState state;  // the carried state before the block, then the formatter's scratch
    std::unique_ptr<char[]> area;
    std::size_t used = 0;
    std::string spill;  // text that outgrew the area, ahead of it
    std::int32_t produced = 0;
    bool done = false;
  };
  void Serve();
  void FormatSlot(Slot& slot, bool carried);

  Format format_;
  std::int32_t blockSize_;
  std::size_t areaBytes_;
  std::vector<std::unique_ptr<Slot>> slots_;
  DecoderState ahead_;  // the state after the latest block carried; used by one thread at a time
  std::uint64_t queued_ = 0;  // blocks queued since construction; slot i % size holds block i
  std::uint64_t taken_ = 0;   // blocks popped
  std::uint64_t freed_ = 0;   // blocks whose slots are free again
  std::uint64_t next_ = 0;    // next block a thread takes; guarded by mutex_
  std::uint64_t carriedBlocks_ = 0;  // blocks the state has been carried past; guarded by mutex_
  bool stopping_ = false;     // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable work_;  // threads: a block to format, or the end
  std::condition_variable carried_;  // threads: the state carried past one more block
  std::condition_variable done_;  // the run: a block formatted
  std::vector<std::thread> threads_;
};

}  // namespace kestrun
