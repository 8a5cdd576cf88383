#include "engine/ParallelText.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sched.h>
#endif

namespace kestrun {

namespace {

// What a block's text depends on besides its words: the framing, the sync and serial overflows, the
// information text and the ITTR header fields. Statistics and records stay with the run's own state.
void CopyCarry(const DecoderState& from, DecoderState& to) {
  to.board = from.board;
  to.overflowValue = from.overflowValue;
  to.overflowWraps = from.overflowWraps;
  to.frameState = from.frameState;
  to.previousFrameState = from.previousFrameState;
  to.packageSerialWraps = from.packageSerialWraps;
  std::memcpy(to.infoText, from.infoText, sizeof to.infoText);
  to.infoTextLength = from.infoTextLength;
  to.infoTextStep = from.infoTextStep;
  to.ittrPosition = from.ittrPosition;
  to.modeWord = from.modeWord;
  to.remainingIntensityWords = from.remainingIntensityWords;
  const IttrStatistics& f = from.ittrStatistics;
  IttrStatistics& t = to.ittrStatistics;
  t.version = f.version;
  t.statisticsNumber = f.statisticsNumber;
  t.statisticsPeriod = f.statisticsPeriod;
  t.channelEnableLow = f.channelEnableLow;
  t.channelEnableHigh = f.channelEnableHigh;
  t.zeroUpdate = f.zeroUpdate;
}

// A state that carries or formats text only: its statistics are thrown away, so its logs keep no text
// and it announces nothing.
void MakeScratch(DecoderState& d, const DecoderState& run, bool withText) {
  d.generateParsed = withText;
  d.outputOverflow = run.outputOverflow;
  d.errorTexts = {std::string(), false};
  d.announceSerialOverflows = false;
}

// Text beyond a slot's area goes aside, ahead of what the area holds at the end.
char* KeepAside(void* context, char* data, std::size_t size) {
  try {
    static_cast<std::string*>(context)->append(data, size);
    return data;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

int ParallelText::DefaultThreads() {
  int cores = static_cast<int>(std::thread::hardware_concurrency());
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
#endif
  // On two cores the passes that carry the state and take the statistics, and the text held a whole
  // block at a time instead of in cache-sized chunks, cost more than the second formatter gains. Four
  // formatters outrun the pass that takes the statistics and the write, which the run and its writer
  // do on a thread each; more would only hold more text in memory.
  return cores < 4 ? 1 : 4;
}

ParallelText::ParallelText(int threads, int slots, std::int32_t blockSize, std::size_t areaBytes,
                           const DecoderState& run, Format format)
    : format_(std::move(format)), blockSize_(blockSize), areaBytes_(areaBytes) {
  MakeScratch(ahead_, run, false);
  CopyCarry(run, ahead_);
  for (int i = 0; i < std::max(slots, threads + 1); ++i) {
    auto slot = std::make_unique<Slot>();
    slot->block = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(blockSize));
    slot->area = std::make_unique_for_overwrite<char[]>(areaBytes);
    MakeScratch(slot->state, run, true);
    slots_.push_back(std::move(slot));
  }
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

ParallelText::~ParallelText() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

std::uint8_t* ParallelText::NextBlock() { return slots_[queued_ % slots_.size()]->block.get(); }

void ParallelText::Submit(std::int32_t length, bool header) {
  Slot& slot = *slots_[queued_ % slots_.size()];
  slot.length = std::clamp(length, 0, blockSize_);
  slot.header = header;
  slot.done = false;
  {
    std::lock_guard lock(mutex_);
    ++queued_;
  }
  work_.notify_one();
}

void ParallelText::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || next_ < queued_; });
    if (stopping_) return;  // blocks not formatted yet are dropped with the run
    const std::uint64_t index = next_++;
    Slot& slot = *slots_[index % slots_.size()];
    // The pass that carries the state runs block after block, on whichever thread took the block: it
    // waits for the block before to be carried past.
    carried_.wait(lock, [&] { return carriedBlocks_ == index; });
    lock.unlock();
    bool ok = true;
    try {
      CopyCarry(ahead_, slot.state);
      TextSink none;
      format_(ahead_, slot.block.get(), slot.length, none, false);
    } catch (const std::exception&) {  // nothing may leave the thread: the block's text is lost instead
      ok = false;
    }
    lock.lock();
    ++carriedBlocks_;
    carried_.notify_all();
    lock.unlock();
    FormatSlot(slot, ok);
    lock.lock();
    slot.done = true;
    done_.notify_all();
  }
}

void ParallelText::FormatSlot(Slot& slot, bool carried) {
  slot.spill.clear();
  slot.used = 0;
  slot.produced = -1;
  if (!carried) return;
  TextSink text(slot.area.get(), areaBytes_, KeepAside, &slot.spill);
  try {
    const std::int32_t r = format_(slot.state, slot.block.get(), slot.length, text, slot.header);
    slot.produced = r < 0 || text.Failed() ? -1 : static_cast<std::int32_t>(text.Produced());
  } catch (const std::exception&) {
    slot.produced = -1;
  }
  slot.used = static_cast<std::size_t>(text.pos - text.begin);
}

ParallelText::Done ParallelText::WaitOldest() {
  Slot& slot = *slots_[taken_ % slots_.size()];
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return slot.done; });
  return {slot.block.get(), slot.length, slot.produced};
}

bool ParallelText::WriteOldest(const std::function<bool(const char*, std::size_t)>& write) {
  const Slot& slot = *slots_[taken_ % slots_.size()];
  if (!slot.spill.empty() && !write(slot.spill.data(), slot.spill.size())) return false;
  return slot.used == 0 || write(slot.area.get(), slot.used);
}

void ParallelText::PopOldest() { ++taken_; }

void ParallelText::FreePopped() {
  Slot& slot = *slots_[freed_ % slots_.size()];
  if (slot.spill.capacity() > areaBytes_) std::string().swap(slot.spill);  // a burst of text is not kept
  ++freed_;
}

}  // namespace kestrun
