"""list_tasks(recursive=True) over a library of tasks in 100 folders against Python walking the
same library's directory and reading every definition file once (the least a listing must do),
alternated round by round, for two definitions: a bare one (no trigger) and one as Windows exports
a daily task repeated hourly (its next run time is part of each listed task). Each kind prints
the median of the rounds' ratios; the exported definition's is the last line (goal: <= 1.5). The
first listing after registering the library is printed too, and the first listing in a fresh
process (timed inside it, the import aside) against the walk in that process: with nothing kept
(the library's ".listing" facts removed first) and with what the listing before kept.

    python bench/list_tasks.py [TASKS]      (default 3000, in 100 folders)
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

from alternated import report_times

import morvane
from morvane import emulator

FOLDERS, ROUNDS, FRESH_ROUNDS = 100, 11, 5
BARE_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')
# As Windows exports a task made in its Task Scheduler: a daily trigger repeated every hour.
# The account the exported definition was registered for, a user of the computer it came from.
EXPORTED_USER_SID = "S-1-5-21-1004336348-1177238915-682003330-1001"
EXPORTED_XML = """<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.4" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Date>2026-03-02T09:14:27.5180432</Date>
    <Author>CONTOSO\\maintenance</Author>
    <Description>Rotates the application's logs and trims the upload cache.</Description>
    <URI>\\Maintenance\\Rotate</URI>
  </RegistrationInfo>
  <Triggers>
    <CalendarTrigger>
      <Repetition>
        <Interval>PT1H</Interval>
        <Duration>P1D</Duration>
        <StopAtDurationEnd>false</StopAtDurationEnd>
      </Repetition>
      <StartBoundary>2026-03-02T06:00:00</StartBoundary>
      <Enabled>true</Enabled>
      <ScheduleByDay>
        <DaysInterval>1</DaysInterval>
      </ScheduleByDay>
    </CalendarTrigger>
  </Triggers>
  <Principals>
    <Principal id="Author">
      <UserId>S-1-5-21-1004336348-1177238915-682003330-1001</UserId>
      <LogonType>InteractiveToken</LogonType>
      <RunLevel>LeastPrivilege</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>true</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>true</StopIfGoingOnBatteries>
    <AllowHardTerminate>true</AllowHardTerminate>
    <StartWhenAvailable>false</StartWhenAvailable>
    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>
    <IdleSettings>
      <StopOnIdleEnd>true</StopOnIdleEnd>
      <RestartOnIdle>false</RestartOnIdle>
    </IdleSettings>
    <AllowStartOnDemand>true</AllowStartOnDemand>
    <Enabled>true</Enabled>
    <Hidden>false</Hidden>
    <RunOnlyIfIdle>false</RunOnlyIfIdle>
    <DisallowStartOnRemoteAppSession>false</DisallowStartOnRemoteAppSession>
    <UseUnifiedSchedulingEngine>true</UseUnifiedSchedulingEngine>
    <WakeToRun>false</WakeToRun>
    <ExecutionTimeLimit>PT72H</ExecutionTimeLimit>
    <Priority>7</Priority>
  </Settings>
  <Actions Context="Author">
    <Exec>
      <Command>/bin/true</Command>
      <Arguments>--rotate --keep 14</Arguments>
    </Exec>
  </Actions>
</Task>
"""


def fill(tasks, definition):
    # Registered through the service, as a user's tasks are: the files are the store's own. The
    # service waits on the disk with the interpreter lock released: threads fill it faster.
    with ThreadPoolExecutor(8) as pool:
        for _ in pool.map(lambda index: morvane.register_xml(f"Folder{index % FOLDERS}\\Task{index}", definition),
                          range(tasks)):
            pass


def read_every_definition(library):
    """Walks the library and reads each task's definition file ("t." and the name) once."""
    count = 0
    for folder, _, files in os.walk(library):
        for name in files:
            if name.startswith("t."):
                with open(os.path.join(folder, name), "rb") as file:
                    file.read()
                count += 1
    return count


def timed(call):
    started = time.perf_counter()
    call()
    return time.perf_counter() - started


def fresh_process_ratio(library):
    """The first listing / the walk, timed in a new process that lists the library first."""
    done = subprocess.run([sys.executable, __file__, "--fresh", library], capture_output=True, text=True, check=True,
                          env=dict(os.environ, MORVANE_TASK_LIBRARY=library))
    listing, walk = map(float, done.stdout.split())
    return listing / walk


def fresh_process_ratios(library):
    """(nothing kept, kept) ratios of FRESH_ROUNDS rounds, each round a process of each."""
    cold, kept = [], []
    for _ in range(FRESH_ROUNDS):
        shutil.rmtree(os.path.join(library, ".listing"), ignore_errors=True)
        cold.append(fresh_process_ratio(library))
        kept.append(fresh_process_ratio(library))
    return statistics.median(cold), statistics.median(kept)


def measure(tasks, kind, definition):
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        # An exported definition names its account by SID: here the emulated computer's own caller.
        accounts = emulator.accounts()
        caller_sid = next(account.sid for account in accounts["accounts"] if account.name == accounts["caller"])
        definition = definition.replace(EXPORTED_USER_SID, caller_sid)
        started = time.perf_counter()
        fill(tasks, definition)
        print(f"filled a library of {tasks} {kind} tasks in {time.perf_counter() - started:.0f} s", file=sys.stderr)
        read_every_definition(library)  # the files in the page cache, as for the listing below

        def module():
            morvane.list_tasks(recursive=True)

        def plain():
            read_every_definition(library)

        first = timed(module) / timed(plain)
        listed, read = len(morvane.list_tasks(recursive=True)), read_every_definition(library)
        if listed != tasks or read != tasks:
            print(f"listed {listed} tasks and read {read} files of {tasks}", file=sys.stderr)
            return False
        timed(module), timed(plain)  # warm-up
        rounds = [(timed(module), timed(plain)) for _ in range(ROUNDS)]
        cold, kept = fresh_process_ratios(library)
    print(f"first listing of {tasks} {kind} definitions / walk and read: {first:.2f}")
    print(f"first listing in a fresh process of {tasks} {kind} definitions / walk and read there "
          f"(median of {FRESH_ROUNDS} processes each): nothing kept {cold:.2f}, with the kept facts {kept:.2f}")
    report_times(rounds, f"list_tasks(recursive=True) of {tasks} {kind}", "walk and read", f"listing ratio, {kind}")
    return True


def main():
    if sys.argv[1:2] == ["--fresh"]:
        # The library comes from the environment, as a user's process finds it.
        print(timed(lambda: morvane.list_tasks(recursive=True)), timed(lambda: read_every_definition(sys.argv[2])))
        return 0
    tasks = int(sys.argv[1]) if len(sys.argv) > 1 else 3_000
    if not measure(tasks, "bare", BARE_XML) or not measure(tasks, "exported", EXPORTED_XML):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
