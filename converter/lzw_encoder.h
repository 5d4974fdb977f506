// The LZW compression of a GIF image's indices, written as the image's data
// sub-blocks.
#ifndef OSTREL_CONVERTER_LZW_ENCODER_H_
#define OSTREL_CONVERTER_LZW_ENCODER_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ostrel {

class LzwEncoder {
 public:
  // Indices of `min_code_size` bits (2 to 8: a GIF's code size for a colour
  // table of 2^min_code_size entries, at least 2). Appends its output to
  // `out`, which the caller may empty between calls: first the code size
  // byte, then sub-blocks of up to 255 bytes, each after its length.
  LzwEncoder(int min_code_size, std::string& out);

  // The next pixels, in order; bits above the code size are ignored.
  void Put(std::span<const uint8_t> indices);

  // Writes the last code, the end code and the zero-length block that ends
  // the image data.
  void Finish();

 private:
  static constexpr int kMaxCodeBits = 12;
  static constexpr uint32_t kMaxCodes = 1u << kMaxCodeBits;
  static constexpr uint32_t kNoCode = 0xffffffff;

  // The table of strings other than runs, by the code of the string less
  // its last pixel (the prefix) and that pixel (the index). Find gives the
  // string's code, or 0 when there is none: no string of two or more pixels
  // has code 0, which is a single pixel's.
  //
  // Small alphabets: the child codes of each code, one row per code,
  // indexed by the next pixel.
  class DirectTable {
   public:
    explicit DirectTable(int index_bits);
    uint32_t Find(uint32_t prefix, uint32_t index) const {
      return children_[prefix << index_bits_ | index];
    }
    void Add(uint32_t prefix, uint32_t index, uint32_t code) {
      children_[prefix << index_bits_ | index] = static_cast<uint16_t>(code);
    }
    // Empties the rows of the codes below `codes_used`.
    void Clear(uint32_t codes_used);

   private:
    int index_bits_;
    std::vector<uint16_t> children_;
  };
  // Larger alphabets: open addressing over (prefix << 8 | index) << 12 | code.
  class HashTable {
   public:
    HashTable();
    uint32_t Find(uint32_t prefix, uint32_t index) const;
    void Add(uint32_t prefix, uint32_t index, uint32_t code);
    void Clear(uint32_t codes_used);

   private:
    // Eight times the 4096 codes: few look-ups meet another key first.
    static constexpr int kBits = 15;
    // The prefix spread over the table, the index hashed: the prefix comes
    // from the previous look-up and waits for nothing more than a shift.
    static uint32_t SlotOf(uint32_t prefix, uint32_t index) {
      return ((prefix << (kBits - kMaxCodeBits)) ^ ((index * 0x9e3779b1u) >> (32 - kBits))) &
             ((1u << kBits) - 1);
    }
    std::vector<uint32_t> slots_;
  };

  template <typename Table>
  void PutWith(Table& table, std::span<const uint8_t> indices);
  // Gives the next code to the string just emitted plus one pixel, or, with
  // the table full, emits the clear code and starts again. True when the
  // string got its code.
  bool NextCode();
  // Takes `count` more pixels of `value` after the run of `run_length`
  // pixels of it matched so far; returns the run length matched after them.
  uint32_t ExtendRun(uint32_t value, uint32_t run_length, size_t count);
  void Emit(uint32_t code);
  void ResetTable();
  void FlushBlocks(size_t count);

  int min_code_size_;
  uint32_t clear_code_;
  uint8_t index_mask_;
  std::string& out_;

  uint32_t next_code_ = 0;
  int code_bits_ = 0;
  uint32_t prefix_ = kNoCode;  // the code of the string matched so far
  // When that string is a run of one pixel value: the value and the run's
  // length; else a length of 0.
  uint32_t run_value_ = 0;
  uint32_t run_length_ = 0;

  // Runs: the strings of one value repeated are made in order of length, so
  // runs_[v][n - 1] is the code of n pixels of value v for every n up to
  // runs_[v].size(). Runs are matched by counting the pixels instead of
  // looking up each one; the tables below never hold these strings.
  std::vector<std::vector<uint16_t>> runs_;

  static constexpr int kDirectBits = 4;  // the largest code size for a DirectTable
  std::optional<DirectTable> direct_table_;
  std::optional<HashTable> hash_table_;

  // Codes packed into bytes, flushed to `out_` in whole sub-blocks.
  static constexpr size_t kBlockSize = 255;
  static constexpr size_t kPackedBlocks = 16;
  uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
  size_t packed_size_ = 0;
  // Room for one 8-byte store past the blocks.
  uint8_t packed_[kBlockSize * kPackedBlocks + 8];
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_LZW_ENCODER_H_
