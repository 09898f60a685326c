// instance_checks.hpp: starting a task and listing running instances on Wine's service.
#pragma once

#include "check_report.hpp"

// start_task (RunEx with parameters, an array of BSTRs made by OleAut32), running_tasks of all
// (GetRunningTasks) and of one task (GetInstances), and the instance operations, each as far as
// Wine's service takes them.
void check_instances(CheckReport& report);
