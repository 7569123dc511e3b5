#pragma once

#include <string>

#include "measure/json_node.h"
#include "measure/scene.h"

namespace measure {

// The scene as a document in the format of docs/scene-format.md, every field in a fixed order:
// title, comment, units, the cameras written in the scene, the camera sources (a camera read
// from a file stays a reference to that file), and the shapes with their picks by camera id and
// every option spelled out (a cylinder's method, a curve's mode and samples); within a camera,
// source, shape or truth its comment comes last. Reading it back gives the same scene.
Json SceneDocument(const Scene& scene);

// SceneDocument as text for people: two spaces per level, and every array that holds no object
// (a point, a segment, a rotation matrix, a list of picks) on one line. Ends with a line break.
std::string SceneText(const Scene& scene);

}  // namespace measure
