// The LZW compression of a GIF image's indices, written as the image's data
// sub-blocks.
#ifndef OSTREL_CONVERTER_LZW_ENCODER_H_
#define OSTREL_CONVERTER_LZW_ENCODER_H_

#include <cstdint>
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
  static constexpr uint32_t kNoCode = 0xffffffff;

  // The code of string `prefix` + `index`, or 0 when there is none: no
  // string of two or more pixels has code 0, which is a single pixel's.
  uint32_t Find(uint32_t prefix, uint32_t index) const;
  void Add(uint32_t prefix, uint32_t index, uint32_t code);
  void Emit(uint32_t code);
  void ResetTable();
  void FlushBlock();

  int min_code_size_;
  uint32_t clear_code_;
  uint32_t index_mask_;
  std::string& out_;

  uint32_t next_code_ = 0;
  int code_bits_ = 0;
  uint32_t prefix_ = kNoCode;  // the code of the string matched so far

  // Small alphabets (code size up to kDirectBits): the child codes of each
  // code, one row per code, indexed by the next pixel. Larger alphabets: an
  // open-addressing hash table of (prefix << 8 | index) << 12 | code.
  static constexpr int kDirectBits = 4;
  static constexpr int kHashBits = 14;  // four times the 4096 codes
  bool direct_;
  std::vector<uint16_t> children_;
  std::vector<uint32_t> hash_;

  uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
  uint8_t block_[255];
  size_t block_size_ = 0;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_LZW_ENCODER_H_
