// register_mode_checks.hpp: register_task's three modes against a real service, on a task that
// exists and on one that does not.
#pragma once

#include "check_report.hpp"

// Create-only, update-only and create-or-update, each on a missing and on an existing task: the
// answers Windows gives (ERROR_ALREADY_EXISTS for create-only on an existing task,
// ERROR_FILE_NOT_FOUND for update-only on a missing one), and which definition stays stored.
void check_register_modes(CheckReport& report);
