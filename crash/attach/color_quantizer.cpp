#include "crash/attach/color_quantizer.h"

#include <array>
#include <vector>

namespace qor {
namespace {

// Cells per axis: 32 colour cells (five bits of a channel) after a zero
// border at index 0, so that prefix sums need no bounds tests.
constexpr int kSide = 33;
constexpr int kCells = kSide * kSide * kSide;

constexpr int Index(int r, int g, int b) { return (r * kSide + g) * kSide + b; }

enum Axis { kRed, kGreen, kBlue };

// Cells lo[a] < x <= hi[a] on each axis a.
struct Box {
  std::array<int, 3> lo{};
  std::array<int, 3> hi{};
  int Volume() const { return (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]); }
};

// Pixel count and channel sums of a part of the histogram. 64 bits: a
// channel sum over a large screen passes 2^32 (from 16.8 million pixels).
struct Sums {
  int64_t weight = 0;
  std::array<int64_t, 3> channel{};  // red, green, blue

  Sums operator+(const Sums& o) const {
    return {weight + o.weight,
            {channel[0] + o.channel[0], channel[1] + o.channel[1], channel[2] + o.channel[2]}};
  }
  Sums operator-(const Sums& o) const {
    return {weight - o.weight,
            {channel[0] - o.channel[0], channel[1] - o.channel[1], channel[2] - o.channel[2]}};
  }
  // Squared length of the channel sums over the weight; the weight must
  // not be 0.
  double Spread() const {
    double s = 0;
    for (int64_t c : channel) s += static_cast<double>(c) * static_cast<double>(c);
    return s / static_cast<double>(weight);
  }
};

constexpr std::array<int, 256> MakeSquares() {
  std::array<int, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = i * i;
  return s;
}
constexpr std::array<int, 256> kSquares = MakeSquares();

// Turns per-cell values into sums over all cells from (1, 1, 1) up to and
// including each cell.
template <typename T>
void Cumulate(std::vector<T>& m) {
  for (int r = 1; r < kSide; ++r) {
    std::array<T, kSide> area{};
    for (int g = 1; g < kSide; ++g) {
      T line{};
      for (int b = 1; b < kSide; ++b) {
        const int i = Index(r, g, b);
        line += m[i];
        area[b] += line;
        m[i] = m[i - kSide * kSide] + area[b];
      }
    }
  }
}

// The colour histogram with cumulative moments.
class Moments {
 public:
  Moments(const uint8_t* pixels, size_t count)
      : weight_(kCells), red_(kCells), green_(kCells), blue_(kCells), squares_(kCells) {
    for (const uint8_t* p = pixels; p != pixels + 4 * count; p += 4) {
      const int i = Index((p[2] >> 3) + 1, (p[1] >> 3) + 1, (p[0] >> 3) + 1);
      ++weight_[i];
      red_[i] += p[2];
      green_[i] += p[1];
      blue_[i] += p[0];
      squares_[i] += kSquares[p[2]] + kSquares[p[1]] + kSquares[p[0]];
    }
    Cumulate(weight_);
    Cumulate(red_);
    Cumulate(green_);
    Cumulate(blue_);
    Cumulate(squares_);
  }

  // Sums over the plane `axis` = `pos`, from the origin up to the box's
  // upper bounds on the other two axes and above its lower bounds there.
  Sums Plane(const Box& box, Axis axis, int pos) const {
    return {Plane(weight_, box, axis, pos),
            {Plane(red_, box, axis, pos), Plane(green_, box, axis, pos),
             Plane(blue_, box, axis, pos)}};
  }

  Sums Total(const Box& box) const {
    return Plane(box, kRed, box.hi[kRed]) - Plane(box, kRed, box.lo[kRed]);
  }

  // Sum of squared distances of the box's pixels from their mean colour.
  double Variance(const Box& box) const {
    const Sums total = Total(box);
    if (total.weight == 0) return 0;
    const double squares =
        Plane(squares_, box, kRed, box.hi[kRed]) - Plane(squares_, box, kRed, box.lo[kRed]);
    return squares - total.Spread();
  }

