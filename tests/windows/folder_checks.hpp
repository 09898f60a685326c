// folder_checks.hpp: the Windows build's folder operations, and the folder collection's
// enumerator, against Wine's service.
#pragma once

#include "check_report.hpp"

// create_folder, delete_folder and list_folders through the client, then CreateFolder's and
// DeleteFolder's edge cases and _NewEnum through the interfaces themselves. The answers expected
// are Windows' (as Wine's own tests, dlls/taskschd/tests/scheduler.c, give them); Wine's service
// gives the same in every case checked here.
void check_folders(CheckReport& report);
