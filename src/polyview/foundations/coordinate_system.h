#pragma once

// The frame a coordinate is expressed in; the library itself only ever passes 0.
enum ECoordinateSystem {
    WorldCoordinateSystem = 0,
    CameraCoordinateSystem = 1,
    ImageCoordinateSystem = 2,
};
