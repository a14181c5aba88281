// The arithmetic behind the dialog layout services: where a window goes
// when it is centred, and where a resizable dialog's anchored controls go
// when the dialog changes size. Plain numbers only; ui/layout_win.h
// applies them to real windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/list.h"

namespace korvelt {

struct LayoutRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const LayoutRect&) const = default;
};

struct LayoutPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const LayoutPoint&) const = default;
};

struct LayoutSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const LayoutSize&) const = default;
};

// The top-left corner that centres a window of `window`'s size on `target`
// and then keeps it inside `bound`. Per axis the near edge is tested first:
// a window larger than the bound ends up on its near edge when the centred
// position starts before it, and on its far edge otherwise.
LayoutPoint CentredPosition(const LayoutRect& window, const LayoutRect& target, const LayoutRect& bound);

// A length of `pixels` at the platform's reference 96 dots per inch,
// taken to `dpi`, rounded to the nearest pixel. A dpi of 0 or less
// leaves it unchanged.
int32_t ScaledPixels(int32_t pixels, int32_t dpi);

// How a control follows its dialog's size.
enum ResizeFlag : uint32_t {
  StretchX = 0x1,  // right edge follows the width change
  StretchY = 0x2,  // bottom edge follows the height change
  ShiftX = 0x4,    // left and right edges follow the width change
  ShiftY = 0x8,    // top and bottom edges follow the height change
  Repaint = 0x10,  // invalidated with its background after every move
};

struct ResizeRule {
  int32_t controlId = 0;
  uint32_t flags = 0;
};

// The size grip's control id and the rule it follows.
constexpr int32_t kGripId = 59393;
constexpr uint32_t kGripFlags = ShiftX | ShiftY | Repaint;

// The rectangle of a control whose rectangle was `recorded` at the
// reference client size, for a client size that differs from it by
// (`widthChange`, `heightChange`). Edges no flag names keep their place in
// `current`.
LayoutRect AnchoredRect(const LayoutRect& recorded, const LayoutRect& current, uint32_t flags, int32_t widthChange,
                        int32_t heightChange);

// One resizable dialog's anchoring state: the rules in order, each with the
// control's rectangle when the dialog was set up.
class ResizeModel {
 public:
  struct Anchor {
    ResizeRule rule;
    LayoutRect recorded;
  };

  // Starts over with the dialog's reference client size.
  void Reset(LayoutSize referenceClient);
  bool AddAnchor(const ResizeRule& rule, const LayoutRect& recorded);
  // The smallest size the dialog may take; unknown until set.
  void SetMinimum(LayoutSize minimum) { minimum_ = minimum; }
  bool HasMinimum() const { return minimum_.width >= 0 && minimum_.height >= 0; }
  LayoutSize Minimum() const { return minimum_; }
  LayoutSize Reference() const { return reference_; }

  // The client size to lay out at: a child dialog is never laid out below
  // its minimum, since no frame stops its parent from shrinking it.
  LayoutSize LayoutClientSize(LayoutSize client, bool childDialog) const;
  // Where anchor `index` goes at client size `client`, from its current
  // rectangle.
  LayoutRect Place(size_t index, const LayoutRect& current, LayoutSize client) const;

  size_t Count() const { return anchors_.Count(); }
  const Anchor& operator[](size_t index) const { return anchors_[index]; }

 private:
  List<Anchor> anchors_;
  LayoutSize reference_;
  LayoutSize minimum_{-1, -1};
};

}  // namespace korvelt
