// session_checks.hpp: the Windows build's sessions against Wine's service, and what a kept
// connection saves there.
#pragma once

#include "check_report.hpp"

// A session answers as connections of their own do, from the opening thread, a thread in no
// apartment and a thread in a single-threaded apartment; closed, it refuses and holds nothing.
void check_sessions(CheckReport& report);

// Prints the time of task_exists on a connection of its own over the time of the same call in
// one session, in alternated rounds. Measures; checks nothing.
void print_session_speed();
