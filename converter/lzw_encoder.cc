#include "converter/lzw_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace ostrel {
namespace {

constexpr uint32_t kEmpty = 0xffffffff;

constexpr uint64_t kEveryByte = 0x0101010101010101;

// The first of [from, end) whose bits under `mask` are not `value`'s.
const uint8_t* RunEnd(const uint8_t* from, const uint8_t* end, uint8_t value, uint8_t mask) {
  // Eight pixels at a time: the first differing byte is the lowest set one
  // of the difference in memory order.
  const uint64_t pattern = value * kEveryByte;
  const uint64_t masks = mask * kEveryByte;
  for (; end - from >= 8; from += 8) {
    uint64_t word;
    std::memcpy(&word, from, sizeof word);
    const uint64_t differing = (word ^ pattern) & masks;
    if (differing != 0) {
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(differing)
                                                                 : std::countl_zero(differing);
      return from + bit / 8;
    }
  }
  while (from != end && (*from & mask) == value) {
    ++from;
  }
  return from;
}

// Stores the eight bytes of `value`, least significant first.
void StoreLittleEndian(uint8_t* to, uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, &value, sizeof value);
  } else {
    for (int i = 0; i < 8; ++i) {
      to[i] = static_cast<uint8_t>(value >> (8 * i));
    }
  }
}

}  // namespace

LzwEncoder::DirectTable::DirectTable(int index_bits)
    : index_bits_(index_bits), children_(size_t{kMaxCodes} << index_bits, 0) {}

void LzwEncoder::DirectTable::Clear(uint32_t codes_used) {
  // Only the rows of codes that were given out can hold children.
  std::fill_n(children_.begin(), size_t{codes_used} << index_bits_, uint16_t{0});
}

LzwEncoder::HashTable::HashTable() : slots_(size_t{1} << kBits, kEmpty) {}

uint32_t LzwEncoder::HashTable::Find(uint32_t prefix, uint32_t index) const {
  const uint32_t key = prefix << 8 | index;
  const uint32_t mask = (1u << kBits) - 1;
  for (uint32_t slot = SlotOf(prefix, index);; slot = (slot + 1) & mask) {
    const uint32_t entry = slots_[slot];
    if (entry == kEmpty) {
      return 0;
    }
    if (entry >> kMaxCodeBits == key) {
      return entry & (kMaxCodes - 1);
    }
  }
}

void LzwEncoder::HashTable::Add(uint32_t prefix, uint32_t index, uint32_t code) {
  // At most 4096 entries in eight times as many slots: a free one is near.
  const uint32_t key = prefix << 8 | index;
  const uint32_t mask = (1u << kBits) - 1;
  uint32_t slot = SlotOf(prefix, index);
  while (slots_[slot] != kEmpty) {
    slot = (slot + 1) & mask;
  }
  slots_[slot] = key << kMaxCodeBits | code;
}

void LzwEncoder::HashTable::Clear(uint32_t) { std::fill(slots_.begin(), slots_.end(), kEmpty); }

LzwEncoder::LzwEncoder(int min_code_size, std::string& out)
    : min_code_size_(min_code_size),
      clear_code_(1u << min_code_size),
      index_mask_(static_cast<uint8_t>((1u << min_code_size) - 1)),
      out_(out),
      runs_(clear_code_) {
  for (uint32_t value = 0; value < clear_code_; ++value) {
    runs_[value].push_back(static_cast<uint16_t>(value));
  }
  if (min_code_size <= kDirectBits) {
    direct_table_.emplace(min_code_size);
  } else {
    hash_table_.emplace();
  }
  out_.push_back(static_cast<char>(min_code_size_));
  code_bits_ = min_code_size_ + 1;
  Emit(clear_code_);
  next_code_ = clear_code_ + 2;
}

void LzwEncoder::ResetTable() {
  if (direct_table_) {
    direct_table_->Clear(next_code_);
  } else {
    hash_table_->Clear(next_code_);
  }
  for (std::vector<uint16_t>& codes : runs_) {
    codes.resize(1);
  }
  code_bits_ = min_code_size_ + 1;
  next_code_ = clear_code_ + 2;
}

bool LzwEncoder::NextCode() {
  if (next_code_ == kMaxCodes) {
    // The table is full: start again, in step with the decoder.
    Emit(clear_code_);
    ResetTable();
    return false;
  }
  // A decoder learns this code one code later, and reads the next code at
  // the width that holds it.
  if (next_code_ == (1u << code_bits_)) {
    ++code_bits_;
  }
  ++next_code_;
  return true;
}

