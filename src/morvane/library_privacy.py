"""Whether a folder may serve as the emulated scheduler's task library: a directory of the user's.

The service makes the library and everything in it private (folders 0700, files 0600), but it
takes the library's own path as given. A library in a folder that other users can write to, or
that belongs to another user, is not private whatever its modes: they can change, swap or read
its definitions, whose commands the service starts as this user. So the folder and every folder
above it must belong to this user or to root, and be writable by nobody else, unless it is
sticky, as /tmp is, where others cannot move or replace what is not theirs.
"""

from __future__ import annotations

import os
import stat

__all__ = ["library_problem"]


def library_problem(library: str | os.PathLike[str]) -> str | None:
    """Why the folder at library cannot be a private task library; None when it can.

    A library that does not exist yet is fine when the nearest folder that does exist is a
    directory: the service makes the rest, private.
    """
    path = os.path.realpath(library)
    shown = os.fsdecode(library)
    if os.path.lexists(path) and not os.path.isdir(path):
        return f"the task library {shown} is not a directory"
    existing = path
    while not os.path.lexists(existing):
        existing = os.path.dirname(existing)
    if not os.path.isdir(existing):
        return f"the task library {shown} cannot be made: {existing} is not a directory"
    me = os.geteuid()
    folder = existing
    while True:
        status = os.stat(folder)
        owner, mode = status.st_uid, status.st_mode
        is_library = folder == path
        where = "it" if is_library else folder
        # root owns the folders above everyone's home; the library itself must be the user's.
        if owner != me and (is_library or owner != 0):
            return f"the task library {shown} is not private: {where} belongs to another user (uid {owner})"
        if mode & (stat.S_IWGRP | stat.S_IWOTH) and (is_library or not mode & stat.S_ISVTX):
            return f"the task library {shown} is not private: others can write to {where} ({stat.filemode(mode)})"
        parent = os.path.dirname(folder)
        if parent == folder:
            return None
        folder = parent
