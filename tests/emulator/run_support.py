"""Tasks that run programs, and what waits on them: definitions, a caller in another process, polling."""

import os
import subprocess
import sys
import textwrap
import time

from morvane import emulator


def task_xml(*actions: tuple[str, str] | tuple[str, str, str], settings: str = "") -> str:
    """A definition of the actions given as (command, arguments[, working directory])."""
    execs = "".join(
        f"<Exec><Command>{action[0]}</Command><Arguments>{action[1]}</Arguments>"
        + (f"<WorkingDirectory>{action[2]}</WorkingDirectory>" if len(action) > 2 else "") + "</Exec>"
        for action in actions)
    return ('<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            f"<Settings>{settings}</Settings><Actions>{execs}</Actions></Task>")


def in_another_process(code: str, **options) -> subprocess.CompletedProcess:
    """Python code run by a process of its own on the test's task library."""
    env = dict(os.environ, MORVANE_TASK_LIBRARY=str(emulator.task_library()))
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, **{"timeout": 120, **options})


def eventually(condition, seconds: float = 10) -> bool:
    deadline = time.monotonic() + seconds
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.01)
    return condition()