 private:
  template <typename T>
  static T Plane(const std::vector<T>& m, const Box& box, Axis axis, int pos) {
    const int a = (axis + 1) % 3;
    const int b = (axis + 2) % 3;
    auto at = [&](int pa, int pb) {
      std::array<int, 3> c;
      c[axis] = pos;
      c[a] = pa;
      c[b] = pb;
      return m[Index(c[0], c[1], c[2])];
    };
    return at(box.hi[a], box.hi[b]) - at(box.hi[a], box.lo[b]) - at(box.lo[a], box.hi[b]) +
           at(box.lo[a], box.lo[b]);
  }

  std::vector<int64_t> weight_;
  std::vector<int64_t> red_;
  std::vector<int64_t> green_;
  std::vector<int64_t> blue_;
  std::vector<double> squares_;
};

struct BestCut {
  double score = 0;
  int position = -1;  // none
};

// The cut plane along `axis` that maximises the variance between the two
// parts; parts without pixels do not count, the first position wins ties.
BestCut Maximize(const Moments& moments, const Box& box, Axis axis, const Sums& whole) {
  const Sums base = Sums{} - moments.Plane(box, axis, box.lo[axis]);
  BestCut best;
  for (int p = box.lo[axis] + 1; p < box.hi[axis]; ++p) {
    const Sums lower = base + moments.Plane(box, axis, p);
    if (lower.weight == 0 || lower.weight == whole.weight) continue;
    const double score = lower.Spread() + (whole - lower).Spread();
    if (score > best.score) best = {score, p};
  }
  return best;
}

// Splits `box` at its best plane: it keeps the lower part and `upper` gets
// the rest. False when no plane leaves pixels on both sides.
bool Cut(const Moments& moments, Box& box, Box& upper) {
  const Sums whole = moments.Total(box);
  const BestCut red = Maximize(moments, box, kRed, whole);
  const BestCut green = Maximize(moments, box, kGreen, whole);
  const BestCut blue = Maximize(moments, box, kBlue, whole);
  Axis axis;
  BestCut cut;
  if (red.score >= green.score && red.score >= blue.score) {
    axis = kRed;
    cut = red;
  } else if (green.score >= blue.score) {
    axis = kGreen;
    cut = green;
  } else {
    axis = kBlue;
    cut = blue;
  }
  if (cut.position < 0) return false;
  upper = box;
  upper.lo[axis] = cut.position;
  box.hi[axis] = cut.position;
  return true;
}

double CutVariance(const Moments& moments, const Box& box) {
  return box.Volume() > 1 ? moments.Variance(box) : 0;
}

}  // namespace

int QuantizeColors(const uint8_t* pixels, size_t pixel_count, uint8_t* palette, int colors) {
  if (pixel_count == 0 || colors < 1 || colors > kMaxQuantizedColors) return 0;
  const Moments moments(pixels, pixel_count);
  std::vector<Box> boxes(colors);
  std::vector<double> variance(colors, 0.0);
  boxes[0].hi = {kSide - 1, kSide - 1, kSide - 1};
  int count = 1;
  int next = 0;
  while (count < colors) {
    if (Cut(moments, boxes[next], boxes[count])) {
      variance[next] = CutVariance(moments, boxes[next]);
      variance[count] = CutVariance(moments, boxes[count]);
      ++count;
    } else {
      // This box cannot be split; the slot stays free for the next cut.
      variance[next] = 0;
    }
    next = 0;
    for (int k = 1; k < count; ++k) {
      if (variance[k] > variance[next]) next = k;
    }
    if (variance[next] <= 0) break;
  }
  for (int k = 0; k < count; ++k) {
    const Sums total = moments.Total(boxes[k]);
    if (total.weight == 0) continue;
    for (int c = 0; c < 3; ++c) {
      palette[3 * k + c] = static_cast<uint8_t>(total.channel[c] / total.weight);
    }
  }
  return count;
}

}  // namespace qor
