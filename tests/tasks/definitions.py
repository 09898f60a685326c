"""Task definitions for the task functions' tests."""

NAMESPACE = "http://schemas.microsoft.com/windows/2004/02/mit/task"


def task_xml(command="/bin/true", arguments="", *, settings="", triggers=""):
    """A definition with one Exec action, and optional settings and triggers elements' content."""
    parts = [f'<Task version="1.2" xmlns="{NAMESPACE}">']
    if triggers:
        parts.append(f"<Triggers>{triggers}</Triggers>")
    if settings:
        parts.append(f"<Settings>{settings}</Settings>")
    action = f"<Command>{command}</Command>" + (f"<Arguments>{arguments}</Arguments>" if arguments else "")
    parts.append(f"<Actions><Exec>{action}</Exec></Actions></Task>")
    return "".join(parts)


def calendar_trigger(start, *, interval="", duration="", enabled=True):
    """A daily trigger from start (an xs:dateTime), repeated every interval for duration."""
    repetition = f"<Repetition><Interval>{interval}</Interval><Duration>{duration}</Duration></Repetition>" \
        if interval else ""
    flag = "" if enabled else "<Enabled>false</Enabled>"
    return (f"<CalendarTrigger>{repetition}<StartBoundary>{start}</StartBoundary>{flag}"
            "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>")
