// Where the lines of a source stand after edits made since it was assembled. The line table
// names each word's line as it was when the source was assembled; an editor that has added or
// removed lines since shows those lines elsewhere. LineShifts records the edits (lines inserted
// before a line, lines removed from a line on) and maps line numbers both ways. Lines count
// from 1. Edits are few between two assemblies, so a mapping walks them all.
#pragma once

#include <optional>
#include <vector>

namespace tervik::assembler {

class LineShifts {
 public:
  // `count` lines were inserted before line `at` (numbered as the text stands before this
  // edit): that line and every one after it move down by `count`.
  void Insert(int at, int count);
  // The `count` lines from line `at` on were removed; the lines after them move up.
  void Remove(int at, int count);
  // The text is as it was assembled again.
  void Clear() { edits_.clear(); }
  bool empty() const { return edits_.empty(); }

  // Where the assembled line `line` stands now; nothing when it was removed.
  std::optional<int> Now(int line) const;
  // Which assembled line stands at `line` now; nothing for a line added since.
  std::optional<int> Assembled(int line) const;
  // The assembled line at `line` now, or at the first line below it that is not new; nothing
  // when every line from `line` on is new.
  std::optional<int> AssembledAtOrBelow(int line, int lineCount) const;

 private:
  struct Edit {
    int at;
    int count;  // lines inserted (> 0) or removed (< 0)
  };
  std::vector<Edit> edits_;
};

}  // namespace tervik::assembler
