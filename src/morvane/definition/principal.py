"""Principal: the account a task runs as, how it logs on, and with which privileges."""

from __future__ import annotations

import dataclasses

from morvane.definition.enums import LogonType, RunLevel
from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import check_optional, check_optional_text

__all__ = ["Principal"]


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class Principal:
    """The security context of the task's actions.

    ``user_id`` names a user (``"CONTOSO\\alice"``, ``"SYSTEM"`` or a SID), ``group_id`` a
    group; ``logon_type`` None leaves the choice to the service (a group's principal has none).
    ``id`` is what TaskDefinition.actions_context names (Windows writes ``"Author"``).
    """

    user_id: str | None = None
    group_id: str | None = None
    logon_type: LogonType | None = None
    run_level: RunLevel | None = None
    id: str | None = None
    display_name: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_optional_text(self, "user_id", self.user_id, non_empty=True)
        check_optional_text(self, "group_id", self.group_id, non_empty=True)
        check_optional(self, "logon_type", self.logon_type, LogonType)
        check_optional(self, "run_level", self.run_level, RunLevel)
        check_optional_text(self, "id", self.id)
        check_optional_text(self, "display_name", self.display_name)
