"""Task names in the command line's messages: shown readably, why the scheduler refuses one, and
the task a shell meant when it ate the name's backslashes.

Windows refuses in a task or folder name what it refuses in a file name: the characters
<>:"/|?*, control characters, an unpaired surrogate, "." and "..", an empty part (two
backslashes in a row, or one at the end) and a part that begins or ends with a space.
"""

from __future__ import annotations

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterable

__all__ = ["lost_backslashes", "name_problem", "shown_name"]

# Long enough for a folder path and a name; a message need not echo 100,000 characters.
_LONGEST_SHOWN = 120

_REFUSED = set('<>:"/|?*')


def _escaped(text: str) -> str:
    # <U+000A>: Windows refuses '<' and '>' in names, so the escape cannot be read as a name's
    # own characters, as "\n" could (a folder "a" holding a task "nb").
    return "".join(
        f"<U+{ord(unit):04X}>" if ord(unit) < 0x20 or 0x7F <= ord(unit) < 0xA0 or 0xD800 <= ord(unit) < 0xE000
        else unit
        for unit in text
    )


def shown_name(name: str) -> str:
    """The name for a message: quoted, control characters escaped, cut short when it is long."""
    if len(name) <= _LONGEST_SHOWN:
        return f"'{_escaped(name)}'"
    return f"'{_escaped(name[:_LONGEST_SHOWN])}...' ({len(name)} characters)"


def _part_problem(part: str) -> str | None:
    if not part:
        return "the name has an empty part (two backslashes in a row, or one at the end)"
    if part in (".", ".."):
        return f"the name has a part '{part}', which names no task or folder"
    if part[0] == " " or part[-1] == " ":
        return f"the name's part '{_escaped(part)}' begins or ends with a space"
    for unit in part:
        if unit in _REFUSED:
            return f"the name holds '{unit}', which names cannot hold"
        if ord(unit) < 0x20:
            return f"the name holds the control character {_escaped(unit)}, which names cannot hold"
        if 0xD800 <= ord(unit) < 0xE000:
            return f"the name holds {_escaped(unit)}, half of a surrogate pair, which names cannot hold"
    return None


def name_problem(name: str) -> str | None:
    """Why Windows refuses name as a task or folder name (the first reason found); None when it
    does not refuse it for what it holds."""
    if name == "\\":
        return None
    for part in (name[1:] if name.startswith("\\") else name).split("\\"):
        if problem := _part_problem(part):
            return problem
    return None


def lost_backslashes(name: str, paths: Iterable[str]) -> str | None:
    """The one task path ("\\\\Folder\\\\Task") that reads as name once its backslashes are
    dropped, as an unquoted Folder\\\\Task reaches a program from a POSIX shell; None when no task
    or more than one does."""
    if "\\" in name:
        return None
    wanted = name.casefold()
    found = [path for path in paths if "\\" in path[1:] and path.replace("\\", "").casefold() == wanted]
    return found[0] if len(found) == 1 else None
