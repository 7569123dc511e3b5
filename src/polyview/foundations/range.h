#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/polyview_export.h"

// Two signed positions along a C3DAxis, stored exactly as given (start may exceed end).
class POLYVIEW_EXPORT CRange {
  public:
    CRange();  // start 0.0, end 1.0
    CRange(double start, double end);
    CRange(const CRange& other);
    CRange& operator=(const CRange& other);
    virtual ~CRange();

    double GetStartPosition() const;
    double GetEndPosition() const;
    // Stores start if setStart, end if setEnd; never reorders; always returns true.
    bool SetRange(double start, double end, bool setStart, bool setEnd);
    // |start - end|, never negative.
    double GetLength() const;

  private:
    double m_start;
    double m_end;
};

POLYVIEW_BITWISE_RELOCATABLE(CRange);
