#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector3d.h"

// Turns the fuzzer's bytes into counts, flags and doubles. One selector byte per double picks a
// value that arithmetic finds hard (not-a-number, infinities, 1e300, 1e-300, denormals, signed
// zeros), a raw 8-byte pattern, or a moderate value (a 16-bit mantissa times a power of two), so
// that most inputs reach the solvers while every corner stays one mutation away. Exhausted input
// reads as zeros.
class CFuzzInput {
  public:
    CFuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size), m_pos(0) {}

    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    // A count in 0 .. max.
    int Count(int max) { return static_cast<int>(Byte()) % (max + 1); }
    // Any int, INT_MIN and INT_MAX included.
    int Int() {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            bits = (bits << 8) | Byte();
        }
        int32_t value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    double Double() {
        const uint8_t selector = Byte();
        double value;
        if (selector < kSpecialCount) {
            value = Special(selector);
        } else if (selector < 32) {
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) {
                bits = (bits << 8) | Byte();
            }
            std::memcpy(&value, &bits, sizeof value);
        } else {
            const int16_t mantissa = static_cast<int16_t>((Byte() << 8) | Byte());
            value = std::ldexp(static_cast<double>(mantissa), (selector & 15) - 10);
        }
        if (!std::isfinite(value)) {
            m_allFinite = false;
        }
        return value;
    }

    C2DCoordinate Point2() {
        const double x = Double();
        return C2DCoordinate(x, Double());
    }
    C3DVector Vector3() {
        const double x = Double();
        const double y = Double();
        return C3DVector(x, y, Double());
    }

    // Mostly a true rotation (from a rotation vector); one selector in four reads nine raw values,
    // as a camera written by another program might carry.
    CRotateMatrix Rotation() {
        if ((Byte() & 3) == 3) {
            double m[9];
            for (double& value : m) {
                value = Double();
            }
            return CRotateMatrix(C33Matrix(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]));
        }
        const CRotateMatrix rotation = CRotateVector(Vector3()).GetRotateMatrix();
        double m[9];
        rotation.GetMatrix(m);
        for (const double value : m) {
            if (!std::isfinite(value)) {
                m_allFinite = false;  // what the library is given is what counts
            }
        }
        return rotation;
    }

    CCameraParam Camera() {
        const double focalLength = Double();
        const C2DCoordinate principal = Point2();
        const CRotateMatrix rotation = Rotation();
        const C3DVector translation = Vector3();
        return CCameraParam(CIntrinsicParam(focalLength, principal),
                            CExtrinsicParam(rotation, translation));
    }

    // Whether every double decoded since the last ResetFinite was finite.
    bool AllFinite() const { return m_allFinite; }
    void ResetFinite() { m_allFinite = true; }
    void MarkNotFinite() { m_allFinite = false; }

  private:
    static constexpr uint8_t kSpecialCount = 16;
    static double Special(uint8_t index) {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        constexpr double kMax = std::numeric_limits<double>::max();
        constexpr double kDenormal = std::numeric_limits<double>::denorm_min();
        const double values[kSpecialCount] = {0.0,
                                              std::numeric_limits<double>::quiet_NaN(),
                                              kInf,
                                              -kInf,
                                              1e300,
                                              -1e300,
                                              1e-300,
                                              -1e-300,
                                              kDenormal,
                                              -kDenormal,
                                              kMax,
                                              -kMax,
                                              -0.0,
                                              1e-8,
                                              1.0,
                                              std::numeric_limits<double>::min()};
        return values[index];
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos;
    bool m_allFinite = true;
};

// The object representation of a value, for bit-for-bit comparisons of whole objects (members,
// derived members and padding alike: an untouched object keeps every byte).
template <typename T>
std::vector<unsigned char> Bytes(const T& object) {
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(&object);
    return std::vector<unsigned char>(begin, begin + sizeof(T));
}

template <typename T>
bool SameBytes(const std::vector<unsigned char>& before, const T& object) {
    return before == Bytes(object);
}

inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool Finite(const C3DVector& v) {
    return std::isfinite(v.GetData(0)) && std::isfinite(v.GetData(1)) &&
           std::isfinite(v.GetData(2));
}

inline bool Finite(const C2DVector& v) {
    return std::isfinite(v.GetData(0)) && std::isfinite(v.GetData(1));
}

// The pinhole image of a world point, computed here without the library's shapes; false when
// the point is not in front of the camera or the image is not finite.
inline bool ProjectInto(const CCameraParam& camera,
                        const C3DVector& pointInWorld,
                        C2DCoordinate& image) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector pointInCam = pose.GetRotateMatrix() * pointInWorld + pose.GetTranslateVector();
    const double z = pointInCam.GetData(2);
    if (!(z > 0.0)) {
        return false;
    }
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    image.SetVector(f * pointInCam.GetData(0) / z + principal.GetData(0),
                    f * pointInCam.GetData(1) / z + principal.GetData(1));
    return Finite(image);
}

// A violated property: report it and stop, so that libFuzzer records the input as a crash.
#define POLYVIEW_FUZZ_CHECK(condition)                                                     \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(                                                                  \
                stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)
