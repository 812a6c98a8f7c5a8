#include "CanvasFitting.h"

#include <gtest/gtest.h>

#include <limits>

using plat::CGPoint;
using plat::CGRect;
using plat::CGSize;

namespace {

struct Recorder {
    CGSize viewScale{1, 1};
    CGPoint viewOrigin{0, 0};
};

const CGRect kCanvas{0, 0, 512, 512};

} // namespace

TEST(CanvasFitting, FourBehavioursIntoAWideTarget) {
    struct Row {
        ResizingBehavior behavior;
        CGSize scale;
        CGRect result;
    };
    const Row rows[] = {
        {ResizingBehavior::aspectFit, {0.390625, 0.390625}, {50, 0, 200, 200}},
        {ResizingBehavior::aspectFill, {0.5859375, 0.5859375}, {0, -50, 300, 300}},
        {ResizingBehavior::stretch, {0.5859375, 0.390625}, {0, 0, 300, 200}},
        {ResizingBehavior::center, {1, 1}, {-106, -156, 512, 512}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rawValue(row.behavior));
        Recorder r;
        EXPECT_EQ(apply(row.behavior, kCanvas, {0, 0, 300, 200}), row.result);
        EXPECT_EQ(apply(row.behavior, kCanvas, {0, 0, 300, 200}, r), row.result);
        EXPECT_EQ(r.viewScale, row.scale);
        EXPECT_EQ(r.viewOrigin, row.result.origin);
    }
}

TEST(CanvasFitting, RecordingFitKeepsTheCentredOriginBesideTheScale) {
    Recorder r;
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, kCanvas, {0, 0, 1024, 768}, r), CGRect(128, 0, 768, 768));
    EXPECT_EQ(r.viewScale, CGSize(1.5, 1.5));
    EXPECT_EQ(r.viewOrigin, CGPoint(128, 0));
    // A view point maps back to the canvas point drawn there.
    const CGPoint touch{128 + 256 * 1.5, 100 * 1.5};
    EXPECT_EQ(CGPoint((touch.x - r.viewOrigin.x) / r.viewScale.width,
                      (touch.y - r.viewOrigin.y) / r.viewScale.height),
              CGPoint(256, 100));
}

TEST(CanvasFitting, TargetEqualToTheCanvasOrZeroLeavesEverythingAlone) {
    Recorder r{{0.5, 0.5}, {3, 4}};
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, kCanvas, kCanvas, r), kCanvas);
    EXPECT_EQ(apply(ResizingBehavior::stretch, kCanvas, CGRect(0, 0, 0, 0), r), kCanvas);
    EXPECT_EQ(r.viewScale, CGSize(0.5, 0.5));
    EXPECT_EQ(r.viewOrigin, CGPoint(3, 4));
}

TEST(CanvasFitting, OffsetAndNegativeTargets) {
    Recorder r;
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, kCanvas, {100, 50, 256, 256}, r), CGRect(100, 50, 256, 256));
    EXPECT_EQ(r.viewScale, CGSize(0.5, 0.5));
    EXPECT_EQ(r.viewOrigin, CGPoint(100, 50));
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, kCanvas, {300, 0, -300, 200}), CGRect(50, 0, 200, 200));
}

TEST(CanvasFitting, FrameSizedCanvasIntoASquare) {
    const CGRect rect{0, 0, 100, 50}, target{10, 20, 200, 200};
    Recorder r;
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, rect, target, r), CGRect(10, 70, 200, 100));
    EXPECT_EQ(r.viewScale, CGSize(2, 2));
    EXPECT_EQ(apply(ResizingBehavior::center, rect, target, r), CGRect(60, 95, 100, 50));
    EXPECT_EQ(r.viewScale, CGSize(1, 1));
    EXPECT_EQ(apply(ResizingBehavior::stretch, rect, target, r), CGRect(10, 20, 200, 200));
    EXPECT_EQ(r.viewScale, CGSize(2, 4));
}

TEST(CanvasFitting, UnfittableInputsReturnTheCanvasWithoutRecording) {
    Recorder r{{0.5, 0.5}, {1, 2}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, kCanvas, {0, 0, nan, 100}, r), kCanvas);
    EXPECT_EQ(apply(ResizingBehavior::aspectFit, CGRect(0, 0, 0, 10), {0, 0, 100, 100}, r),
              CGRect(0, 0, 0, 10));
    EXPECT_EQ(r.viewScale, CGSize(0.5, 0.5));
}

TEST(CanvasFitting, RawValues) {
    EXPECT_EQ(resizingBehaviorFromRaw(2), ResizingBehavior::stretch);
    EXPECT_EQ(resizingBehaviorFromRaw(0), ResizingBehavior::aspectFit);
    EXPECT_EQ(resizingBehaviorFromRaw(3), ResizingBehavior::center);
    EXPECT_FALSE(resizingBehaviorFromRaw(4).has_value());
    EXPECT_FALSE(resizingBehaviorFromRaw(-1).has_value());
    EXPECT_EQ(rawValue(ResizingBehavior::aspectFill), 1);
}
