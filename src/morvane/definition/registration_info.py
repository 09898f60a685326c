"""RegistrationInfo: who wrote a task, what it is for, and where it is registered."""

from __future__ import annotations

import dataclasses
import datetime

from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import check_optional_moment, check_optional_text

__all__ = ["RegistrationInfo"]


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class RegistrationInfo:
    """The task's registration information; every field may be left out (None).

    ``uri`` is the task's path (``\\Folder\\Name``): the service writes the path the task is
    registered at over the one given. ``date`` is naive for local time, aware for a moment
    with its offset. ``security_descriptor`` is an SDDL string, checked by the service: the
    task's descriptor when it is registered without one of its own (register_task's security).
    """

    author: str | None = None
    description: str | None = None
    uri: str | None = None
    date: datetime.datetime | None = None
    source: str | None = None
    documentation: str | None = None
    version: str | None = None
    security_descriptor: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        for field in ("author", "description", "uri", "source", "documentation", "version", "security_descriptor"):
            check_optional_text(self, field, getattr(self, field))
        check_optional_moment(self, "date", self.date)
