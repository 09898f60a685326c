"""Hypothesis strategies for task definitions: any model the model accepts, drawn across the
schema's ranges (bounds included)."""

import datetime

from hypothesis import strategies as st

from morvane import definition as d

_XML_CHARACTERS = st.characters(codec="utf-8", exclude_categories=("Cs",), exclude_characters="\ufffe\uffff") \
    .filter(lambda c: c in "\t\n\r" or ord(c) >= 0x20)
texts = st.text(_XML_CHARACTERS, max_size=12)
words = texts.filter(lambda text: text.strip(" \t\r\n"))
paths = st.text(_XML_CHARACTERS, min_size=1, max_size=260).filter(lambda text: text.strip(" \t\r\n"))
durations = st.timedeltas(min_value=datetime.timedelta(0), max_value=datetime.timedelta(days=4000))
minutes_up = st.timedeltas(min_value=datetime.timedelta(minutes=1), max_value=datetime.timedelta(days=4000))
intervals = st.timedeltas(min_value=datetime.timedelta(minutes=1), max_value=datetime.timedelta(days=31))
offsets = st.integers(-14 * 60, 14 * 60).map(lambda minutes: datetime.timezone(datetime.timedelta(minutes=minutes)))
moments = st.datetimes(min_value=datetime.datetime(1000, 1, 1), timezones=st.none() | offsets)
guids = st.uuids().map(lambda value: "{" + str(value).upper() + "}")


def optional(strategy):
    return st.none() | strategy


def _flags(kind):
    return st.integers(0, sum(member.value for member in kind if member.name != "ALL" and member.name != "WEEKDAYS")) \
        .map(lambda bits: kind(bits & sum(m.value for m in kind if m.name not in ("ALL", "WEEKDAYS"))))


repetitions = st.builds(d.Repetition, interval=intervals, duration=optional(minutes_up),
                        stop_at_duration_end=st.booleans())
_common = dict(enabled=st.booleans(), end_boundary=optional(moments), repetition=optional(repetitions),
               execution_time_limit=optional(durations))
_timed = dict(_common, start_boundary=moments, random_delay=optional(durations))
_started = dict(_common, start_boundary=optional(moments))

triggers = st.one_of(
    st.builds(d.TimeTrigger, **_timed),
    st.builds(d.DailyTrigger, days_interval=st.integers(1, 365), **_timed),
    st.builds(d.WeeklyTrigger, days_of_week=_flags(d.DayOfWeek), weeks_interval=st.integers(1, 52), **_timed),
    st.builds(d.MonthlyTrigger, days_of_month=st.frozensets(st.integers(1, 31)), last_day_of_month=st.booleans(),
              months=_flags(d.Month), **_timed),
    st.builds(d.MonthlyDayOfWeekTrigger, days_of_week=_flags(d.DayOfWeek), weeks=_flags(d.WeekOfMonth),
              months=_flags(d.Month), **_timed),
    st.builds(d.BootTrigger, delay=optional(durations), **_started),
    st.builds(d.RegistrationTrigger, delay=optional(durations), **_started),
    st.builds(d.IdleTrigger, **_started),
    st.builds(d.LogonTrigger, user_id=optional(words), delay=optional(durations), **_started),
    st.builds(d.SessionStateChangeTrigger, state_change=st.sampled_from(d.SessionStateChange),
              user_id=optional(words), delay=optional(durations), **_started),
    st.builds(d.EventTrigger, subscription=words, delay=optional(durations),
              period_of_occurrence=optional(durations), number_of_occurrences=optional(st.integers(1, 32)),
              matching_element=optional(words), value_queries=st.lists(st.tuples(texts, words), max_size=3).map(tuple),
              **_started),
)

actions = st.one_of(
    st.builds(d.ExecAction, command=paths, arguments=optional(texts), working_directory=optional(paths)),
    st.builds(d.ComHandlerAction, class_id=guids, data=optional(texts)),
)

settings = st.builds(
    d.Settings,
    multiple_instances=st.sampled_from(d.MultipleInstancesPolicy),
    disallow_start_if_on_batteries=st.booleans(), stop_if_going_on_batteries=st.booleans(),
    allow_hard_terminate=st.booleans(), start_when_available=st.booleans(),
    run_only_if_network_available=st.booleans(),
    network_settings=optional(st.builds(d.NetworkSettings, name=optional(words), id=optional(guids))),
    idle_settings=st.builds(d.IdleSettings, duration=minutes_up, wait_timeout=minutes_up,
                            stop_on_idle_end=st.booleans(), restart_on_idle=st.booleans()),
    allow_start_on_demand=st.booleans(), enabled=st.booleans(), hidden=st.booleans(), run_only_if_idle=st.booleans(),
    wake_to_run=st.booleans(), execution_time_limit=durations, delete_expired_task_after=optional(durations),
    priority=st.integers(0, 10),
    restart_on_failure=optional(st.builds(d.RestartOnFailure, interval=intervals, count=st.integers(1, 255))),
)

principals = st.builds(d.Principal, user_id=optional(words), group_id=optional(words),
                       logon_type=optional(st.sampled_from(d.LogonType)),
                       run_level=optional(st.sampled_from(d.RunLevel)), id=optional(st.just("Author")),
                       display_name=optional(texts))

# Descriptors the service reads, each letting anyone (Everyone) register over the task and read it back.
descriptors = st.sampled_from(["D:(A;;FA;;;WD)", "O:BAD:(A;;FA;;;WD)(A;;FR;;;AU)", "O:BAG:SYD:(A;;0x1f01ff;;;WD)"])

registration_infos = st.builds(
    d.RegistrationInfo, author=optional(texts), description=optional(texts), uri=st.none(), date=optional(moments),
    source=optional(texts), documentation=optional(texts), version=optional(texts),
    security_descriptor=optional(descriptors))


def _numbered(items, prefix, numbered):
    """Gives the items ids where numbered says so: "t1", "t2"... are unique by construction."""
    import dataclasses

    return tuple(dataclasses.replace(item, id=f"{prefix}{n}") if flag else item
                 for n, (item, flag) in enumerate(zip(items, numbered)))


@st.composite
def task_definitions(draw):
    principal = draw(optional(principals))
    trigger_list = draw(st.lists(triggers, max_size=4))
    action_list = draw(st.lists(actions, min_size=1, max_size=3))
    context = draw(st.booleans()) and principal is not None and principal.id is not None
    return d.TaskDefinition(
        registration_info=draw(registration_infos),
        principal=principal,
        settings=draw(settings),
        triggers=_numbered(trigger_list, "t", draw(st.lists(st.booleans(), min_size=4, max_size=4))),
        actions=_numbered(action_list, "a", draw(st.lists(st.booleans(), min_size=3, max_size=3))),
        actions_context=principal.id if context else None,
    )
