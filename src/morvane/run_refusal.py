"""Why a start on demand starts nothing, read from a task's state and definition.

The service answers such a start with success (RunEx's S_OK) whether or not anything started: a
disabled task, one whose definition sets AllowStartOnDemand to false, and one with an instance
running whose MultipleInstancesPolicy is IgnoreNew (the default) start nothing; with Queue the
run waits for the running one.
"""

from __future__ import annotations

import re

__all__ = ["queued_behind", "why_not_started"]

_TASK_NAMESPACE = "http://schemas.microsoft.com/windows/2004/02/mit/task"
_DECLARATION = re.compile(r"\A\s*<\?xml[^>]*\?>")


def _settings(xml: str) -> dict[str, str]:
    """The task's Settings as element name -> text; empty when the text cannot be read."""
    from xml.etree import ElementTree

    try:
        # The declaration names the UTF-16 the service received; this text is already decoded.
        root = ElementTree.fromstring(_DECLARATION.sub("", xml, count=1))
    except ElementTree.ParseError:
        return {}
    settings = root.find(f"{{{_TASK_NAMESPACE}}}Settings")
    if settings is None:
        return {}
    prefix = len(_TASK_NAMESPACE) + 2
    return {child.tag[prefix:]: (child.text or "").strip() for child in settings if child.tag.startswith("{")}


def why_not_started(enabled: bool, running: bool, xml: str) -> str | None:
    """Why a start on demand of the task starts nothing; None when it starts a run (or queues
    one)."""
    if not enabled:
        return "the task is disabled (morvane enable lets it run)"
    settings = _settings(xml)
    if settings.get("AllowStartOnDemand") == "false":
        return "its definition does not allow starting it on demand (AllowStartOnDemand is false)"
    if running and settings.get("MultipleInstancesPolicy", "IgnoreNew") == "IgnoreNew":
        return "an instance is running and the task ignores new ones (MultipleInstancesPolicy IgnoreNew)"
    return None


def queued_behind(running: bool, xml: str) -> bool:
    """Whether a start on demand waits for the running instance (MultipleInstancesPolicy Queue)."""
    return running and _settings(xml).get("MultipleInstancesPolicy") == "Queue"
