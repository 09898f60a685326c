"""TaskDefinition: a whole task, its registration information, principal, settings, triggers and
actions, written to and read from the XML that the Task Scheduler takes and exports."""

from __future__ import annotations

import dataclasses
import os

from morvane.definition.actions import ComHandlerAction, ExecAction
from morvane.definition.principal import Principal
from morvane.definition.registration_info import RegistrationInfo
from morvane.definition.settings import Settings
from morvane.definition.triggers import Trigger
from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import as_tuple, check_optional, check_optional_text, check_text, check_type, refuse

__all__ = ["TaskDefinition"]

# The service's bounds: 48 triggers, one to 32 actions.
MOST_TRIGGERS = 48
MOST_ACTIONS = 32


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class TaskDefinition:
    """A task's definition. ``actions`` holds one to 32 ExecAction or ComHandlerAction,
    ``triggers`` at most 48 triggers (none: the task starts on demand only). ``actions_context``
    names the principal (its id) the actions run as. ``schema_version`` is the version of the task
    schema the XML declares (read from a definition, "1.2" for a new one).

    ``to_xml()`` writes the definition as Windows exports it, ``write(path)`` writes it to a file
    in UTF-16; ``TaskDefinition.from_xml(text)`` reads one, keeping what the model does not
    hold so that it is written back unchanged.
    """

    actions: tuple[ExecAction | ComHandlerAction, ...]
    triggers: tuple[Trigger, ...] = ()
    registration_info: RegistrationInfo = RegistrationInfo()
    principal: Principal | None = None
    settings: Settings = Settings()
    actions_context: str | None = None
    schema_version: str = "1.2"
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        actions = as_tuple(self, "actions", self.actions)
        triggers = as_tuple(self, "triggers", self.triggers)
        if actions is not self.actions:
            object.__setattr__(self, "actions", actions)
        if triggers is not self.triggers:
            object.__setattr__(self, "triggers", triggers)
        if not actions:
            raise refuse(self, "actions", "a task needs at least one action")
        if len(actions) > MOST_ACTIONS:
            raise refuse(self, "actions", f"at most {MOST_ACTIONS} actions")
        for number, action in enumerate(actions):
            if type(action) is not ExecAction and type(action) is not ComHandlerAction:
                raise TypeError(
                    f"TaskDefinition.actions[{number}]: must be an ExecAction or a ComHandlerAction, "
                    f"not {type(action).__name__}"
                )
        if len(triggers) > MOST_TRIGGERS:
            raise refuse(self, "triggers", f"at most {MOST_TRIGGERS} triggers")
        for number, trigger in enumerate(triggers):
            if not isinstance(trigger, Trigger):
                raise TypeError(f"TaskDefinition.triggers[{number}]: must be a trigger, not {type(trigger).__name__}")
        check_type(self, "registration_info", self.registration_info, RegistrationInfo)
        check_optional(self, "principal", self.principal, Principal)
        check_type(self, "settings", self.settings, Settings)
        check_optional_text(self, "actions_context", self.actions_context)
        check_text(self, "schema_version", self.schema_version)
        self._check_ids()

    def _check_ids(self) -> None:
        # The schema's keys: ids unique over the principal, triggers and actions; the actions'
        # context names the principal.
        principal_id = self.principal.id if self.principal is not None else None
        seen = {principal_id} if principal_id is not None else set()
        for field, items in (("triggers", self.triggers), ("actions", self.actions)):
            for number, item in enumerate(items):
                if item.id is None:
                    continue
                if item.id in seen:
                    raise ValueError(f"TaskDefinition.{field}[{number}].id: {item.id!r} is the id of another item")
                seen.add(item.id)
        if self.actions_context is not None and self.actions_context != principal_id:
            raise refuse(self, "actions_context", f"{self.actions_context!r} is not the id of the principal")

    def to_xml(self) -> str:
        """The definition's XML, as Windows exports it (declared UTF-16, two-space indentation)."""
        from morvane.definition.xml_writer import task_xml

        return task_xml(self)

    def write(self, path: str | os.PathLike[str]) -> None:
        """Writes the definition to a file as Windows exports it: UTF-16 LE with a byte order
        mark, lines ending in CR LF."""
        from morvane.task_file import encode_task_xml

        data = encode_task_xml(self.to_xml().replace("\n", "\r\n"), "utf-16")
        with open(path, "wb") as file:
            file.write(data)

    @classmethod
    def from_xml(cls, text: str) -> TaskDefinition:
        """Reads a definition from its XML text (``morvane.read_task_xml`` reads a file's).
        Raises ValueError for a text that is no task definition, holds a value the model
        refuses, or holds a deprecated e-mail or message action."""
        from morvane.definition.xml_reader import read_task

        return read_task(text)
