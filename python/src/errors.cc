#include "errors.h"

namespace polyview_python {

namespace py = pybind11;

void BindErrors(py::module_& module) {
    // Kept for the life of the process: the translator below may run until the interpreter ends.
    static py::exception<ReconstructionFailure> errorType(
        module, "ReconstructionError", PyExc_RuntimeError);
    errorType.doc() =
        "A reconstruction that the observations do not determine (too few observations, viewing "
        "rays or planes too close to one direction, ...). str(error) and error.reason give the "
        "reason.";
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) {
                std::rethrow_exception(pending);
            }
        } catch (const ReconstructionFailure& failure) {
            const py::handle type = errorType;
            py::object error = type(failure.what());
            error.attr("reason") = py::str(failure.what());
            PyErr_SetObject(type.ptr(), error.ptr());
        }
    });
}

}  // namespace polyview_python
