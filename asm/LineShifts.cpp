#include "LineShifts.h"

namespace tervik::assembler {

void LineShifts::Insert(int at, int count) {
  if (count > 0) edits_.push_back({at, count});
}

void LineShifts::Remove(int at, int count) {
  if (count > 0) edits_.push_back({at, -count});
}

std::optional<int> LineShifts::Now(int line) const {
  for (const Edit& e : edits_) {
    if (e.count > 0) {
      if (line >= e.at) line += e.count;
    } else if (line >= e.at - e.count) {
      line += e.count;
    } else if (line >= e.at) {
      return std::nullopt;  // among the removed lines
    }
  }
  return line;
}

std::optional<int> LineShifts::Assembled(int line) const {
  for (auto e = edits_.rbegin(); e != edits_.rend(); ++e) {
    if (e->count < 0) {
      if (line >= e->at) line -= e->count;
    } else if (line >= e->at + e->count) {
      line -= e->count;
    } else if (line >= e->at) {
      return std::nullopt;  // one of the inserted lines
    }
  }
  return line;
}

std::optional<int> LineShifts::AssembledAtOrBelow(int line, int lineCount) const {
  for (; line <= lineCount; ++line) {
    if (const std::optional<int> assembled = Assembled(line)) return assembled;
  }
  return std::nullopt;
}

}  // namespace tervik::assembler
