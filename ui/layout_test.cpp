#include "ui/layout.h"

#include <gtest/gtest.h>

namespace korvelt {

// Failing cases print their rectangles and points readably.
void PrintTo(const LayoutRect& r, std::ostream* out) {
  *out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
void PrintTo(const LayoutPoint& p, std::ostream* out) { *out << "(" << p.x << "," << p.y << ")"; }

namespace {

LayoutRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return LayoutRect{left, top, right, bottom}; }

struct CentringCase {
  const char* name;
  LayoutRect window;
  LayoutRect target;
  LayoutRect bound;
  LayoutPoint expected;
};

// Centring over a target, then pushing back into the bound, axis by axis.
TEST(CentredPositionTest, CentresThenKeepsInsideBound) {
  const LayoutRect screen = Rect(0, 0, 1280, 1024);
  const CentringCase cases[] = {
      {"owner in the middle", Rect(0, 0, 200, 100), Rect(400, 300, 800, 600), screen, {500, 400}},
      {"no owner: the work area itself", Rect(10, 10, 310, 110), screen, screen, {490, 462}},
      {"work area below a top taskbar", Rect(0, 0, 300, 100), Rect(0, 40, 1280, 1024), Rect(0, 40, 1280, 1024),
       {490, 482}},
      {"odd sizes halve toward zero", Rect(0, 0, 101, 51), Rect(0, 0, 301, 201), screen, {100, 75}},
      {"negative centre halves toward zero", Rect(0, 0, 101, 51), Rect(-301, -201, 0, 0), Rect(-2000, -2000, 2000, 2000),
       {-200, -125}},
      {"owner past the left edge", Rect(0, 0, 200, 100), Rect(-150, 300, 50, 400), screen, {0, 300}},
      {"owner past the right edge", Rect(0, 0, 200, 100), Rect(1200, 300, 1400, 400), screen, {1080, 300}},
      {"owner past the top edge", Rect(0, 0, 200, 100), Rect(400, -80, 600, 20), screen, {400, 0}},
      {"owner past the bottom edge", Rect(0, 0, 200, 100), Rect(400, 1000, 600, 1100), screen, {400, 924}},
      {"bound with an offset origin", Rect(0, 0, 200, 100), Rect(0, 0, 100, 100), Rect(50, 60, 1000, 900), {50, 60}},
      {"wider than bound, centred start left of it", Rect(0, 0, 2000, 100), screen, screen, {0, 462}},
      {"wider than bound, centred start inside it", Rect(0, 0, 2000, 100), Rect(2000, 0, 3000, 1024), screen,
       {-720, 462}},
      {"taller than bound, centred start above it", Rect(0, 0, 100, 1500), screen, screen, {590, 0}},
      {"taller than bound, centred start inside it", Rect(0, 0, 100, 1500), Rect(0, 1000, 1280, 2000), screen,
       {590, -476}},
      {"window origin does not matter", Rect(700, 700, 900, 800), Rect(400, 300, 800, 600), screen, {500, 400}},
  };
  for (const CentringCase& c : cases) {
    EXPECT_EQ(CentredPosition(c.window, c.target, c.bound), c.expected) << c.name;
  }
}

// Extreme coordinates neither overflow nor wrap.
TEST(CentredPositionTest, ExtremeCoordinatesStayInRange) {
  LayoutRect huge = Rect(INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX);
  LayoutPoint point = CentredPosition(Rect(0, 0, 100, 100), huge, huge);
  EXPECT_EQ(point, (LayoutPoint{INT32_MAX - 10, INT32_MAX - 10}));
}

// Lengths at 96 dots per inch taken to other densities, rounded to the
// nearest pixel with halves away from zero; no density leaves them alone.
TEST(ScaledPixelsTest, FollowTheDensity) {
  struct Case {
    int32_t pixels, dpi, expected;
  } cases[] = {
      {100, 96, 100},  {100, 144, 150},         {100, 192, 200},         {80, 120, 100},
      {1, 144, 2},     {3, 120, 4},             {5, 120, 6},             {-5, 120, -6},
      {200, 0, 200},   {200, -96, 200},         {0, 192, 0},             {INT32_MAX, 192, INT32_MAX},
      {INT32_MIN, 192, INT32_MIN}, {INT32_MAX, 48, INT32_MAX / 2 + 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaledPixels(c.pixels, c.dpi), c.expected) << c.pixels << " px at " << c.dpi << " dpi";
  }
}

struct AnchorCase {
  const char* name;
  uint32_t flags;
  int32_t widthChange;
  int32_t heightChange;
  LayoutRect expected;
};

// Each flag moves only the edges it names; the others keep their current place.
TEST(AnchoredRectTest, FlagsMoveOnlyTheirEdges) {
  // The current rectangle differs from the recorded one, so that edges left
  // alone can be told apart from edges recomputed.
  const LayoutRect recorded = Rect(10, 20, 110, 70);
  const LayoutRect current = Rect(12, 23, 115, 77);
  const AnchorCase cases[] = {
      {"no flag", 0, 100, 50, current},
      {"repaint alone", Repaint, 100, 50, current},
      {"stretch x", StretchX, 100, 50, Rect(12, 23, 210, 77)},
      {"stretch y", StretchY, 100, 50, Rect(12, 23, 115, 120)},
      {"shift x", ShiftX, 100, 50, Rect(110, 23, 210, 77)},
      {"shift y", ShiftY, 100, 50, Rect(12, 70, 115, 120)},
      {"stretch both", StretchX | StretchY, 100, 50, Rect(12, 23, 210, 120)},
      {"shift both", ShiftX | ShiftY, 100, 50, Rect(110, 70, 210, 120)},
      {"stretch x, shift y", StretchX | ShiftY, 100, 50, Rect(12, 70, 210, 120)},
      {"shift x wins over stretch x", ShiftX | StretchX, 100, 50, Rect(110, 23, 210, 77)},
      {"grip rule", kGripFlags, 100, 50, Rect(110, 70, 210, 120)},
      {"shrinking", ShiftX | StretchY, -5, -8, Rect(5, 23, 105, 62)},
      {"no change returns to the recorded edges", ShiftX | ShiftY, 0, 0, recorded},
  };
  for (const AnchorCase& c : cases) {
    EXPECT_EQ(AnchoredRect(recorded, current, c.flags, c.widthChange, c.heightChange), c.expected) << c.name;
  }
}

class ResizeModelTest : public ::testing::Test {
 protected:
  // The download dialog's table, after the grip, at a 400 by 300 client.
  void SetUp() override {
    model.Reset(LayoutSize{400, 300});
    ASSERT_TRUE(model.AddAnchor({kGripId, kGripFlags}, Rect(383, 283, 400, 300)));
    ASSERT_TRUE(model.AddAnchor({1007, StretchX | StretchY}, Rect(10, 10, 390, 200)));
    ASSERT_TRUE(model.AddAnchor({1008, StretchX | ShiftY}, Rect(10, 215, 390, 225)));
    ASSERT_TRUE(model.AddAnchor({1009, StretchX | ShiftY}, Rect(10, 240, 390, 250)));
    ASSERT_TRUE(model.AddAnchor({1012, ShiftY}, Rect(10, 205, 100, 213)));
    ASSERT_TRUE(model.AddAnchor({1013, ShiftY}, Rect(10, 230, 100, 238)));
    ASSERT_TRUE(model.AddAnchor({1011, ShiftY}, Rect(200, 265, 270, 285)));
    ASSERT_TRUE(model.AddAnchor({2, ShiftX | ShiftY}, Rect(310, 265, 380, 285)));
    ASSERT_TRUE(model.AddAnchor({1014, ShiftY}, Rect(110, 205, 190, 213)));
  }

  LayoutRect PlaceUnmoved(size_t index, LayoutSize client) { return model.Place(index, model[index].recorded, client); }

  ResizeModel model;
};

// Growing by 100 by 50 widens the list and bars, moves the bottom row down
// and Cancel to the right as well, and leaves Pause where it was across.
TEST_F(ResizeModelTest, GrowingFollowsTheDownloadDialogTable) {
  const LayoutSize grown{500, 350};
  const LayoutRect expected[] = {
      Rect(483, 333, 500, 350),  // grip
      Rect(10, 10, 490, 250),    // list: 100 wider, 50 taller
      Rect(10, 265, 490, 275),   // current bar: wider and lower
      Rect(10, 290, 490, 300),   // global bar
      Rect(10, 255, 100, 263),   // label
      Rect(10, 280, 100, 288),   // label
      Rect(200, 315, 270, 335),  // Pause: only down
      Rect(410, 315, 480, 335),  // Cancel: right and down
      Rect(110, 255, 190, 263),  // speed text
  };
  ASSERT_EQ(model.Count(), sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < model.Count(); ++i) {
    EXPECT_EQ(PlaceUnmoved(i, grown), expected[i]) << "control " << model[i].rule.controlId;
  }
}

// Layouts start from the recorded rectangles, so repeated resizes do not add up.
TEST_F(ResizeModelTest, RepeatedLayoutsDoNotAccumulate) {
  LayoutRect once = PlaceUnmoved(7, LayoutSize{500, 350});
  LayoutRect twice = model.Place(7, once, LayoutSize{500, 350});
  EXPECT_EQ(twice, once);
  EXPECT_EQ(model.Place(7, twice, LayoutSize{400, 300}), model[7].recorded);
}

// The minimum is unknown until set; only a child dialog is laid out no smaller than it.
TEST_F(ResizeModelTest, MinimumRaisesOnlyChildDialogs) {
  EXPECT_FALSE(model.HasMinimum());
  EXPECT_EQ(model.LayoutClientSize(LayoutSize{100, 50}, true), (LayoutSize{100, 50}));
  model.SetMinimum(LayoutSize{400, 300});
  ASSERT_TRUE(model.HasMinimum());
  EXPECT_EQ(model.Minimum(), (LayoutSize{400, 300}));
  const struct {
    LayoutSize client;
    bool child;
    LayoutSize expected;
  } cases[] = {
      {{100, 50}, true, {400, 300}},  {{100, 500}, true, {400, 500}}, {{600, 50}, true, {600, 300}},
      {{600, 500}, true, {600, 500}}, {{100, 50}, false, {100, 50}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(model.LayoutClientSize(c.client, c.child), c.expected)
        << c.client.width << "x" << c.client.height << (c.child ? " child" : " top-level");
  }
}

// Reset forgets the anchors and the minimum and takes the new reference size.
TEST_F(ResizeModelTest, ResetStartsOver) {
  model.SetMinimum(LayoutSize{1, 1});
  model.Reset(LayoutSize{10, 20});
  EXPECT_EQ(model.Count(), 0u);
  EXPECT_FALSE(model.HasMinimum());
  EXPECT_EQ(model.Reference(), (LayoutSize{10, 20}));
}

}  // namespace
}  // namespace korvelt
