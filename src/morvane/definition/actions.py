"""Actions: what a task does when it starts, a program to run or a COM handler to call.

The schema's e-mail and message actions are deprecated: Windows refuses them in tasks of the
current schema, and so does this model, when a definition holding one is read.
"""

from __future__ import annotations

import dataclasses

from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import LONGEST_PATH, check_guid, check_optional_text, check_text

__all__ = ["Action", "ComHandlerAction", "DEPRECATED_ACTIONS", "ExecAction"]

# The schema's deprecated actions, by element name, with what to use instead.
DEPRECATED_ACTIONS = {
    "SendEmail": "send the mail from a program that an ExecAction runs",
    "ShowMessage": "show the message from a program that an ExecAction runs",
}


@dataclasses.dataclass(frozen=True, slots=True)
class ExecAction:
    """Runs command (a path of at most 260 characters; environment variables such as
    %SystemRoot% are expanded by the service) with arguments, in working_directory."""

    command: str
    arguments: str | None = None
    working_directory: str | None = None
    id: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False, kw_only=True)

    def __post_init__(self) -> None:
        check_text(self, "command", self.command, non_empty=True, longest=LONGEST_PATH)
        check_optional_text(self, "arguments", self.arguments)
        check_optional_text(self, "working_directory", self.working_directory, non_empty=True, longest=LONGEST_PATH)
        check_optional_text(self, "id", self.id)


@dataclasses.dataclass(frozen=True, slots=True)
class ComHandlerAction:
    """Calls the COM handler class_id (a GUID in braces) with data."""

    class_id: str
    data: str | None = None
    id: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False, kw_only=True)

    def __post_init__(self) -> None:
        check_guid(self, "class_id", self.class_id)
        check_optional_text(self, "data", self.data)
        check_optional_text(self, "id", self.id)


Action = ExecAction | ComHandlerAction
