// Recording, snapshots and replay of a processor's history.
#include "Recorder.h"

#include <algorithm>

namespace tervik::history {

Markers Markers::Of(const Processor& cpu) {
  return {cpu.pcChanged,  cpu.srChanged,   cpu.imChanged,  cpu.spChanged,
          cpu.cChanged,   cpu.oChanged,    cpu.nChanged,   cpu.zChanged,
          cpu.regChanged, cpu.lfsrChanged, cpu.memWritten, cpu.lastWriteAddress};
}

void Markers::ApplyTo(Processor& cpu) const {
  cpu.pcChanged = pcChanged;
  cpu.srChanged = srChanged;
  cpu.imChanged = imChanged;
  cpu.spChanged = spChanged;
  cpu.cChanged = cChanged;
  cpu.oChanged = oChanged;
  cpu.nChanged = nChanged;
  cpu.zChanged = zChanged;
  cpu.regChanged = regChanged;
  cpu.lfsrChanged = lfsrChanged;
  cpu.memWritten = memWritten;
  cpu.lastWriteAddress = lastWriteAddress;
}

Recorder::Recorder(Processor& cpu) : cpu_(cpu) {}

Recorder::~Recorder() {
  if (cpu_.Tap() == this) cpu_.SetTap(nullptr);
}

void Recorder::SetEnabled(bool on) {
  Clear();
  enabled_ = on;
  cpu_.SetTap(on ? this : nullptr);
}

void Recorder::SetInterval(uint64_t instructions) {
  baseInterval_ = interval_ = std::max<uint64_t>(instructions, 1);
}

void Recorder::Clear() {
  snapshots_.clear();
  pages_.Clear();
  log_.Clear();
  started_ = editPending_ = diverged_ = false;
  replaying = false;
  now_ = present_ = next_ = 0;
  interval_ = baseInterval_;
}

bool Recorder::Edited() const {
  return editPending_ || static_cast<const CpuState&>(cpu_) != seen_;
}

void Recorder::Take(bool edit) {
  const auto t0 = std::chrono::steady_clock::now();
  ++seq_;
  pages_.Capture(cpu_, seq_);
  snapshots_.push_back({now_, seq_, cpu_, Markers::Of(cpu_), log_.End(), edit});
  seen_ = cpu_;
  editPending_ = false;
  started_ = true;
  while (Bytes() > budget_ && snapshots_.size() > 1) DropOldest();
  // Snapshots of a program that keeps much memory busy cost more: they are then taken less
  // often, so that they never take more than a few percent of the run.
  const auto t1 = std::chrono::steady_clock::now();
  const double took = std::chrono::duration<double>(t1 - t0).count();
  const double since = std::chrono::duration<double>(t0 - lastTake_).count();
  if (took > 0.001 && took > 0.03 * since && interval_ < (uint64_t{1} << 40)) {
    interval_ *= 2;
  } else if (took < 0.005 * since && interval_ > baseInterval_) {
    interval_ /= 2;
  }
  lastTake_ = t1;
  next_ = now_ + interval_;
}

void Recorder::DropOldest() {
  snapshots_.pop_front();
  const Snapshot& base = snapshots_.front();
  pages_.DropBefore(base.seq);
  log_.DropBefore(base.log);
}

void Recorder::CatchUpEdits() {
  if (!started_) {
    Take(false);
  } else if (Edited()) {
    Take(true);
  }
}

void Recorder::Restore(const Snapshot& s) {
  pages_.Restore(cpu_, s.seq);
  static_cast<CpuState&>(cpu_) = s.cpu;
  s.markers.ApplyTo(cpu_);
  log_.Seek(s.log);
  now_ = s.count;
  seen_ = cpu_;
  replaying = now_ < present_;
}

const Recorder::Snapshot* Recorder::NextEdit(uint64_t count) const {
  // The last snapshot at a count wins, so an edit's snapshot is found after a regular one.
  const Snapshot* found = nullptr;
  for (auto it = snapshots_.rbegin(); it != snapshots_.rend() && it->count > count; ++it) {
    if (it->edit) found = &*it;
  }
  return found;
}

uint64_t Recorder::BeforeRun(uint64_t maxSteps) {
  if (replaying && Edited()) {
    // Edited in the past although the window refuses it: the history cannot hold both
    // versions, so it starts again here.
    Clear();
  }
  if (!replaying) {
    CatchUpEdits();
    return std::min(maxSteps, next_ - now_);
  }
  uint64_t limit = std::min(maxSteps, present_ - now_);
  if (const Snapshot* edit = NextEdit(now_)) limit = std::min(limit, edit->count - now_);
  return limit;
}

void Recorder::Ran(uint64_t cycles) {
  now_ += cycles;
  if (!replaying) {
    present_ = now_;
    seen_ = cpu_;
    if (now_ >= next_) Take(false);
    return;
  }
  seen_ = cpu_;
  // An edit made at this point of the run takes effect as it did then.
  const auto last = std::upper_bound(snapshots_.begin(), snapshots_.end(), now_,
                                     [](uint64_t c, const Snapshot& s) { return c < s.count; });
  if (last != snapshots_.begin() && last[-1].count == now_ && last[-1].edit) Restore(last[-1]);
  if (now_ >= present_) {
    replaying = false;
    if (!log_.CursorAtEnd()) diverged_ = true;
  }
}

void Recorder::Record(uint32_t address, uint32_t value) {
  log_.Append(address, value);
}

uint32_t Recorder::Replay(uint32_t address) {
  uint32_t value = 0xFFFFFFFFu;
  if (!log_.Next(address, value)) diverged_ = true;
  return value;
}

void Recorder::Changed(Change change) {
  if (change == Change::Write) {
    editPending_ = true;
    return;
  }
  Clear();  // a Reset, a new memory map or cleared memory starts a new history
}

bool Recorder::Seek(uint64_t count) {
  if (!enabled_) return false;
  if (!replaying) CatchUpEdits();
  if (count < First() || count > present_) return false;
  if (count == now_) return true;
  // The last snapshot at or before `count`; from the past, a replay forward needs none when
  // there is none between.
  const auto after = std::upper_bound(snapshots_.begin(), snapshots_.end(), count,
                                      [](uint64_t c, const Snapshot& s) { return c < s.count; });
  const Snapshot& from = after[-1];
  if (!(count > now_ && from.count <= now_)) Restore(from);
  while (now_ < count) {
    if (cpu_.RunBatch(count - now_) == 0) break;
  }
  return now_ == count;
}

uint64_t Recorder::StretchStart(uint64_t end) const {
  const auto it = std::lower_bound(snapshots_.begin(), snapshots_.end(), end,
                                   [](const Snapshot& s, uint64_t c) { return s.count < c; });
  if (it == snapshots_.begin()) return First();
  return it[-1].count;
}

size_t Recorder::Bytes() const {
  size_t bytes = pages_.Bytes() + log_.Bytes();
  for (const Snapshot& s : snapshots_) bytes += sizeof(Snapshot) + s.log.size() * 8;
  return bytes;
}

}  // namespace tervik::history
