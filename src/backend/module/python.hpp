// python.hpp: the one header through which the Python C API enters the module's room.
// The scheduler client and the runtime support never include it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
