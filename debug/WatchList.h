// Watch expressions: a list of expressions in the debugger's language (M[count], R1+R2, SP-4,
// labels) with their values now, and whether each value differs from the one it had at the last
// stop. The window's Watch view shows this list; it keeps no state of its own.
//
// Values are read without side effects: registers from the processor, memory through
// Session::PeekWord, so a peripheral's word is never read (its ReadMem may act on the read) and
// shows as an error instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Expression.h"
#include "Session.h"

namespace tervik::debug {

struct WatchItem {
  std::string text;                      // as the user typed it
  std::optional<Expression> expression;  // nothing when the text does not parse
  std::optional<uint32_t> value;         // the value now, when it could be evaluated
  std::string error;                     // why there is no value ("col 3: ...")
  std::optional<uint32_t> atLastStop;    // the value at the last stop
  bool changed = false;                  // value differs from atLastStop (both known)
};

class WatchList {
 public:
  const std::vector<WatchItem>& Items() const { return items_; }
  size_t size() const { return items_.size(); }

  // Adds an expression at the end; a text that does not parse is kept with its error, so the
  // user can correct it in place. Returns its index.
  size_t Add(std::string_view text);
  // Replaces the text of item `index` (which must exist); its history starts again.
  void Edit(size_t index, std::string_view text);
  void Remove(size_t index);
  void Clear() { items_.clear(); }

  // Evaluates every item against the session now. At a stop (`stop` true) each value becomes
  // the value of the last stop afterwards, so a value is marked changed from one stop to the
  // next; during a run (the live views' tick) values are compared with the last stop's.
  void Update(Session& session, bool stop);

 private:
  std::vector<WatchItem> items_;
};

// The value as the view shows it: "0000002D (45)", with the signed reading added when the word
// is negative as a signed number: "FFFFFFFF (4294967295, -1)".
std::string WatchValueText(uint32_t value);

}  // namespace tervik::debug
