"""The one list of morvane's operations that the suites read: each operation's name, the module
that defines it, its text signature, the service calls that do its work, and the arguments of a
valid call on a given task. A new operation is one row here."""

import datetime
import inspect
import itertools
from dataclasses import dataclass
from collections.abc import Callable

import morvane

from tasks.definitions import calendar_trigger, task_xml

# A task with run times, so that every operation has work to do on it.
DAILY = task_xml(triggers=calendar_trigger("2026-01-01T08:00:00"))
START = datetime.datetime(2026, 3, 1, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))
END = START + datetime.timedelta(days=3)

# An instance GUID that no run has: the instance operations find nothing, and answer so.
UNKNOWN_INSTANCE = "{00000000-0000-4000-8000-000000000000}"

BACKEND = "morvane._morvane_backend"
TASKS = "morvane._morvane_tasks"


def folder_of(task):
    """The folder a task's name lies in, as list_tasks takes it."""
    return "\\" + task.rpartition("\\")[0]


@dataclass(frozen=True)
class Operation:
    name: str
    module: str
    signature: str
    service_calls: tuple[str, ...]  # the calls a successful call makes to do its own work
    arguments: Callable[[str], tuple[tuple, dict]]  # (args, kwargs) of a valid call on a task
    # What a valid call needs first, given its arguments, made by call() (so a journal of the call
    # shows it too); arguments() itself changes nothing.
    prepare: Callable[..., None] | None = None

    @property
    def specified(self):
        """One of the four functions whose surface and messages are pinned to the letter."""
        return self.module == BACKEND

    @property
    def parameters(self):
        """The parameters the signature above declares (not those the module reports: the tests
        compare the two), as inspect.Parameter objects."""
        import morvane  # a default may name the package's enums (morvane.RegisterMode); imported on use

        lambda_text = f"lambda {self.signature[1:-1]}: None"
        return list(inspect.signature(eval(lambda_text, {"morvane": morvane})).parameters.values())  # noqa: S307

    def call(self, target, task):
        """A valid call of the operation on target (the package or a Scheduler) for the task."""
        args, kwargs = self.arguments(task)
        if self.prepare is not None:
            self.prepare(*args)
        return getattr(target, self.name)(*args, **kwargs)


def on_task(task):
    return (task,), {}


# A folder's valid call makes or removes a folder of its own, so that the call can be made again
# and again, as a function and as a method, with the same answer: a new name each time.
_FOLDER_NUMBERS = itertools.count()


def new_folder(task):
    return (f"{task} folder {next(_FOLDER_NUMBERS)}",), {}


def make_folder(path):
    morvane.create_folder(path)


# A descriptor that the caller of the tests (an administrator) may read and replace again.
ADMINISTRATORS_AND_SYSTEM = "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)"


def in_folder(task):
    return (folder_of(task),), {}


# In each module's order of __all__.
OPERATIONS = [
    Operation("register_xml", BACKEND, "(task_name, xml_data)", ("RegisterTask",), lambda task: ((task, DAILY), {})),
    Operation("delete_task", BACKEND, "(task_name)", ("DeleteTask",), on_task),
    Operation("run_task", BACKEND, "(task_name)", ("RunEx",), on_task),
    Operation("task_exists", BACKEND, "(task_name)", ("GetTask",), on_task),
    Operation("list_tasks", TASKS, "(folder='\\\\', *, recursive=False, hidden=False)",
              ("GetFolders", "get_NumberOfMissedRuns"), lambda task: ((folder_of(task),), {"recursive": True})),
    Operation("task_info", TASKS, "(task_name)", ("get_NextRunTime", "get_Xml"), on_task),
    Operation("task_xml", TASKS, "(task_name)", ("get_Xml",), on_task),
    Operation("enable_task", TASKS, "(task_name)", ("put_Enabled",), on_task),
    Operation("disable_task", TASKS, "(task_name)", ("put_Enabled",), on_task),
    Operation("stop_task", TASKS, "(task_name)", ("Stop",), on_task),
    Operation("run_times", TASKS, "(task_name, start, end, *, max_count=None)", ("GetRunTimes",),
              lambda task: ((task, START, END), {})),
    Operation("create_folder", TASKS, "(path, *, security=None)", ("CreateFolder",), new_folder),
    Operation("delete_folder", TASKS, "(path)", ("DeleteFolder",), new_folder, prepare=make_folder),
    Operation("list_folders", TASKS, "(path='\\\\', *, recursive=False)", ("GetFolders", "get_Path"),
              lambda task: ((folder_of(task),), {"recursive": True})),
    Operation("register_task", TASKS,
              "(task_name, definition, *, mode=morvane.RegisterMode.CREATE_OR_UPDATE, user=None, password=None, "
              "logon_type=None, security=None)",
              ("RegisterTask",), lambda task: ((task, DAILY), {})),
    Operation("task_definition", TASKS, "(task_name)", ("get_Xml",), on_task),
    Operation("start_task", TASKS, "(task_name, *, parameters=None)",
              ("SafeArrayCreateVector", "RunEx", "get_InstanceGuid", "get_CurrentAction", "get_EnginePID"),
              lambda task: ((task,), {"parameters": ["a", "b"]})),
    Operation("running_tasks", TASKS, "(task_name=None, *, hidden=False)", ("GetRunningTasks",),
              lambda task: ((), {"hidden": True})),
    Operation("running_task", TASKS, "(task_name, instance_guid)", ("GetInstances",),
              lambda task: ((task, UNKNOWN_INSTANCE), {})),
    Operation("stop_running_task", TASKS, "(task_name, instance_guid)", ("GetInstances",),
              lambda task: ((task, UNKNOWN_INSTANCE), {})),
    Operation("task_security", TASKS, "(task_name)", ("GetSecurityDescriptor",), on_task),
    Operation("set_task_security", TASKS, "(task_name, sddl)", ("SetSecurityDescriptor",),
              lambda task: ((task, ADMINISTRATORS_AND_SYSTEM), {})),
    Operation("folder_security", TASKS, "(path)", ("GetSecurityDescriptor",), in_folder),
    Operation("set_folder_security", TASKS, "(path, sddl)", ("SetSecurityDescriptor",),
              lambda task: ((folder_of(task), ADMINISTRATORS_AND_SYSTEM), {})),
]
SPECIFIED = [operation for operation in OPERATIONS if operation.specified]


def of_module(module):
    return [operation for operation in OPERATIONS if operation.module == module]
