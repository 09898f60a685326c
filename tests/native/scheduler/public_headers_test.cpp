// public_headers_test.cpp: the headers the Python module includes bring no platform names with them.
//
// This file includes nothing before them: SUCCEEDED is defined by the Windows SDK and by winemu
// alike, so seeing it here means that one of them pulled in the platform.
#include "scheduler/local_time.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/task_control.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_record.hpp"
#include "scheduler/task_registration.hpp"
#include "scheduler/task_run_times.hpp"

#ifdef SUCCEEDED
#error "a public scheduler header includes the platform"
#endif

// Nor the Python C API: the scheduler client runs without the interpreter lock and must not be
// able to touch a Python object.
#ifdef Py_PYTHON_H
#error "a public scheduler header includes Python.h"
#endif
