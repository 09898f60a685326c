"""morvane: manage tasks of the Windows Task Scheduler from Python.

    run_task(task_name)               start a registered task now; returns None
    delete_task(task_name)            remove a registered task; returns None
    task_exists(task_name)            True when the task is registered, else False
    register_xml(task_name, xml_data) create a task from its XML definition, or replace it

Task names are relative to the root folder of the task library ("Backup" or "Folder\\Backup").
A failure of the scheduler raises TaskSchedulerError, or TaskPermissionError when access is
denied; a malformed call raises TypeError, a task name holding a NUL character ValueError.

    read_task_xml(path)               the text of a task definition file, UTF-16 or UTF-8
"""

from morvane._morvane_backend import delete_task, register_xml, run_task, task_exists
from morvane.errors import TaskPermissionError, TaskSchedulerError
from morvane.task_file import TaskFileDecodeError, read_task_xml

__all__ = [
    "TaskFileDecodeError",
    "TaskPermissionError",
    "TaskSchedulerError",
    "delete_task",
    "read_task_xml",
    "register_xml",
    "run_task",
    "task_exists",
]

__version__ = "0.1.0"
