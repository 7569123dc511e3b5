// A failing call leaves its object (or, for const members, its output argument) bit for bit as it
// was: every getter value, every coordinate tag and every byte. The outputs start out with tags
// and values the library never writes (image tags, NaN payloads), so that a stray write shows.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "hardening/object_state.h"
#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/bspline2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A NaN with a payload of its own: an output holding it was certainly not written.
double MarkedNan() {
    const std::uint64_t bits = 0x7ff8'0000'dead'beefULL;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

C2DLine Line(double a, double b, double c) {
    const double params[3] = {a, b, c};
    C2DLine line;
    line.SetLineParams(params);
    return line;
}

C2DCoordinate TaggedPoint() {
    return C2DCoordinate(MarkedNan(), -3.25, ImageCoordinateSystem);
}

C2DLineSegment Segment(double x1, double y1, double x2, double y2) {
    return C2DLineSegment(C2DCoordinate(x1, y1), C2DCoordinate(x2, y2));
}

CCameraParam Camera(double f, double tx, double ty, double tz) {
    return CCameraParam(CIntrinsicParam(f, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(CRotateMatrix(), C3DVector(tx, ty, tz)));
}

TEST(UnchangedOnFailure, LineDistanceLeavesTheDistance) {
    const C2DLine lines[] = {Line(0.0, 0.0, 1.0), Line(kNan, 1.0, 0.0), Line(1.0, kInf, 0.0)};
    for (const C2DLine& line : lines) {
        for (const bool signedDistance : {false, true}) {
            SCOPED_TRACE(testing::Message() << ValuesOf(line)[0] << " " << ValuesOf(line)[1]);
            double distance = MarkedNan();
            const auto lineBefore = Snapshot(line);
            EXPECT_FALSE(line.GetDistance(C2DCoordinate(1.0, 2.0), distance, signedDistance));
            EXPECT_TRUE(SameDoubleBits(distance, MarkedNan()));
            ExpectUnchanged(lineBefore, line);
        }
    }
    double distance = MarkedNan();  // a point at infinity has no finite distance
    EXPECT_FALSE(Line(1.0, 0.0, 0.0).GetDistance(C2DCoordinate(kInf, 0.0), distance, false));
    EXPECT_TRUE(SameDoubleBits(distance, MarkedNan()));
}

TEST(UnchangedOnFailure, LineIntersectionLeavesThePoint) {
    const C2DLine vertical = Line(1.0, 0.0, -1.0);  // x = 1
    const struct {
        C2DLine first;
        C2DLine second;
    } cases[] = {
        {vertical, Line(2.0, 0.0, -5.0)},       // parallel
        {vertical, Line(-3.0, 0.0, 3.0)},       // coincident
        {Line(0.0, 0.0, 1.0), vertical},        // this line degenerate
        {vertical, Line(0.0, 0.0, 1.0)},        // the other degenerate
        {vertical, Line(kNan, 1.0, 0.0)},       // not a number
        {vertical, Line(1.0, 1e-300, -1e300)},  // meets it beyond the double range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << ValuesOf(c.second)[0] << " " << ValuesOf(c.second)[1]);
        C2DCoordinate point = TaggedPoint();
        const auto pointBefore = Snapshot(point);
        const auto firstBefore = Snapshot(c.first);
        EXPECT_FALSE(c.first.GetIntersection(c.second, point));
        ExpectUnchanged(pointBefore, point);
        ExpectUnchanged(firstBefore, c.first);
    }
}

TEST(UnchangedOnFailure, LineFitLeavesTheLine) {
    C1DArray<C2DCoordinate> empty;
    C1DArray<C2DCoordinate> withNan;
    withNan.SetSize(3);
    withNan[1].SetVector(kNan, 1.0);
    withNan[2].SetVector(2.0, 2.0);
    C1DArray<C2DCoordinate> withInfinity(withNan);
    withInfinity[1].SetVector(1.0, kInf);
    C1DArray<C2DCoordinate> beyondRange(withNan);  // the mean overflows
    beyondRange[1].SetVector(1.7e308, 0.0);
    beyondRange[2].SetVector(1.7e308, 1.0);
    for (const C1DArray<C2DCoordinate>* points : {&empty, &withNan, &withInfinity, &beyondRange}) {
        SCOPED_TRACE(points->GetSize());
        C2DLine line = Line(MarkedNan(), 2.0, -0.0);
        const auto before = Snapshot(line);
        EXPECT_FALSE(line.GetApproximationLine(*points));
        ExpectUnchanged(before, line);
    }
}

TEST(UnchangedOnFailure, LineCentreLineLeavesTheCentre) {
    const C2DLine good = Line(1.0, 0.0, 0.0);
    const struct {
        C2DLine first;
        C2DLine second;
    } cases[] = {
        {Line(0.0, 0.0, 1.0), good},
        {good, Line(0.0, 0.0, 1.0)},
        {good, Line(kNan, 0.0, 0.0)},
        {Line(1.0, 1.0, kInf), good},
    };
    for (const auto& c : cases) {
        C2DLine center = Line(MarkedNan(), 7.0, 8.0);
        const auto before = Snapshot(center);
        EXPECT_FALSE(c.first.CalcCenterLine(c.second, center));
        ExpectUnchanged(before, center);
    }
}

TEST(UnchangedOnFailure, SegmentUnifyLeavesTheResult) {
    const C2DLineSegment base = Segment(0.0, 0.0, 10.0, 0.0);
    const struct {
        C2DLineSegment other;
        double tolerance;
    } cases[] = {
        {Segment(12.0, 0.0, 20.0, 0.0), -1.0},    // negative tolerance
        {Segment(12.0, 0.0, 20.0, 0.0), kNan},    // no tolerance
        {Segment(12.0, 1.0, 20.0, 3.0), 1.9},     // mean distance 2
        {Segment(12.0, kNan, 20.0, 0.0), 1e300},  // a point that is not a number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tolerance);
        C2DLineSegment unified = Segment(-5.0, MarkedNan(), 3.0, 4.0);
        const auto before = Snapshot(unified);
        EXPECT_FALSE(base.Unify(c.other, unified, c.tolerance));
        ExpectUnchanged(before, unified);
        // Aliased: the result is this segment itself.
        C2DLineSegment self = base;
        const auto selfBefore = Snapshot(self);
        EXPECT_FALSE(self.Unify(c.other, self, c.tolerance));
        ExpectUnchanged(selfBefore, self);
    }
}

TEST(UnchangedOnFailure, EpipolarSegmentLeavesTheSegment) {
    const CCameraParam first = Camera(1.0, 0.0, 0.0, 0.0);
    const struct {
        CCameraParam second;
        C2DCoordinate point;
        const char* why;
    } cases[] = {
        {Camera(0.0, 1.0, 0.0, 0.0), C2DCoordinate(0.2, 0.1), "focal length 0"},
        {Camera(kNan, 1.0, 0.0, 0.0), C2DCoordinate(0.2, 0.1), "focal length not a number"},
        {Camera(1.0, 0.0, -1.0, 0.0), C2DCoordinate(0.2, 0.1), "vertical epipolar lines"},
        {Camera(1.0, 1.0, 0.0, 0.0), C2DCoordinate(kNan, 0.1), "point not a number"},
        {Camera(1.0, 1e-310, 1.0, 0.0), C2DCoordinate(0.2, 0.1), "slope beyond the range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        C2DLineSegment segment = Segment(MarkedNan(), 1.0, 2.0, 3.0);
        const auto before = Snapshot(segment);
        EXPECT_FALSE(segment.SetEpipolarLine(first, c.second, c.point, 0, 640));
        ExpectUnchanged(before, segment);
    }
}

TEST(UnchangedOnFailure, SegmentCentreLineLeavesTheCentre) {
    const C2DLineSegment good = Segment(0.0, 0.0, 10.0, 0.0);
    const C2DLineSegment withNan = Segment(0.0, kNan, 10.0, 2.0);
    const std::pair<C2DLineSegment, C2DLineSegment> cases[] = {{withNan, good}, {good, withNan}};
    for (const auto& [first, second] : cases) {
        C2DLineSegment center = Segment(MarkedNan(), 1.0, 2.0, 3.0);
        const auto before = Snapshot(center);
        EXPECT_FALSE(first.CalcCenterLine(second, center));
        ExpectUnchanged(before, center);
    }
}

TEST(UnchangedOnFailure, SplineSamplingLeavesTheSamples) {
    C1DArray<C2DCoordinate> line;  // eleven points 10 apart: length 100
    line.SetSize(11);
    for (int i = 0; i < 11; ++i) {
        line[i].SetVector(10.0 * i, 0.0);
    }
    C1DArray<C2DCoordinate> crowded(line);  // all within 2 of each other: one point is left
    for (int i = 0; i < 11; ++i) {
        crowded[i].SetVector(0.1 * i, 0.0);
    }
    const struct {
        const C1DArray<C2DCoordinate>* points;
        double interval;
        bool passThrough;
        EErrorType expected;
    } cases[] = {
        {&crowded, 10.0, true, CurveParamError},
        {&line, -1.0, false, IntervalError},
        {&line, 15.0, false, KnotVectorError},    // three control points
        {&line, 20.0, false, ControlPointError},  // two control points
        {&line, 4.0, false, ControlPointError},   // more control points than points
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        C1DArray<C2DCoordinate> samples;
        samples.SetSize(4);
        for (int i = 0; i < 4; ++i) {
            samples[i] = C2DCoordinate(MarkedNan(), -i, ImageCoordinateSystem);
        }
        const auto before = Snapshot(samples);
        std::vector<std::string> elementBytes;
        for (int i = 0; i < 4; ++i) {
            elementBytes.push_back(BytesOf(samples[i]));
        }
        EXPECT_EQ(C2DBSpline::GetSamplePoint(*c.points, c.interval, samples, c.passThrough),
                  c.expected);
        ExpectUnchanged(before, samples);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(BytesOf(samples[i]) == elementBytes[i]) << i;
        }
    }
}

}  // namespace
