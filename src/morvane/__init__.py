"""morvane: manage tasks of the Windows Task Scheduler from Python.

    run_task(task_name)               start a registered task now; returns None
    delete_task(task_name)            remove a registered task; returns None
    task_exists(task_name)            True when the task is registered, else False
    register_xml(task_name, xml_data) create a task from its XML definition, or replace it

    list_tasks(folder="\\", *, recursive=False, hidden=False)
                                      the tasks of a folder (and its subfolders), as TaskInfo
    task_info(task_name)              a TaskInfo: path, name, enabled, state (TaskState), last
                                      and next run time, last task result, missed runs
    task_xml(task_name)               the registered definition as the service returns it
    enable_task(task_name), disable_task(task_name), stop_task(task_name)
                                      returns None
    run_times(task_name, start, end, *, max_count=None)
                                      when the task's triggers start it between two aware
                                      datetimes (at most max_count times; None: all)
    register_task(task_name, definition, *, mode=RegisterMode.CREATE_OR_UPDATE, user=None,
                  password=None, logon_type=None, security=None)
                                      register XML text, or a model whose to_xml() writes it;
                                      RegisterMode.CREATE: a new task only, UPDATE: an existing
                                      one only, CREATE_OR_UPDATE: either; user runs it as another
                                      account, with its password and a LogonType (PASSWORD when
                                      a password is given; None: as the definition's principal
                                      says); security: the task's SDDL (None: the
                                      definition's own, else the default)
    task_definition(task_name)        the registered definition as a
                                      morvane.definition.TaskDefinition

    create_folder(path, *, security=None)
                                      make a folder and the missing folders on its path
                                      (security: its descriptor as SDDL; None: the default)
    delete_folder(path)               remove an empty folder
    list_folders(path="\\", *, recursive=False)
                                      the paths from the root ("\\Ops\\Nightly") of a
                                      folder's subfolders (and of theirs)
    start_task(task_name, *, parameters=None)
                                      start a task now (parameters: at most 32 str for
                                      $(Arg0)...$(Arg31)); returns its RunningTask
    running_tasks(task_name=None, *, hidden=False)
                                      the running instances of a task, or of all, as RunningTask
    running_task(task_name, instance_guid), stop_running_task(task_name, instance_guid)
                                      one instance read anew (None once ended); stop it (True
                                      when it was running)
    task_security(task_name), folder_security(path)
                                      the descriptor (owner, group, DACL) as SDDL
    set_task_security(task_name, sddl), set_folder_security(path, sddl)
                                      replace it; who may read, run, change or delete a task
                                      is what its descriptor grants (TaskPermissionError else)

A RunningTask (instance_guid, path, name, current_action, pid, state) has refresh(), stop() and
wait(timeout=None), which returns the task's last result once the instance has ended.

Task names are relative to the root folder of the task library ("Backup" or "Folder\\Backup").
A failure of the scheduler raises TaskSchedulerError, or TaskPermissionError when access is
denied; a malformed call raises TypeError, a task name holding a NUL character ValueError.
Times are aware datetimes in local time (see TaskInfo); run_times refuses naive ones (TypeError),
an end before the start and a max_count below 1 (ValueError); register_task refuses a
definition that is neither a str nor has a to_xml() method (TypeError) and a mode other than
the three (ValueError).

    read_task_xml(path)               the text of a task definition file, UTF-16 or UTF-8

    TaskDefinition(actions=(ExecAction("cmd", "args"),), triggers=(DailyTrigger(...),), ...)
                                      a definition as objects (morvane.definition): checked when
                                      made, .to_xml() for register_xml, TaskDefinition.from_xml(text)
                                      for task_xml's text; its triggers, actions, settings,
                                      principal and enumerations are exported here as well

    Scheduler()                       a session: one connection to the service kept open, with
                                      each function above (but read_task_xml) as a method, for
                                      any number of threads; close() or use it in a with block
    Scheduler("server", user="admin", password=...)
                                      a session with another computer's scheduler, logged on as
                                      an account there; .computer, .connected_user and
                                      .connected_domain say what the service connected to

Each function opens its own connection to the service; a Scheduler keeps one, which is most of
what a call costs. A closed Scheduler raises ValueError; one opened before a fork() raises
RuntimeError in the child, which may open its own. When the service goes away, the call raises
TaskSchedulerError and the next call connects anew (no call is repeated), to the same computer
with the same credentials. The module-level functions always act on this computer.
"""

from morvane._morvane_backend import delete_task, register_xml, run_task, task_exists
from morvane._morvane_tasks import (
    Scheduler,
    create_folder,
    delete_folder,
    disable_task,
    enable_task,
    folder_security,
    list_folders,
    list_tasks,
    register_task,
    run_times,
    running_task,
    running_tasks,
    set_folder_security,
    set_task_security,
    start_task,
    stop_running_task,
    stop_task,
    task_definition,
    task_info,
    task_security,
    task_xml,
)
from morvane.errors import TaskPermissionError, TaskSchedulerError

