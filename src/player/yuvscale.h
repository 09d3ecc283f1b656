// Turns a decoded YUV frame (I420 or NV12) into BGRx of any size in one pass:
// an area average (box filter) where the picture shrinks, bilinear where it
// grows, then YUV to RGB.  Only the rows and columns the output needs are
// read, and nothing of frame size is written.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

enum class YuvLayout { kI420, kNV12 };

// A frame's planes as the decoder left them.  For NV12, plane[1] holds the
// interleaved U and V samples and plane[2] is unused.  Chroma planes have
// half the width and height (rounded up).
struct YuvFrame {
  YuvLayout layout = YuvLayout::kI420;
  int width = 0;
  int height = 0;
  const uint8_t* plane[3] = {nullptr, nullptr, nullptr};
  int stride[3] = {0, 0, 0};
};

// The YUV to RGB matrix: luma weights of red and blue, and the range.
struct YuvMatrix {
  double kr = 0.299;  // BT.601
  double kb = 0.114;
  bool fullRange = false;  // false: Y 16..235, U and V 16..240
};

// A crop of the frame in frame pixels.
struct YuvCrop {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const YuvCrop&) const = default;
};

// The part of the scaled picture to make: the crop is scaled to
// fullWidth x fullHeight, and only the window at (x, y) of out size is
// written (a zoomed picture of which the pane shows a part).  The pixels are
// those of the whole scaled picture at that place, mirrored or not.
struct YuvWindow {
  int fullWidth = 0;
  int fullHeight = 0;
  int x = 0;
  int y = 0;
  bool operator==(const YuvWindow&) const = default;
};

class YuvScaler {
 public:
  // Writes the crop of `in` scaled to outWidth x outHeight into `out` (rows
  // `outStride` bytes apart, 32-bit pixels 0xffRRGGBB in native byte order),
  // flipped left to right when `mirror` is set.  False (nothing written) when
  // a size is not positive or the crop leaves the frame.
  bool Scale(const YuvFrame& in, const YuvMatrix& matrix, const YuvCrop& crop, uint8_t* out, int outStride,
             int outWidth, int outHeight, bool mirror);
  // As Scale, writing only `window` of the crop scaled to its full size
  // (outWidth x outHeight at window.x, window.y); the rows and columns that
  // window leaves out are neither read nor computed.  False also when the
  // window leaves the full picture.
  bool ScaleWindow(const YuvFrame& in, const YuvMatrix& matrix, const YuvCrop& crop, const YuvWindow& window,
                   uint8_t* out, int outStride, int outWidth, int outHeight, bool mirror);

 private:
  // For each output sample, `count` consecutive source indices and their
  // weights (summing to `unit`; unused taps weigh 0).
  struct Taps {
    int count = 0;
    int first = 0;  // lowest and highest index used
    int last = 0;
    std::vector<int32_t> index;
    std::vector<uint16_t> weight;
  };
  // Taps of outputs outFirst .. outFirst + outCount - 1 of `fullLength`.
  static void MakeTaps(double start, double length, int limit, int fullLength, int outFirst, int outCount,
                       bool mirror, int unit, Taps* taps);
  // One output row of one channel group: the source rows `rows` (tap set
  // `r`) blended into acc_, then the columns into out (step `channels`).
  void ScaleRow(const uint8_t* plane, int stride, const Taps& rows, int r, const Taps& cols, int channels,
                uint8_t* const* out);
  template <int kTaps, int kChannels>
  void Columns(const Taps& cols, uint8_t* const* out);
  void Columns4(const Taps& cols, uint8_t* out);

  struct Key {
    int width = 0, height = 0, outWidth = 0, outHeight = 0;
    YuvCrop crop;
    YuvWindow window;
    bool mirror = false;
    YuvLayout layout = YuvLayout::kI420;
    bool operator==(const Key&) const = default;
  };
  Key key_;
  bool haveTaps_ = false;
  Taps lumaCols_, lumaRows_, chromaCols_, chromaRows_;
  std::vector<uint16_t> acc_;
  std::vector<uint8_t> lineY_, lineU_, lineV_;
};

}  // namespace qv
