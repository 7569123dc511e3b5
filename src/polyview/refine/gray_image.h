#pragma once

#include <cstddef>
#include <cstdint>

#include "polyview/polyview_export.h"

// A non-owning view of a grayscale image the caller decoded: 8-bit samples (0..255) or float
// samples (any finite scale), row after row, rowStrideBytes from the start of one row to the start
// of the next. Pixel convention as the scene files: pixel (column, row) covers [column, column + 1]
// x [row, row + 1], its centre at (column + 0.5, row + 0.5). The samples must outlive the view.
class POLYVIEW_EXPORT CGrayImage {
  public:
    CGrayImage();  // an invalid, empty view
    CGrayImage(const std::uint8_t* samples, int width, int height, std::ptrdiff_t rowStrideBytes);
    CGrayImage(const float* samples, int width, int height, std::ptrdiff_t rowStrideBytes);

    // Whether the view can be read: samples not null, width and height >= 1, the stride at least
    // one row of samples (a multiple of the sample size for float) and the last byte addressable
    // without overflow. Float samples are not scanned here: a sample that is not finite is found
    // where it is read (Interpolate fails).
    bool IsValid() const;
    bool IsFloat() const { return m_floatSamples != nullptr; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // The sample of pixel (column, row) as a double; unchecked: the view must be valid and the
    // pixel inside it.
    double GetSample(int column, int row) const;
    // The sample at (x, y), bilinear between the four pixel centres around it. False, value
    // untouched, when the view is invalid, x or y is not finite, (x, y) lies outside [0.5, width -
    // 0.5] x [0.5, height - 0.5] (the hull of the pixel centres) or a sample read is not finite.
    bool Interpolate(double x, double y, double& value) const;

  private:
    const std::uint8_t* m_byteSamples;  // null for float images
    const float* m_floatSamples;        // null for 8-bit images
    int m_width;
    int m_height;
    std::ptrdiff_t m_rowStrideBytes;
};
