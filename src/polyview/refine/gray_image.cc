#include "polyview/refine/gray_image.h"

#include <cmath>
#include <cstring>
#include <limits>

CGrayImage::CGrayImage()
    : m_byteSamples(nullptr),
      m_floatSamples(nullptr),
      m_width(0),
      m_height(0),
      m_rowStrideBytes(0) {}

CGrayImage::CGrayImage(const std::uint8_t* samples,
                       int width,
                       int height,
                       std::ptrdiff_t rowStrideBytes)
    : m_byteSamples(samples),
      m_floatSamples(nullptr),
      m_width(width),
      m_height(height),
      m_rowStrideBytes(rowStrideBytes) {}

CGrayImage::CGrayImage(const float* samples, int width, int height, std::ptrdiff_t rowStrideBytes)
    : m_byteSamples(nullptr),
      m_floatSamples(samples),
      m_width(width),
      m_height(height),
      m_rowStrideBytes(rowStrideBytes) {}

bool CGrayImage::IsValid() const {
    if ((m_byteSamples == nullptr) == (m_floatSamples == nullptr) || m_width < 1 || m_height < 1) {
        return false;
    }
    const std::ptrdiff_t sampleBytes = IsFloat() ? sizeof(float) : 1;
    const std::ptrdiff_t maxBytes = std::numeric_limits<std::ptrdiff_t>::max();
    if (m_width > maxBytes / sampleBytes) {
        return false;
    }
    const std::ptrdiff_t rowBytes = m_width * sampleBytes;
    if (m_rowStrideBytes < rowBytes || m_rowStrideBytes % sampleBytes != 0) {
        return false;
    }
    // The last sample's byte offset, (height - 1) stride + row, must be representable.
    return m_height - 1 <= (maxBytes - rowBytes) / m_rowStrideBytes;
}

double CGrayImage::GetSample(int column, int row) const {
    const std::ptrdiff_t rowOffset = static_cast<std::ptrdiff_t>(row) * m_rowStrideBytes;
    if (m_byteSamples != nullptr) {
        return m_byteSamples[rowOffset + column];
    }
    float
        sample;  // copied bytewise: the stride need not keep rows float-aligned in the caller's eye
    std::memcpy(
        &sample,
        reinterpret_cast<const char*>(m_floatSamples) + rowOffset +
            static_cast<std::ptrdiff_t>(column) * static_cast<std::ptrdiff_t>(sizeof(float)),
        sizeof sample);
    return sample;
}

bool CGrayImage::Interpolate(double x, double y, double& value) const {
    if (!IsValid() || !std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    const double u = x - 0.5;  // in units of pixel centres: centre (i + 0.5) is u = i
    const double v = y - 0.5;
    if (!(u >= 0.0 && u <= m_width - 1.0 && v >= 0.0 && v <= m_height - 1.0)) {
        return false;
    }
    const int i0 = static_cast<int>(std::floor(u));
    const int j0 = static_cast<int>(std::floor(v));
    const int i1 = i0 + 1 < m_width ? i0 + 1 : i0;  // on the last centre the weight of i1 is 0
    const int j1 = j0 + 1 < m_height ? j0 + 1 : j0;
    const double fu = u - i0;
    const double fv = v - j0;
    const double s00 = GetSample(i0, j0);
    const double s10 = GetSample(i1, j0);
    const double s01 = GetSample(i0, j1);
    const double s11 = GetSample(i1, j1);
    const double top = s00 + fu * (s10 - s00);
    const double bottom = s01 + fu * (s11 - s01);
    const double result = top + fv * (bottom - top);
    if (!std::isfinite(result)) {
        return false;
    }
    value = result;
    return true;
}
