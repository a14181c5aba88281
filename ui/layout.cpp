#include "ui/layout.h"

namespace korvelt {
namespace {

// Coordinates are screen or client positions, far from the int32 limits,
// but the sums are taken wide so that no input can overflow them.
int32_t Clamp32(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Centres `size` on [targetLow, targetHigh] and keeps it in [boundLow, boundHigh].
int32_t CentreOnAxis(int32_t size, int32_t targetLow, int32_t targetHigh, int32_t boundLow, int32_t boundHigh) {
  // Both halvings round toward zero, as C++ integer division does.
  int64_t position = (static_cast<int64_t>(targetLow) + targetHigh) / 2 - size / 2;
  if (position < boundLow) {
    position = boundLow;
  } else if (position + size > boundHigh) {
    position = static_cast<int64_t>(boundHigh) - size;
  }
  return Clamp32(position);
}

}  // namespace

int32_t ScaledPixels(int32_t pixels, int32_t dpi) {
  if (dpi <= 0) return pixels;
  int64_t scaled = static_cast<int64_t>(pixels) * dpi;
  // Halves round away from zero, as the platform's MulDiv does.
  scaled = scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96;
  return Clamp32(scaled);
}

LayoutPoint CentredPosition(const LayoutRect& window, const LayoutRect& target, const LayoutRect& bound) {
  LayoutPoint point;
  point.x = CentreOnAxis(window.Width(), target.left, target.right, bound.left, bound.right);
  point.y = CentreOnAxis(window.Height(), target.top, target.bottom, bound.top, bound.bottom);
  return point;
}

LayoutRect AnchoredRect(const LayoutRect& recorded, const LayoutRect& current, uint32_t flags, int32_t widthChange,
                        int32_t heightChange) {
  LayoutRect placed = current;
  if (flags & (StretchX | ShiftX)) placed.right = Clamp32(static_cast<int64_t>(recorded.right) + widthChange);
  if (flags & ShiftX) placed.left = Clamp32(static_cast<int64_t>(recorded.left) + widthChange);
  if (flags & (StretchY | ShiftY)) placed.bottom = Clamp32(static_cast<int64_t>(recorded.bottom) + heightChange);
  if (flags & ShiftY) placed.top = Clamp32(static_cast<int64_t>(recorded.top) + heightChange);
  return placed;
}

void ResizeModel::Reset(LayoutSize referenceClient) {
  anchors_.Clear();
  reference_ = referenceClient;
  minimum_ = LayoutSize{-1, -1};
}

bool ResizeModel::AddAnchor(const ResizeRule& rule, const LayoutRect& recorded) {
  return anchors_.Push(Anchor{rule, recorded});
}

LayoutSize ResizeModel::LayoutClientSize(LayoutSize client, bool childDialog) const {
  if (!childDialog || !HasMinimum()) return client;
  if (client.width < minimum_.width) client.width = minimum_.width;
  if (client.height < minimum_.height) client.height = minimum_.height;
  return client;
}

LayoutRect ResizeModel::Place(size_t index, const LayoutRect& current, LayoutSize client) const {
  const Anchor& anchor = anchors_[index];
  int32_t widthChange = Clamp32(static_cast<int64_t>(client.width) - reference_.width);
  int32_t heightChange = Clamp32(static_cast<int64_t>(client.height) - reference_.height);
  return AnchoredRect(anchor.recorded, current, anchor.rule.flags, widthChange, heightChange);
}

}  // namespace korvelt
