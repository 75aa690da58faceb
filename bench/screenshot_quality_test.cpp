// Oracle for the screenshot's colours: our quantiser and mapping against
// libimagequant on the same desktop pictures. Both must fail loudly if our
// quality drops: the busy desktop within 2 dB of libimagequant, and the
// Wine dialogs (few colours, where libimagequant is nearly lossless and our
// 5-bit colour cells cost the last shades) at 45 dB or more, which is a
// mean error of about one level per channel.
#include <gtest/gtest.h>

#include <cstdio>

#include "bench/screenshot_pictures.h"

namespace qor::bench {
namespace {

TEST(ScreenshotQuality, AgainstLibimagequant) {
  for (const Picture& p : LoadPictures()) {
    ASSERT_FALSE(p.bgrx.empty()) << p.name;
    const double ours = Psnr(p, OurColors(p));
    const double reference = Psnr(p, LiqColors(p));
    std::printf("%s: ours %.2f dB, libimagequant %.2f dB\n", p.name.c_str(), ours, reference);
    if (p.name == "wine_dialogs") {
      EXPECT_GE(ours, 45.0);
    } else {
      EXPECT_GE(ours, reference - 2.0) << p.name;
    }
  }
}

}  // namespace
}  // namespace qor::bench
