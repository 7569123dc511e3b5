#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/planar_polygon3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

// Snapshots of an object for "a failing call changes nothing" checks: every value that the public
// getters show (coordinate tags included), and the object's bytes, which cover the derived members
// that no getter shows (a cylinder's start circle and height, a segment's coefficients).

// The values the getters show, in a fixed order.
using SValues = std::vector<double>;

inline void Append(SValues& values, const C2DVector& v) {
    values.push_back(v.GetData(0));
    values.push_back(v.GetData(1));
}
inline void Append(SValues& values, const C2DCoordinate& c) {
    Append(values, static_cast<const C2DVector&>(c));
    values.push_back(static_cast<double>(c.GetCoordinateSystem()));
}
inline void Append(SValues& values, const C3DVector& v) {
    for (int i = 0; i < 3; ++i) {
        values.push_back(v.GetData(i));
    }
}
inline void Append(SValues& values, const C3DCoordinate& c) {
    Append(values, static_cast<const C3DVector&>(c));
    values.push_back(static_cast<double>(c.GetCoordinateSystem()));
}

inline SValues ValuesOf(const C2DCoordinate& point) {
    SValues values;
    Append(values, point);
    return values;
}
inline SValues ValuesOf(const C3DCoordinate& point) {
    SValues values;
    Append(values, point);
    return values;
}
inline SValues ValuesOf(const C2DLine& line) {
    SValues values(3);
    line.GetLineParams(values.data());
    return values;
}
inline SValues ValuesOf(const C2DLineSegment& segment) {
    SValues values(3);
    segment.GetLineParams(values.data());
    C2DCoordinate start, end;
    segment.GetEndPoints(start, end);
    Append(values, static_cast<const C2DVector&>(start));
    Append(values, static_cast<const C2DVector&>(end));
    return values;
}
inline SValues ValuesOf(const C3DAxis& axis) {
    SValues values;
    Append(values, axis.GetUVector());
    Append(values, axis.GetVVector());
    values.push_back(axis.GetDistance());
    return values;
}
inline SValues ValuesOf(const CRange& range) {
    return {range.GetStartPosition(), range.GetEndPosition()};
}
inline SValues ValuesOf(const C3DPoint& point) {
    return ValuesOf(point.GetPoint());
}
inline SValues ValuesOf(const C3DLine& line) {
    return ValuesOf(line.Get3DAxis());
}
inline SValues ValuesOf(const C3DLineSegment& segment) {
    SValues values = ValuesOf(segment.GetAxis());
    const SValues range = ValuesOf(segment.GetRange());
    values.insert(values.end(), range.begin(), range.end());
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    Append(values, static_cast<const C3DVector&>(ends[0]));
    Append(values, static_cast<const C3DVector&>(ends[1]));
    return values;
}
inline SValues ValuesOf(const C3DPlane& plane) {
    SValues values;
    Append(values, plane.GetNormalVector());
    Append(values, plane.GetPoint());
    double params[4];
    plane.GetPlaneParam(params);
    values.insert(values.end(), params, params + 4);
    return values;
}
inline SValues ValuesOf(const C3DPlanarPolygon& polygon) {
    SValues values = ValuesOf(polygon.GetPlane());
    const C1DArray<C3DCoordinate>& vertices = polygon.GetVertices();
    values.push_back(vertices.GetSize());
    for (int i = 0; i < vertices.GetSize(); ++i) {
        Append(values, vertices[i]);
    }
    return values;
}
inline SValues ValuesOf(const C3DCylinder& cylinder) {
    SValues values = ValuesOf(cylinder.GetAxis());
    const SValues range = ValuesOf(cylinder.GetRange());
    values.insert(values.end(), range.begin(), range.end());
    values.push_back(cylinder.GetRadius());
    return values;
}
inline SValues ValuesOf(const C1DArray<C2DCoordinate>& points) {
    SValues values;
    values.push_back(points.GetSize());
    for (int i = 0; i < points.GetSize(); ++i) {
        Append(values, points[i]);
    }
    return values;
}

// The object representation, byte for byte.
template <typename T>
std::string BytesOf(const T& object) {
    return std::string(reinterpret_cast<const char*>(&object), sizeof(T));
}

// Both snapshots of an object, taken before a call that must fail.
template <typename T>
struct SSnapshot {
    explicit SSnapshot(const T& object) : values(ValuesOf(object)), bytes(BytesOf(object)) {}
    SValues values;
    std::string bytes;
};

template <typename T>
SSnapshot<T> Snapshot(const T& object) {
    return SSnapshot<T>(object);
}

// Every getter value bit for bit (NaN payloads included) and every byte as before.
template <typename T>
void ExpectUnchanged(const SSnapshot<T>& before, const T& object) {
    const SValues after = ValuesOf(object);
    ASSERT_EQ(after.size(), before.values.size());
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(&after[i], &before.values[i], sizeof(double)), 0)
            << "value " << after[i] << " was " << before.values[i];
    }
    EXPECT_TRUE(BytesOf(object) == before.bytes) << "the object's bytes changed";
}

inline bool SameDoubleBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
