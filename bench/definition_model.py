"""What a definition written in Python costs: building the model of a typical definition (a
daily trigger repeated hourly, a logon trigger, two actions, a principal, the settings an
export holds) and writing its XML, against parsing the same XML with ElementTree (goal: <= 2);
alternated round by round, the median of the rounds' ratios printed last."""

import datetime
import sys
import time
import xml.etree.ElementTree as ElementTree

from alternated import report_times

from morvane import definition as d

ROUNDS = 21
CALLS = 2_000


def typical():
    return d.TaskDefinition(
        registration_info=d.RegistrationInfo(
            date=datetime.datetime(2026, 2, 1, 9, 15, 42), author="CONTOSO\\alice", description="Nightly report",
            uri="\\Reports\\Nightly"),
        triggers=(
            d.DailyTrigger(start_boundary=datetime.datetime(2026, 3, 1, 2, 0), repetition=d.Repetition(
                interval=datetime.timedelta(hours=1), duration=datetime.timedelta(days=1))),
            d.LogonTrigger(user_id="CONTOSO\\alice", delay=datetime.timedelta(seconds=30), enabled=False),
        ),
        principal=d.Principal(id="Author", user_id="S-1-5-21-1004336348-1177238915-682003330-1001",
                              logon_type=d.LogonType.INTERACTIVE_TOKEN, run_level=d.RunLevel.LEAST_PRIVILEGE),
        settings=d.Settings(execution_time_limit=datetime.timedelta(hours=2), priority=7,
                            restart_on_failure=d.RestartOnFailure(interval=datetime.timedelta(minutes=5), count=3)),
        actions=(
            d.ExecAction("C:\\Tools\\report.exe", '--nightly "C:\\Reports\\out dir"', "C:\\Reports"),
            d.ExecAction("%SystemRoot%\\System32\\cmd.exe", "/c echo done"),
        ),
        actions_context="Author",
    )


def timed(call, count):
    started = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - started) / count


def main():
    xml = typical().to_xml()
    assert d.TaskDefinition.from_xml(xml) == typical()
    print(f"the typical definition: {len(xml)} characters", file=sys.stderr)

    def build_and_write():
        typical().to_xml()

    def parse():
        ElementTree.fromstring(xml)

    timed(build_and_write, CALLS), timed(parse, CALLS)  # warm-up
    rounds = [(timed(build_and_write, CALLS), timed(parse, CALLS)) for _ in range(ROUNDS)]
    report_times(rounds, "build and write the model", "ElementTree.fromstring of its XML",
                 "model / ElementTree ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
