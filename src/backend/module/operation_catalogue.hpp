// operation_catalogue.hpp: the task operations, one row each (see operation_row.hpp for what a
// row declares), and which module and type serve which of them. A new operation is a row here,
// listed below, and its scheduler function.
#pragma once

#include <array>

#include "module/operation_arguments.hpp"
#include "module/operation_entry.hpp"
#include "module/operation_results.hpp"
#include "module/task_definition_object.hpp"
#include "scheduler/folder_operations.hpp"
#include "scheduler/task_control.hpp"
#include "scheduler/running_instances.hpp"
#include "scheduler/security_operations.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_registration.hpp"
#include "scheduler/task_run_times.hpp"

namespace morvane::module::operations {

// What most rows share: the one parameter task_name, and None as the result.
struct OnTaskName {
    static constexpr std::array<Parameter, 1> parameters = {task_name_parameter};
    static constexpr auto arguments = task_name_arguments;
    static constexpr auto result = none_result;
};

struct RegisterXml {
    static constexpr const char* name = "register_xml";
    static constexpr std::array<Parameter, 2> parameters = {task_name_parameter, {.name = "xml_data"}};
    static constexpr std::string_view doc =
        "Creates a task from its XML definition, or replaces the definition of an existing one.";
    static constexpr auto arguments = definition_arguments;
    static constexpr auto operation = scheduler::register_xml;
    static constexpr auto result = none_result;
};

struct DeleteTask : OnTaskName {
    static constexpr const char* name = "delete_task";
    static constexpr std::string_view doc = "Removes a registered task.";
    static constexpr auto operation = scheduler::delete_task;
};

struct RunTask : OnTaskName {
    static constexpr const char* name = "run_task";
    static constexpr std::string_view doc = "Starts a registered task now; does not wait for it.";
    static constexpr auto operation = scheduler::run_task;
};

struct TaskExists : OnTaskName {
    static constexpr const char* name = "task_exists";
    static constexpr std::string_view doc =
        "True when the task is registered; False when it or a folder on its path is missing.";
    static constexpr auto operation = scheduler::task_exists;
    static constexpr auto result = bool_result;
};

struct ListTasks {
    static constexpr const char* name = "list_tasks";
    static constexpr std::array<Parameter, 3> parameters = {{
        {.name = "folder", .default_text = R"('\\')"},
        {.name = "recursive", .default_text = "False", .keyword_only = true},
        {.name = "hidden", .default_text = "False", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "The tasks of a folder, and of its subfolders when recursive; hidden ones too when hidden.\n"
        "Their principal is None: task_info reads it.";
    static constexpr auto arguments = listing_arguments;
    static constexpr auto operation = scheduler::list_tasks;
    static constexpr auto result = task_info_list;
};

struct TaskInfo : OnTaskName {
    static constexpr const char* name = "task_info";
    static constexpr std::string_view doc =
        "What the service tells of a registered task, with the principal of its registered definition.";
    static constexpr auto operation = scheduler::task_info;
    static constexpr auto result = task_info_object;
};

struct TaskXml : OnTaskName {
    static constexpr const char* name = "task_xml";
    static constexpr std::string_view doc = "The registered definition of a task, as the service returns it.";
    static constexpr auto operation = scheduler::task_xml;
    static constexpr auto result = definition_text;
};

struct RegisterTask {
    static constexpr const char* name = "register_task";
    static constexpr std::array<Parameter, 7> parameters = {{
        task_name_parameter,
        {.name = "definition"},
        {.name = "mode", .default_text = "morvane.RegisterMode.CREATE_OR_UPDATE", .keyword_only = true},
        {.name = "user", .default_text = "None", .keyword_only = true},
        {.name = "password", .default_text = "None", .keyword_only = true},
        {.name = "logon_type", .default_text = "None", .keyword_only = true},
        {.name = "security", .default_text = "None", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "Registers a definition, XML text or an object whose to_xml() writes it: mode CREATE makes a new task\n"
        "only, UPDATE replaces an existing one only, CREATE_OR_UPDATE either. user runs it as another account\n"
        "(None: the definition's principal, else the caller), with its password and a morvane.LogonType\n"
        "(None: PASSWORD when a password is given, else as the definition says); security is the task's\n"
        "security descriptor in SDDL (None: the definition's RegistrationInfo.security_descriptor, else the\n"
        "default for a new task; an existing task keeps its own).";
    static constexpr auto arguments = registration_arguments;
    static constexpr auto operation = scheduler::register_task;
    static constexpr auto result = none_result;
};

struct TaskDefinition : OnTaskName {
    static constexpr const char* name = "task_definition";
    static constexpr std::string_view doc =
        "The registered definition of a task as a morvane.definition.TaskDefinition.";
    static constexpr auto operation = scheduler::task_xml;
    static constexpr auto result = task_definition_object;
};

struct EnableTask : OnTaskName {
    static constexpr const char* name = "enable_task";
    static constexpr std::string_view doc = "Enables a registered task.";
    static constexpr auto arguments = enabling_arguments<true>;
    static constexpr auto operation = scheduler::set_task_enabled;
};

struct DisableTask : OnTaskName {
    static constexpr const char* name = "disable_task";
    static constexpr std::string_view doc = "Disables a registered task.";
    static constexpr auto arguments = enabling_arguments<false>;
    static constexpr auto operation = scheduler::set_task_enabled;
};

struct StopTask : OnTaskName {
    static constexpr const char* name = "stop_task";
    static constexpr std::string_view doc = "Stops every running instance of a registered task.";
    static constexpr auto operation = scheduler::stop_task;
};

struct RunTimes {
    static constexpr const char* name = "run_times";
    static constexpr std::array<Parameter, 4> parameters = {{
        task_name_parameter,
        {.name = "start"},
        {.name = "end"},
        {.name = "max_count", .default_text = "None", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "When the task's triggers start it between two aware datetimes, in order, each instant once, at most\n"
        "max_count times (None: all of them). Results are aware local datetimes with the offset of their\n"
        "instant; a disabled task starts at none. Naive datetimes raise TypeError; an end before the start,\n"
        "or a max_count below 1, ValueError.";
    static constexpr auto arguments = run_times_arguments;
    static constexpr auto operation = scheduler::run_times;
    static constexpr auto result = datetime_list;
};

struct CreateFolder {
    static constexpr const char* name = "create_folder";
    static constexpr std::array<Parameter, 2> parameters = {{
        {.name = "path"},
        {.name = "security", .default_text = "None", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "Creates a folder, and every missing folder on its path; a folder that exists is an error. security\n"
        "is the folder's descriptor as SDDL (None: the service's default).";
    static constexpr auto arguments = folder_creation_arguments;
    static constexpr auto operation = scheduler::create_folder;
    static constexpr auto result = none_result;
};

struct DeleteFolder {
    static constexpr const char* name = "delete_folder";
    static constexpr std::array<Parameter, 1> parameters = {{{.name = "path"}}};
    static constexpr std::string_view doc = "Removes an empty folder.";
    static constexpr auto arguments = folder_path_arguments;
    static constexpr auto operation = scheduler::delete_folder;
    static constexpr auto result = none_result;
};

struct ListFolders {
    static constexpr const char* name = "list_folders";
    static constexpr std::array<Parameter, 2> parameters = {{
        {.name = "path", .default_text = R"('\\')"},
        {.name = "recursive", .default_text = "False", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "The paths from the root of a folder's subfolders, and of theirs after each when recursive.";
    static constexpr auto arguments = folder_listing_arguments;
    static constexpr auto operation = scheduler::list_folders;
    static constexpr auto result = text_list;
};

struct StartTask {
    static constexpr const char* name = "start_task";
    static constexpr std::array<Parameter, 2> parameters = {{
        task_name_parameter,
        {.name = "parameters", .default_text = "None", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "Starts a registered task now and returns its instance as a RunningTask. parameters (a sequence\n"
        "of at most 32 str, or None) replace $(Arg0) to $(Arg31) in the task's Exec actions.";
    static constexpr auto arguments = start_task_arguments;
    static constexpr auto operation = scheduler::start_task;
    static constexpr auto result = running_task_object;
};

struct RunningTasks {
    static constexpr const char* name = "running_tasks";
    static constexpr std::array<Parameter, 2> parameters = {{
        {.name = "task_name", .default_text = "None"},
        {.name = "hidden", .default_text = "False", .keyword_only = true},
    }};
    static constexpr std::string_view doc =
        "The running instances of a task, or of every task when task_name is None (hidden tasks' too\n"
        "when hidden), as RunningTask.";
    static constexpr auto arguments = running_tasks_arguments;
    static constexpr auto operation = scheduler::running_tasks;
    static constexpr auto result = running_task_list;
};

struct RunningTask {
    static constexpr const char* name = "running_task";
    static constexpr std::array<Parameter, 2> parameters = {task_name_parameter, {.name = "instance_guid"}};
    static constexpr std::string_view doc =
        "The task's running instance of that GUID as a RunningTask, read anew; None once it has ended.";
    static constexpr auto arguments = instance_arguments;
    static constexpr auto operation = scheduler::running_task;
    static constexpr auto result = optional_running_task;
};

struct StopRunningTask {
    static constexpr const char* name = "stop_running_task";
    static constexpr std::array<Parameter, 2> parameters = {task_name_parameter, {.name = "instance_guid"}};
    static constexpr std::string_view doc =
        "Stops the task's running instance of that GUID: True when it was running, False when it had\n"
        "already ended.";
    static constexpr auto arguments = instance_arguments;
    static constexpr auto operation = scheduler::stop_running_task;
    static constexpr auto result = bool_result;
};

struct TaskSecurity : OnTaskName {
    static constexpr const char* name = "task_security";
    static constexpr std::string_view doc = "The task's security descriptor (owner, group and DACL) as SDDL.";
    static constexpr auto operation = scheduler::task_security;
    static constexpr auto result = text_result;
};

struct SetTaskSecurity {
    static constexpr const char* name = "set_task_security";
    static constexpr std::array<Parameter, 2> parameters = {task_name_parameter, {.name = "sddl"}};
    static constexpr std::string_view doc = "Replaces the task's security descriptor with one given as SDDL.";
    static constexpr auto arguments = task_security_arguments;
    static constexpr auto operation = scheduler::set_task_security;
    static constexpr auto result = none_result;
};

struct FolderSecurity {
    static constexpr const char* name = "folder_security";
    static constexpr std::array<Parameter, 1> parameters = {{{.name = "path"}}};
    static constexpr std::string_view doc = "The folder's security descriptor (owner, group and DACL) as SDDL.";
    static constexpr auto arguments = folder_path_arguments;
    static constexpr auto operation = scheduler::folder_security;
    static constexpr auto result = text_result;
};

struct SetFolderSecurity {
    static constexpr const char* name = "set_folder_security";
    static constexpr std::array<Parameter, 2> parameters = {{{.name = "path"}, {.name = "sddl"}}};
    static constexpr std::string_view doc = "Replaces the folder's security descriptor with one given as SDDL.";
    static constexpr auto arguments = folder_security_arguments;
    static constexpr auto operation = scheduler::set_folder_security;
    static constexpr auto result = none_result;
};

}  // namespace morvane::module::operations

namespace morvane::module {

// _morvane_backend's functions, in the order of its __all__ (their docstrings are not shown).
using BackendOperations =
    Catalogue<operations::RegisterXml, operations::DeleteTask, operations::RunTask, operations::TaskExists>;

// _morvane_tasks's functions, in the order of its __all__.
using TaskOperations = Catalogue<operations::ListTasks, operations::TaskInfo, operations::TaskXml,
                                 operations::EnableTask, operations::DisableTask, operations::StopTask,
                                 operations::RunTimes, operations::CreateFolder, operations::DeleteFolder,
                                 operations::ListFolders, operations::RegisterTask, operations::TaskDefinition,
                                 operations::StartTask, operations::RunningTasks, operations::RunningTask,
                                 operations::StopRunningTask, operations::TaskSecurity,
                                 operations::SetTaskSecurity, operations::FolderSecurity,
                                 operations::SetFolderSecurity>;

// Scheduler serves every operation, as methods.
using SchedulerOperations = JoinedCatalogue<BackendOperations, TaskOperations>::type;

}  // namespace morvane::module
