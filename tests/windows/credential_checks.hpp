// credential_checks.hpp: connections to other computers and with credentials, registrations for
// accounts and logon types, and the security descriptors of tasks and folders, asked of Wine's
// service through the Task Scheduler's interfaces.
#pragma once

#include <istream>

#include "check_report.hpp"

// Runs every row of the answers table (credential_answers.tsv, read from `table`): each row names
// a case, the call and its arguments, what Windows answers and what Wine answers, and passes when
// the service answers what the row says Wine answers. A row whose table line cannot be read fails.
void check_credentials(CheckReport& report, std::istream& table);
