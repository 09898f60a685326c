"""A mixed workload on shared task names, and the check that every stored definition is whole:
shared by the thread, process and crash tests (and run as a script by their child processes).

    python workload.py LIBRARY mixed WRITER SECONDS    mixed calls on the shared names
    python workload.py LIBRARY replace WRITER          replaces one task's definition forever
"""

import os
import random
import re
import sys
import time

import morvane
from morvane import TaskSchedulerError, emulator

# Two spellings of one task among them; no task has a folder's name (Windows refuses that).
SHARED_NAMES = ["Shared", "Folder\\Nested", "FOLDER\\nested", "Deep\\Er\\Task"]
NOT_FOUND = {0x80070002, 0x80070003}  # the task, or a folder on its path, is missing
# Large enough that a definition written in pieces would be seen torn.
PADDING = 48 * 1024
TASK_NAMESPACE = "http://schemas.microsoft.com/windows/2004/02/mit/task"


def definition(writer, version):
    return (f'<Task version="1.2" xmlns="{TASK_NAMESPACE}"><RegistrationInfo><Description>'
            f"{writer}:{version}:{'x' * PADDING}</Description></RegistrationInfo>"
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')


WHOLE = re.compile(r".*<Description>(\w+):(\d+):x*</Description>.*", re.DOTALL)


def stored_definitions(library):
    """{task path: (writer, version)} of every definition file, and the paths of files that are
    neither definitions nor start records nor folder spellings nor the computer's accounts (a
    killed writer's temporary);
    AssertionError for a definition that is not exactly one some writer wrote."""
    found, strays = {}, []
    for folder, _, files in os.walk(library):
        for name in files:
            path = os.path.join(folder, name)
            if name.startswith("t."):
                with open(path, encoding="utf-8") as file:
                    task_path, _, xml = file.read().partition("\n")
                match = WHOLE.fullmatch(xml)
                assert match and xml == definition(match[1], int(match[2])), f"torn definition in {path}"
                found[task_path] = (match[1], int(match[2]))
            elif name not in (".name", ".accounts") and not name.startswith("r."):
                strays.append(os.path.relpath(path, library))
    return found, strays


def mixed_calls(writer, seconds, seed=None):
    """Register, exists, run and delete on the shared names until the time is up; each register
    also replaces the writer's own task "Own\\WRITER". Returns the calls made and the last version
    registered. Any exception but a not-found one propagates."""
    chooser = random.Random(seed)
    deadline = time.monotonic() + seconds
    calls = version = 0
    while time.monotonic() < deadline:
        name = chooser.choice(SHARED_NAMES)
        action = chooser.randrange(4)
        try:
            if action == 0:
                version += 1
                morvane.register_xml(name, definition(writer, version))
                morvane.register_xml(f"Own\\{writer}", definition(writer, version))
            elif action == 1:
                morvane.task_exists(name)
            elif action == 2:
                morvane.run_task(name)
            else:
                morvane.delete_task(name)
        except TaskSchedulerError as error:
            if error.hresult not in NOT_FOUND:
                raise
        calls += 1
    return calls, version


def replace_forever(writer):
    """Replaces the task "Victim" with a new version, again and again, until killed."""
    version = 0
    while True:
        version += 1
        morvane.register_xml("Victim", definition(writer, version))
        print(version, flush=True)


if __name__ == "__main__":
    emulator.set_task_library(sys.argv[1])
    if sys.argv[2] == "mixed":
        print(*mixed_calls(sys.argv[3], float(sys.argv[4])))
    else:
        replace_forever(sys.argv[3])
