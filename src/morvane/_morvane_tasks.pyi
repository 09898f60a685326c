"""Types of the extension module morvane._morvane_tasks (C++, no Python source)."""

from datetime import datetime
from typing import Literal, Protocol, Self

from morvane.definition import TaskDefinition
from morvane.logon_type import LogonType
from morvane.register_mode import RegisterMode
from collections.abc import Iterable

from morvane.running_instance import RunningTask
from morvane.task_records import TaskInfo

class _WritesXml(Protocol):
    """What register_task takes besides XML text: an object that writes its definition as XML."""

    def to_xml(self) -> str: ...

def list_tasks(folder: str = "\\", *, recursive: bool = False, hidden: bool = False) -> list[TaskInfo]:
    """The tasks of a folder, and of its subfolders when recursive; hidden ones too when hidden.
    Their principal is None: task_info reads it."""

def task_info(task_name: str) -> TaskInfo:
    """What the service tells of a registered task, with the principal of its registered definition."""

def task_xml(task_name: str) -> str:
    """The registered definition of a task, as the service returns it."""

def enable_task(task_name: str) -> None:
    """Enables a registered task."""

def disable_task(task_name: str) -> None:
    """Disables a registered task."""

def stop_task(task_name: str) -> None:
    """Stops every running instance of a registered task."""

def run_times(task_name: str, start: datetime, end: datetime, *, max_count: int | None = None) -> list[datetime]:
    """When the task's triggers start it between two aware datetimes, in order, each instant once, at most
    max_count times (None: all of them). Results are aware local datetimes with the offset of their
    instant; a disabled task starts at none. Naive datetimes raise TypeError; an end before the start,
    or a max_count below 1, ValueError."""

def create_folder(path: str, *, security: str | None = None) -> None:
    """Creates a folder, and every missing folder on its path; a folder that exists is an error. security
    is the folder's descriptor as SDDL (None: the service's default)."""

def delete_folder(path: str) -> None:
    """Removes an empty folder."""

def list_folders(path: str = "\\", *, recursive: bool = False) -> list[str]:
    """The paths from the root of a folder's subfolders, and of theirs after each when recursive."""
def register_task(
    task_name: str,
    definition: str | _WritesXml,
    *,
    mode: RegisterMode = RegisterMode.CREATE_OR_UPDATE,
    user: str | None = None,
    password: str | None = None,
    logon_type: LogonType | int | None = None,
    security: str | None = None,
) -> None:
    """Registers a definition, XML text or an object whose to_xml() writes it: mode CREATE makes a new task
    only, UPDATE replaces an existing one only, CREATE_OR_UPDATE either. user runs it as another account
    (None: the definition's principal, else the caller), with its password and a morvane.LogonType
    (None: PASSWORD when a password is given, else as the definition says); security is the task's
    security descriptor in SDDL (None: the definition's RegistrationInfo.security_descriptor, else the
    default for a new task; an existing task keeps its own)."""

def task_definition(task_name: str) -> TaskDefinition:
    """The registered definition of a task as a morvane.definition.TaskDefinition."""
def start_task(task_name: str, *, parameters: Iterable[str] | None = None) -> RunningTask:
    """Starts a registered task now and returns its instance as a RunningTask. parameters (a sequence
    of at most 32 str, or None) replace $(Arg0) to $(Arg31) in the task's Exec actions."""

def running_tasks(task_name: str | None = None, *, hidden: bool = False) -> list[RunningTask]:
    """The running instances of a task, or of every task when task_name is None (hidden tasks' too
    when hidden), as RunningTask."""

def running_task(task_name: str, instance_guid: str) -> RunningTask | None:
    """The task's running instance of that GUID as a RunningTask, read anew; None once it has ended."""

def stop_running_task(task_name: str, instance_guid: str) -> bool:
    """Stops the task's running instance of that GUID: True when it was running, False when it had
    already ended."""

def task_security(task_name: str) -> str:
    """The task's security descriptor (owner, group and DACL) as SDDL."""

def set_task_security(task_name: str, sddl: str) -> None:
    """Replaces the task's security descriptor with one given as SDDL."""

def folder_security(path: str) -> str:
    """The folder's security descriptor (owner, group and DACL) as SDDL."""

def set_folder_security(path: str, sddl: str) -> None:
    """Replaces the folder's security descriptor with one given as SDDL."""

