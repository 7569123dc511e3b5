#pragma once

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

namespace polyview_python {

// A reconstruction that the observations do not determine. Python sees it as
// polyview.ReconstructionError (a RuntimeError) whose message and `reason` attribute are the
// reason.
class ReconstructionFailure : public std::runtime_error {
  public:
    explicit ReconstructionFailure(const std::string& reason) : std::runtime_error(reason) {}
};

// Adds ReconstructionError to the module and translates ReconstructionFailure into it.
void BindErrors(pybind11::module_& module);

}  // namespace polyview_python
