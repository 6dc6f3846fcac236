// The record of module values, per address in runs of equal steps.
#include "ModuleLog.h"

#include <algorithm>

namespace tervik::history {

ModuleLog::Stream& ModuleLog::StreamFor(uint32_t address) {
  // A module polled in a loop reads the same word again and again.
  if (last_ < streams_.size() && streams_[last_].address == address) return streams_[last_];
  const uint32_t key = address >> kTableShift;
  if (key != tableKey_ || table_ == nullptr) {
    std::unique_ptr<Table>& table = tables_[key];
    if (!table) table = std::make_unique<Table>();  // zeros: no stream yet
    tableKey_ = key;
    table_ = table.get();
  }
  uint32_t& slot = (*table_)[address & ((uint32_t{1} << kTableShift) - 1)];
  if (slot == 0) {
    streams_.push_back({});
    streams_.back().address = address;
    slot = static_cast<uint32_t>(streams_.size());
  }
  last_ = slot - 1;
  return streams_[last_];
}

void ModuleLog::Append(uint32_t address, uint32_t value) {
  Stream& s = StreamFor(address);
  if (s.runs.size() > s.head) {
    Run& run = s.runs.back();
    if (run.count == 1) {
      run.stride = value - run.first;
      run.count = 2;
      ++s.total;
      return;
    }
    if (run.count != UINT32_MAX && run.first + run.stride * run.count == value) {
      ++run.count;
      ++s.total;
      return;
    }
  }
  s.runs.push_back({s.total, value, 0, 1});
  ++runs_;
  ++s.total;
}

bool ModuleLog::Next(uint32_t address, uint32_t& value) {
  Stream& s = StreamFor(address);
  if (s.read >= s.total) return false;
  while (s.runs[s.runAt].start + s.runs[s.runAt].count <= s.read) ++s.runAt;
  const Run& run = s.runs[s.runAt];
  value = run.first + run.stride * static_cast<uint32_t>(s.read - run.start);
  ++s.read;
  return true;
}

ModuleLog::Position ModuleLog::End() const {
  Position p;
  p.reserve(streams_.size());
  for (const Stream& s : streams_) p.push_back(s.total);
  return p;
}

ModuleLog::Position ModuleLog::Cursor() const {
  Position p;
  p.reserve(streams_.size());
  for (const Stream& s : streams_) p.push_back(s.read);
  return p;
}

void ModuleLog::Place(Stream& s, uint64_t n) {
  s.read = n;
  const auto first = s.runs.begin() + static_cast<std::ptrdiff_t>(s.head);
  const auto it = std::upper_bound(first, s.runs.end(), n,
                                   [](uint64_t v, const Run& run) { return v < run.start; });
  s.runAt = static_cast<size_t>((it == first ? it : it - 1) - s.runs.begin());
}

void ModuleLog::Seek(const Position& position) {
  // Addresses first read after the position was taken start from their first value.
  for (size_t i = 0; i < streams_.size(); ++i) {
    Place(streams_[i], i < position.size() ? position[i] : 0);
  }
}

bool ModuleLog::CursorAtEnd() const {
  return std::all_of(streams_.begin(), streams_.end(),
                     [](const Stream& s) { return s.read == s.total; });
}

void ModuleLog::DropBefore(const Position& position) {
  for (size_t i = 0; i < streams_.size() && i < position.size(); ++i) {
    Stream& s = streams_[i];
    while (s.runs.size() - s.head > 1 && s.runs[s.head + 1].start <= position[i]) {
      ++s.head;
      --runs_;
    }
    if (s.head != 0 && s.head * 2 >= s.runs.size()) {
      s.runs.erase(s.runs.begin(), s.runs.begin() + static_cast<std::ptrdiff_t>(s.head));
      s.head = 0;
    }
    Place(s, std::max(s.read, position[i]));
  }
}

void ModuleLog::Clear() {
  streams_.clear();
  tables_.clear();
  tableKey_ = UINT32_MAX;
  table_ = nullptr;
  last_ = 0;
  runs_ = 0;
}

size_t ModuleLog::Bytes() const {
  return runs_ * sizeof(Run) + streams_.size() * sizeof(Stream) + tables_.size() * sizeof(Table);
}

}  // namespace tervik::history
