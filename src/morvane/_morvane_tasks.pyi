"""Types of the extension module morvane._morvane_tasks (C++, no Python source)."""

from datetime import datetime

from morvane.task_records import TaskInfo

def list_tasks(folder: str = "\\", *, recursive: bool = False, hidden: bool = False) -> list[TaskInfo]:
    """The tasks of a folder, and of its subfolders when recursive; hidden ones too when hidden."""

def task_info(task_name: str) -> TaskInfo:
    """What the service tells of a registered task."""

def task_xml(task_name: str) -> str:
    """The registered definition of a task, as the service returns it."""

def enable_task(task_name: str) -> None:
    """Enables a registered task."""

def disable_task(task_name: str) -> None:
    """Disables a registered task."""

def stop_task(task_name: str) -> None:
    """Stops every running instance of a registered task."""

def run_times(task_name: str, start: datetime, end: datetime, *, max_count: int | None = None) -> list[datetime]:
    """When the task's triggers start it between two aware datetimes, at most max_count times (None: all that
    the service hands out in one answer). Results are aware local datetimes with the offset of their instant; a
    local time that occurs twice is its first occurrence. Naive datetimes raise TypeError; an end before the
    start, or a max_count below 1, ValueError."""
