// windows.h: everything winemu provides, in one include.
#pragma once

#include "com.h"
#include "kernel.h"
#include "restricted_error.h"
#include "taskschd.h"
#include "types.h"
