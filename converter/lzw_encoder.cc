#include "converter/lzw_encoder.h"

#include <algorithm>
#include <cstring>

namespace ostrel {
namespace {

constexpr uint32_t kEmpty = 0xffffffff;

uint32_t HashOf(uint32_t key, int bits) { return (key * 0x9e3779b1u) >> (32 - bits); }

}  // namespace

LzwEncoder::LzwEncoder(int min_code_size, std::string& out)
    : min_code_size_(min_code_size),
      clear_code_(1u << min_code_size),
      index_mask_((1u << min_code_size) - 1),
      out_(out),
      direct_(min_code_size <= kDirectBits) {
  if (direct_) {
    children_.assign(size_t{1} << (kMaxCodeBits + min_code_size_), 0);
  } else {
    hash_.assign(size_t{1} << kHashBits, kEmpty);
  }
  out_.push_back(static_cast<char>(min_code_size_));
  code_bits_ = min_code_size_ + 1;
  Emit(clear_code_);
  next_code_ = clear_code_ + 2;
}

uint32_t LzwEncoder::Find(uint32_t prefix, uint32_t index) const {
  if (direct_) {
    return children_[prefix << min_code_size_ | index];
  }
  const uint32_t key = prefix << 8 | index;
  const uint32_t mask = (1u << kHashBits) - 1;
  for (uint32_t slot = HashOf(key, kHashBits);; slot = (slot + 1) & mask) {
    const uint32_t entry = hash_[slot];
    if (entry == kEmpty) {
      return 0;
    }
    if (entry >> kMaxCodeBits == key) {
      return entry & ((1u << kMaxCodeBits) - 1);
    }
  }
}

void LzwEncoder::Add(uint32_t prefix, uint32_t index, uint32_t code) {
  if (direct_) {
    children_[prefix << min_code_size_ | index] = static_cast<uint16_t>(code);
    return;
  }
  // At most 4096 entries in four times as many slots: a free one is near.
  const uint32_t key = prefix << 8 | index;
  const uint32_t mask = (1u << kHashBits) - 1;
  uint32_t slot = HashOf(key, kHashBits);
  while (hash_[slot] != kEmpty) {
    slot = (slot + 1) & mask;
  }
  hash_[slot] = key << kMaxCodeBits | code;
}

void LzwEncoder::ResetTable() {
  if (direct_) {
    // Only the rows of codes that were given out can hold children.
    std::fill_n(children_.begin(), size_t{next_code_} << min_code_size_, uint16_t{0});
  } else {
    std::fill(hash_.begin(), hash_.end(), kEmpty);
  }
  code_bits_ = min_code_size_ + 1;
  next_code_ = clear_code_ + 2;
}

void LzwEncoder::Put(std::span<const uint8_t> indices) {
  size_t i = 0;
  if (prefix_ == kNoCode) {
    if (indices.empty()) {
      return;
    }
    prefix_ = indices[0] & index_mask_;
    i = 1;
  }
  uint32_t prefix = prefix_;
  for (; i < indices.size(); ++i) {
    const uint32_t index = indices[i] & index_mask_;
    const uint32_t child = Find(prefix, index);
    if (child != 0) {
      prefix = child;
      continue;
    }
    Emit(prefix);
    if (next_code_ < (1u << kMaxCodeBits)) {
      Add(prefix, index, next_code_);
      // A decoder learns this code one code later, and reads the next code
      // at the width that holds it.
      if (next_code_ == (1u << code_bits_)) {
        ++code_bits_;
      }
      ++next_code_;
    } else {
      // The table is full: start again, in step with the decoder.
      Emit(clear_code_);
      ResetTable();
    }
    prefix = index;
  }
  prefix_ = prefix;
}

void LzwEncoder::Emit(uint32_t code) {
  bit_buffer_ |= uint64_t{code} << bit_count_;
  bit_count_ += code_bits_;
  while (bit_count_ >= 8) {
    block_[block_size_++] = static_cast<uint8_t>(bit_buffer_);
    bit_buffer_ >>= 8;
    bit_count_ -= 8;
    if (block_size_ == sizeof block_) {
      FlushBlock();
    }
  }
}

void LzwEncoder::FlushBlock() {
  out_.push_back(static_cast<char>(block_size_));
  out_.append(reinterpret_cast<const char*>(block_), block_size_);
  block_size_ = 0;
}

void LzwEncoder::Finish() {
  if (prefix_ != kNoCode) {
    Emit(prefix_);
    // The decoder adds an entry for this code too; when that makes the table
    // reach the next width, the end code is read at that width.
    if (next_code_ < (1u << kMaxCodeBits) && next_code_ == (1u << code_bits_)) {
      ++code_bits_;
    }
  }
  Emit(clear_code_ + 1);
  if (bit_count_ > 0) {
    block_[block_size_++] = static_cast<uint8_t>(bit_buffer_);
    bit_buffer_ = 0;
    bit_count_ = 0;
  }
  if (block_size_ > 0) {
    FlushBlock();
  }
  out_.push_back('\0');
}

}  // namespace ostrel