class Scheduler:
    """One connection to the Task Scheduler service, kept open for any number of task operations from any number
    of threads, until close(). The methods take the arguments of the module-level functions of the same names and
    answer as they do. A closed Scheduler raises ValueError; in a process forked from the one that opened it,
    RuntimeError. Scheduler(computer, user=..., domain=..., password=...) connects to another computer (None: this
    one), logged on there as that account (None: as the caller); the password is kept only in wiped memory, to
    connect anew after a lost connection."""

    def __init__(
        self, computer: str | None = None, *, user: str | None = None, domain: str | None = None,
        password: str | None = None
    ) -> None: ...
    def task_exists(self, task_name: str) -> bool:
        """True when the task is registered; False when it or a folder on its path is missing."""
    def run_task(self, task_name: str) -> None:
        """Starts a registered task now; does not wait for it."""
    def delete_task(self, task_name: str) -> None:
        """Removes a registered task."""
    def register_xml(self, task_name: str, xml_data: str) -> None:
        """Creates a task from its XML definition, or replaces the definition of an existing one."""
    def list_tasks(self, folder: str = "\\", *, recursive: bool = False, hidden: bool = False) -> list[TaskInfo]:
        """The tasks of a folder, and of its subfolders when recursive; hidden ones too when hidden.
        Their principal is None: task_info reads it."""
    def task_info(self, task_name: str) -> TaskInfo:
        """What the service tells of a registered task, with the principal of its registered definition."""
    def task_xml(self, task_name: str) -> str:
        """The registered definition of a task, as the service returns it."""
    def enable_task(self, task_name: str) -> None:
        """Enables a registered task."""
    def disable_task(self, task_name: str) -> None:
        """Disables a registered task."""
    def stop_task(self, task_name: str) -> None:
        """Stops every running instance of a registered task."""
    def run_times(
        self, task_name: str, start: datetime, end: datetime, *, max_count: int | None = None
    ) -> list[datetime]:
        """When the task's triggers start it between two aware datetimes, in order, each instant once, at most
        max_count times (None: all of them). Results are aware local datetimes with the offset of their
        instant; a disabled task starts at none. Naive datetimes raise TypeError; an end before the start,
        or a max_count below 1, ValueError."""
    def create_folder(self, path: str, *, security: str | None = None) -> None:
        """Creates a folder, and every missing folder on its path; a folder that exists is an error. security
        is the folder's descriptor as SDDL (None: the service's default)."""
    def delete_folder(self, path: str) -> None:
        """Removes an empty folder."""
    def list_folders(self, path: str = "\\", *, recursive: bool = False) -> list[str]:
        """The paths from the root of a folder's subfolders, and of theirs after each when recursive."""
    def register_task(
        self,
        task_name: str,
        definition: str | _WritesXml,
        *,
        mode: RegisterMode = RegisterMode.CREATE_OR_UPDATE,
        user: str | None = None,
        password: str | None = None,
        logon_type: LogonType | int | None = None,
        security: str | None = None,
    ) -> None:
        """Registers a definition, XML text or an object whose to_xml() writes it: mode CREATE makes a new task
        only, UPDATE replaces an existing one only, CREATE_OR_UPDATE either. user runs it as another account
        (None: the definition's principal, else the caller), with its password and a morvane.LogonType
        (None: PASSWORD when a password is given, else as the definition says); security is the task's
        security descriptor in SDDL (None: the definition's RegistrationInfo.security_descriptor, else the
        default for a new task; an existing task keeps its own)."""
    def task_definition(self, task_name: str) -> TaskDefinition:
        """The registered definition of a task as a morvane.definition.TaskDefinition."""
    def start_task(self, task_name: str, *, parameters: Iterable[str] | None = None) -> RunningTask:
        """Starts a registered task now and returns its instance as a RunningTask. parameters (a sequence
        of at most 32 str, or None) replace $(Arg0) to $(Arg31) in the task's Exec actions."""
    def running_tasks(self, task_name: str | None = None, *, hidden: bool = False) -> list[RunningTask]:
        """The running instances of a task, or of every task when task_name is None (hidden tasks' too
        when hidden), as RunningTask."""
    def running_task(self, task_name: str, instance_guid: str) -> RunningTask | None:
        """The task's running instance of that GUID as a RunningTask, read anew; None once it has ended."""
    def stop_running_task(self, task_name: str, instance_guid: str) -> bool:
        """Stops the task's running instance of that GUID: True when it was running, False when it had
        already ended."""
    def task_security(self, task_name: str) -> str:
        """The task's security descriptor (owner, group and DACL) as SDDL."""
    def set_task_security(self, task_name: str, sddl: str) -> None:
        """Replaces the task's security descriptor with one given as SDDL."""
    def folder_security(self, path: str) -> str:
        """The folder's security descriptor (owner, group and DACL) as SDDL."""
    def set_folder_security(self, path: str, sddl: str) -> None:
        """Replaces the folder's security descriptor with one given as SDDL."""
    def close(self) -> None:
        """Closes the session; calls already running finish on its connection. Idempotent."""
    @property
    def closed(self) -> bool: ...
    @property
    def computer(self) -> str:
        """The name of the computer whose service the session is connected to, as the service gives it."""
    @property
    def connected_user(self) -> str:
        """The account the session acts as on that computer, as the service gives it."""
    @property
    def connected_domain(self) -> str:
        """The domain of that account (a computer's name for its local accounts), as the service gives it."""
    def __enter__(self) -> Self: ...
    def __exit__(self, exc_type: object, exc_value: object, traceback: object, /) -> Literal[False]: ...