uint32_t LzwEncoder::ExtendRun(uint32_t value, uint32_t run_length, size_t count) {
  std::vector<uint16_t>& codes = runs_[value];
  for (;;) {
    const size_t known = codes.size() - run_length;
    if (count <= known) {
      return run_length + static_cast<uint32_t>(count);
    }
    // The longest run in the table, then one pixel more: what the plain
    // loop does, one emitted code per step instead of one look-up a pixel.
    count -= known + 1;
    Emit(codes.back());
    const uint32_t code = next_code_;
    if (NextCode()) {
      codes.push_back(static_cast<uint16_t>(code));
    }
    run_length = 1;
  }
}

void LzwEncoder::Put(std::span<const uint8_t> indices) {
  if (direct_table_) {
    PutWith(*direct_table_, indices);
  } else {
    PutWith(*hash_table_, indices);
  }
}

template <typename Table>
void LzwEncoder::PutWith(Table& table, std::span<const uint8_t> indices) {
  const uint8_t* next = indices.data();
  const uint8_t* const end = next + indices.size();
  if (prefix_ == kNoCode) {
    if (next == end) {
      return;
    }
    prefix_ = *next++ & index_mask_;
    run_value_ = prefix_;
    run_length_ = 1;
  }
  uint32_t prefix = prefix_;
  uint32_t run_value = run_value_;
  uint32_t run_length = run_length_;
  while (next != end) {
    const uint32_t index = *next & index_mask_;
    if (run_length != 0 && index == run_value) {
      const uint8_t* run_end = RunEnd(next + 1, end, static_cast<uint8_t>(index), index_mask_);
      run_length = ExtendRun(index, run_length, static_cast<size_t>(run_end - next));
      prefix = runs_[index][run_length - 1];
      next = run_end;
      continue;
    }
    ++next;
    const uint32_t child = table.Find(prefix, index);
    if (child != 0) {
      prefix = child;
      run_length = 0;
      continue;
    }
    Emit(prefix);
    const uint32_t code = next_code_;
    if (NextCode()) {
      table.Add(prefix, index, code);
    }
    prefix = index;
    run_value = index;
    run_length = 1;
  }
  prefix_ = prefix;
  run_value_ = run_value;
  run_length_ = run_length;
}

void LzwEncoder::Emit(uint32_t code) {
  // At most 7 bits wait in the buffer, so that a code of up to 12 bits fits
  // beside them, and whole bytes go out with one store.
  bit_buffer_ |= uint64_t{code} << bit_count_;
  bit_count_ += code_bits_;
  StoreLittleEndian(packed_ + packed_size_, bit_buffer_);
  const int bytes = bit_count_ / 8;
  packed_size_ += static_cast<size_t>(bytes);
  bit_buffer_ >>= 8 * bytes;
  bit_count_ %= 8;
  if (packed_size_ >= kBlockSize * kPackedBlocks) {
    FlushBlocks(kPackedBlocks);
  }
}

void LzwEncoder::FlushBlocks(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out_.push_back(static_cast<char>(kBlockSize));
    out_.append(reinterpret_cast<const char*>(packed_ + i * kBlockSize), kBlockSize);
  }
  packed_size_ -= count * kBlockSize;
  std::memmove(packed_, packed_ + count * kBlockSize, packed_size_);
}

void LzwEncoder::Finish() {
  if (prefix_ != kNoCode) {
    Emit(prefix_);
    // The decoder adds an entry for this code too; when that makes the table
    // reach the next width, the end code is read at that width.
    if (next_code_ < kMaxCodes && next_code_ == (1u << code_bits_)) {
      ++code_bits_;
    }
  }
  Emit(clear_code_ + 1);
  if (bit_count_ > 0) {
    packed_[packed_size_++] = static_cast<uint8_t>(bit_buffer_);
    bit_buffer_ = 0;
    bit_count_ = 0;
  }
  FlushBlocks(packed_size_ / kBlockSize);
  if (packed_size_ > 0) {
    out_.push_back(static_cast<char>(packed_size_));
    out_.append(reinterpret_cast<const char*>(packed_), packed_size_);
    packed_size_ = 0;
  }
  out_.push_back('\0');
}

}  // namespace ostrel
