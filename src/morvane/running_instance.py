"""RunningTask: one running instance of a task, as start_task and running_tasks hand it out.

(The module is not named after the class: morvane.running_task is the function.)

The extension module morvane._morvane_tasks makes these from the service's answers. A RunningTask
keeps no connection and no COM object: it is what the service said of the instance when it was
made, with the instance's GUID and task path, by which refresh(), stop() and wait() find the
instance again. One made by a Scheduler's method asks through that Scheduler; one made by a module
function opens a connection of its own for each of those calls.
"""

from __future__ import annotations

import time
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any

from morvane.task_records import TaskState

if TYPE_CHECKING:
    from morvane._morvane_tasks import Scheduler

__all__ = ["RunningTask"]

# wait() asks the service again after this long, doubling each time up to the longest interval:
# a short run is seen ending soon, a long one costs few calls.
FIRST_POLL_INTERVAL = 0.01
LONGEST_POLL_INTERVAL = 0.5


@dataclass(frozen=True, slots=True)
class RunningTask:
    """One instance of a task as the service last described it.

    ``instance_guid`` names the instance (``"{...}"``); ``path`` and ``name`` are its task's;
    ``current_action`` is the program of the action it is at; ``pid`` is the process id of the
    engine that carries the instance out (0 when none); ``state`` is ``TaskState.RUNNING``, or
    ``TaskState.QUEUED`` while it waits for the task's earlier instances (multiple instances
    policy Queue), or ``TaskState.UNKNOWN`` for an instance that never started (a disabled task,
    or one whose policy ignores a new instance while one runs).

    The fields are a snapshot: ``refresh()`` returns a new one. Equality compares the fields only.
    """

    instance_guid: str
    path: str
    name: str
    current_action: str
    pid: int
    state: TaskState
    _origin: Scheduler | None = field(default=None, repr=False, compare=False)

    def _service(self) -> Any:
        if self._origin is not None:
            return self._origin
        import morvane._morvane_tasks

        return morvane._morvane_tasks

    def refresh(self) -> RunningTask | None:
        """The instance as the service describes it now, or None once it has ended."""
        found: RunningTask | None = self._service().running_task(self.path, self.instance_guid)
        return found

    def stop(self) -> bool:
        """Stops this instance only (``stop_task`` stops them all): its actions end and the task's
        last result says it was terminated. Returns True when it was running, False when it had
        already ended (stopping an ended instance is no error). Raises TaskSchedulerError when the
        service fails, or when the task itself is no longer registered."""
        stopped: bool = self._service().stop_running_task(self.path, self.instance_guid)
        return stopped

    def wait(self, timeout: float | None = None) -> int:
        """Returns once the instance has ended, with the task's last result (``task_info``'s
        ``last_task_result``: the exit code of its last action, ``SCHED_S_TASK_TERMINATED``
        0x41306 when it was stopped, or what the service recorded). If another instance of the
        task started meanwhile, that is the newest run's result.

        The service is asked again after a growing interval (10 ms, doubling up to 0.5 s). With a
        timeout in seconds, raises TimeoutError when the instance still runs after it (the
        instance is left running)."""
        if timeout is not None and timeout < 0:
            raise ValueError("timeout must not be negative")
        service = self._service()
        deadline = None if timeout is None else time.monotonic() + timeout
        interval = FIRST_POLL_INTERVAL
        while service.running_task(self.path, self.instance_guid) is not None:
            now = time.monotonic()
            if deadline is not None and now >= deadline:
                raise TimeoutError(f"{self.path} instance {self.instance_guid} still runs after {timeout} s")
            time.sleep(interval if deadline is None else min(interval, deadline - now))
            interval = min(interval * 2, LONGEST_POLL_INTERVAL)
        result: int = service.task_info(self.path).last_task_result
        return result
