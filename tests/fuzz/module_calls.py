"""atheris harness over the module functions and a Scheduler's methods: fuzzed names, definitions,
flags, times and argument shapes, each call answered with one of the documented exceptions or a
result, and nothing held afterwards but what the open Scheduler holds.

    python tests/fuzz/module_calls.py [libFuzzer flags, e.g. -max_total_time=60]
"""

import datetime
import pathlib
import sys
import tempfile

import atheris

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))  # the suites' list of operations
from operations import OPERATIONS  # noqa: E402

with atheris.instrument_imports():
    import morvane
    from morvane import TaskSchedulerError, emulator


TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')
METHODS = [operation.name for operation in OPERATIONS]
FUNCTIONS = [getattr(morvane, name) for name in METHODS]
KEYWORDS = list(dict.fromkeys(p.name for operation in OPERATIONS for p in operation.parameters))
# Set by main() once the Scheduler is open: what it holds.
session = None
held_by_session = {}


# The harness is instrumented so that its branches (which function, which argument shapes) guide
# the fuzzer: the native module itself is not built with coverage feedback.
@atheris.instrument_func
def argument(data):
    kind = data.ConsumeIntInRange(0, 8)
    if kind == 6:
        return data.ConsumeBool()
    if kind in (7, 8):  # a time of the years 2000 to 2100, aware (any offset) or naive
        moment = datetime.datetime(2000, 1, 1) + datetime.timedelta(seconds=data.ConsumeIntInRange(0, 3_155_760_000))
        if kind == 8:
            return moment
        return moment.replace(tzinfo=datetime.timezone(datetime.timedelta(minutes=data.ConsumeIntInRange(-1439, 1439))))
    if kind == 0:
        return data.ConsumeIntInRange(-5, 5)
    if kind == 1:
        return None
    if kind == 2:
        return data.ConsumeBytes(4)
    if kind == 3:  # a definition that mostly passes the service's checks, with fuzzed text in it
        return TASK_XML.replace("/bin/true", data.ConsumeUnicode(16))
    return data.ConsumeUnicode(data.ConsumeIntInRange(0, 300))


@atheris.instrument_func
def one_input(raw):
    data = atheris.FuzzedDataProvider(raw)
    index = data.ConsumeIntInRange(0, 2 * len(FUNCTIONS) - 1)
    function = FUNCTIONS[index] if index < len(FUNCTIONS) else getattr(session, METHODS[index - len(FUNCTIONS)])
    args = [argument(data) for _ in range(data.ConsumeIntInRange(0, 4))]
    kwargs = {data.ConsumeUnicode(10) if data.ConsumeBool() else data.PickValueInList(KEYWORDS): argument(data)
              for _ in range(data.ConsumeIntInRange(0, 2))}
    try:
        function(*args, **kwargs)
    except (TaskSchedulerError, TypeError, ValueError):  # ValueError covers UnicodeEncodeError
        pass
    assert emulator.outstanding() == held_by_session, emulator.outstanding()
    assert emulator.violations() == [], emulator.violations()


def main():
    global session, held_by_session
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        session = morvane.Scheduler()
        held_by_session = emulator.outstanding()
        atheris.Setup(sys.argv, one_input)
        atheris.Fuzz()


if __name__ == "__main__":
    main()