# Type checkers take these names as imported; at run time they are not (typing costs as much).
TYPE_CHECKING = False
if TYPE_CHECKING:
    from morvane.definition import (
        BootTrigger,
        ComHandlerAction,
        DailyTrigger,
        DayOfWeek,
        EventTrigger,
        ExecAction,
        IdleSettings,
        IdleTrigger,
        LogonTrigger,
        Month,
        MonthlyDayOfWeekTrigger,
        MonthlyTrigger,
        MultipleInstancesPolicy,
        NetworkSettings,
        Principal,
        RegistrationInfo,
        RegistrationTrigger,
        Repetition,
        RestartOnFailure,
        RunLevel,
        SessionStateChange,
        SessionStateChangeTrigger,
        Settings,
        TaskDefinition,
        TimeTrigger,
        WeekOfMonth,
        WeeklyTrigger,
    )
    from morvane.logon_type import LogonType
    from morvane.register_mode import RegisterMode
    from morvane.running_instance import RunningTask
    from morvane.task_file import TaskFileDecodeError, read_task_xml
    from morvane.task_records import TaskInfo, TaskState
del TYPE_CHECKING

# Imported on first use (PEP 562): the records pull in dataclasses and enum, the task files codecs
# and re, the definitions ElementTree as well, which together cost more than the rest of
# "import morvane", and a script that only calls task_exists needs none of them.
_LAZY = {
    "RegisterMode": "morvane.register_mode",
    "RunningTask": "morvane.running_instance",
    "TaskInfo": "morvane.task_records",
    "TaskState": "morvane.task_records",
    "TaskFileDecodeError": "morvane.task_file",
    "read_task_xml": "morvane.task_file",
    "TaskDefinition": "morvane.definition",
    "RegistrationInfo": "morvane.definition",
    "Principal": "morvane.definition",
    "Settings": "morvane.definition",
    "IdleSettings": "morvane.definition",
    "NetworkSettings": "morvane.definition",
    "RestartOnFailure": "morvane.definition",
    "Repetition": "morvane.definition",
    "TimeTrigger": "morvane.definition",
    "DailyTrigger": "morvane.definition",
    "WeeklyTrigger": "morvane.definition",
    "MonthlyTrigger": "morvane.definition",
    "MonthlyDayOfWeekTrigger": "morvane.definition",
    "BootTrigger": "morvane.definition",
    "LogonTrigger": "morvane.definition",
    "IdleTrigger": "morvane.definition",
    "EventTrigger": "morvane.definition",
    "RegistrationTrigger": "morvane.definition",
    "SessionStateChangeTrigger": "morvane.definition",
    "ExecAction": "morvane.definition",
    "ComHandlerAction": "morvane.definition",
    "LogonType": "morvane.logon_type",
    "RunLevel": "morvane.definition",
    "MultipleInstancesPolicy": "morvane.definition",
    "SessionStateChange": "morvane.definition",
    "DayOfWeek": "morvane.definition",
    "Month": "morvane.definition",
    "WeekOfMonth": "morvane.definition",
}


def __getattr__(name: str) -> object:
    if name not in _LAZY:
        raise AttributeError(f"module 'morvane' has no attribute {name!r}")
    value = getattr(__import__(_LAZY[name], fromlist=[name]), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted({*globals(), *_LAZY})

__all__ = [
    "BootTrigger",
    "ComHandlerAction",
    "DailyTrigger",
    "DayOfWeek",
    "EventTrigger",
    "ExecAction",
    "IdleSettings",
    "IdleTrigger",
    "LogonTrigger",
    "LogonType",
    "Month",
    "MonthlyDayOfWeekTrigger",
    "MonthlyTrigger",
    "MultipleInstancesPolicy",
    "NetworkSettings",
    "Principal",
    "RegisterMode",
    "RegistrationInfo",
    "RegistrationTrigger",
    "Repetition",
    "RestartOnFailure",
    "RunLevel",
    "RunningTask",
    "Scheduler",
    "SessionStateChange",
    "SessionStateChangeTrigger",
    "Settings",
    "TaskDefinition",
    "TaskFileDecodeError",
    "TaskInfo",
    "TaskPermissionError",
    "TaskSchedulerError",
    "TaskState",
    "TimeTrigger",
    "WeekOfMonth",
    "WeeklyTrigger",
    "create_folder",
    "delete_folder",
    "delete_task",
    "disable_task",
    "enable_task",
    "folder_security",
    "list_folders",
    "list_tasks",
    "read_task_xml",
    "register_task",
    "register_xml",
    "run_task",
    "run_times",
    "running_task",
    "running_tasks",
    "set_folder_security",
    "set_task_security",
    "start_task",
    "stop_running_task",
    "stop_task",
    "task_definition",
    "task_exists",
    "task_info",
    "task_security",
    "task_xml",
]

__version__ = "0.1.0"
