// A GIF file decoded with giflib, for checking what the converter wrote:
// the benchmarks' decoder, which they share with the tests.
#ifndef OSTREL_TESTS_SUPPORT_GIF_IMAGE_H_
#define OSTREL_TESTS_SUPPORT_GIF_IMAGE_H_

#include "bench/gif_image.h"

namespace ostrel::testing {

using bench::DecodeGif;
using bench::DecodeGifBytes;
using bench::GifColor;
using bench::GifImage;
using bench::Psnr;

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_GIF_IMAGE_H_
