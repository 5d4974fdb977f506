// One decoded name/value pair of the request's form input, and the table of
// them.
#ifndef OSTREL_CGI_FORM_PAIR_H_
#define OSTREL_CGI_FORM_PAIR_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

struct FormPair {
  std::string Name;
  std::string Value;
};

// Slots indexed from 0 to an upper bound; slot 0 is never filled. The table
// grows by runs of empty slots, which parsing then fills in order.
//
// Only slots 0 to 32,767 are held: the lookup walks the table with a 16-bit
// index and answers a table with a larger upper bound with an overflow
// without reading any slot, so the slots beyond are only counted. A body of
// a million "=" thus costs a number, not a million empty slots.
class PairTable {
 public:
  static constexpr size_t kHeldSlots = 32768;

  // Slot 0 alone, empty.
  void Reset() {
    size_ = 1;
    held_.assign(1, FormPair{});
  }
  // The number of slots, held or not: the upper bound + 1.
  size_t size() const { return size_; }
  // Appends `count` empty slots.
  void Grow(size_t count) {
    size_ += count;
    held_.resize(std::min(size_, kHeldSlots));
  }
  // Puts `pair` into slot `index` (below size()); a slot beyond the held
  // ones takes nothing.
  void Fill(size_t index, FormPair pair) {
    if (index < held_.size()) {
      held_[index] = std::move(pair);
    }
  }
  // Appends one slot holding `pair`.
  void Append(FormPair pair) {
    Grow(1);
    Fill(size_ - 1, std::move(pair));
  }
  // Slot `index`, which must be held (below kHeldSlots).
  const FormPair& operator[](size_t index) const { return held_.at(index); }
  // The held slots, from slot 0: all of them while size() is at most
  // kHeldSlots.
  const std::vector<FormPair>& held() const { return held_; }

 private:
  size_t size_ = 0;
  std::vector<FormPair> held_;
};

}  // namespace ostrel

#endif  // OSTREL_CGI_FORM_PAIR_H_
