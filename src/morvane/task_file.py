"""Task definition files as Windows tools write them, read into the text the Task Scheduler takes.

The Task Scheduler's export and ``schtasks /Query /XML`` write UTF-16 with a byte order mark;
editors often save the same file as UTF-8, with or without one, and leave the declaration
saying ``encoding="UTF-16"``. The bytes decide here, never the declaration: the text reaches
the service as UTF-16 whatever the file held, and the service refuses a declaration that names
another encoding, so such a declaration is rewritten to name UTF-16.
"""

from __future__ import annotations

import codecs
import os
import re
from typing import BinaryIO

__all__ = ["TaskFileDecodeError", "decode_task_xml", "encode_task_xml", "read_task_xml"]

# Byte order marks first; then, as XML's own detection does, a UTF-16 file without a mark
# recognised by its first character "<" (a NUL byte beside it). Anything else is UTF-8. UTF-32 is
# recognised the same ways only to be refused: its little-endian mark begins with UTF-16's, and
# read as UTF-16 or UTF-8 its text would reach the service full of NUL characters.
_BYTE_ORDER_MARKS = [
    (codecs.BOM_UTF32_LE, "utf-32-le"),
    (codecs.BOM_UTF32_BE, "utf-32-be"),
    (codecs.BOM_UTF8, "utf-8"),
    (codecs.BOM_UTF16_LE, "utf-16-le"),
    (codecs.BOM_UTF16_BE, "utf-16-be"),
]
_UNMARKED = [
    (b"<\0\0\0", "utf-32-le"),
    (b"\0\0\0<", "utf-32-be"),
    (b"<\0", "utf-16-le"),
    (b"\0<", "utf-16-be"),
]
_NOT_READ = {"utf-32-le", "utf-32-be"}

# The encoding pseudo-attribute of a declaration at the very start of the text.
_DECLARED_ENCODING = re.compile(
    r"""\A(<\?xml\s+version\s*=\s*(["'])[^"']*\2\s+encoding\s*=\s*)(["'])([^"']*)\3"""
)


class TaskFileDecodeError(UnicodeDecodeError):
    """A task file holds bytes that are not valid in its encoding, or is in UTF-32, not read.

    A ``UnicodeDecodeError`` (so also a ``ValueError``) that names the file: ``path`` is the
    file's name as given, ``encoding`` the encoding its bytes were read in, ``start`` and
    ``end`` the offsets of the offending bytes from the start of the file (byte order mark
    included) and ``reason`` what is wrong with them.
    """

    def __init__(self, path: str, encoding: str, data: bytes, start: int, end: int, reason: str) -> None:
        super().__init__(encoding, data, start, end, reason)
        self.path = path

    def __reduce__(self) -> tuple[type[TaskFileDecodeError], tuple[str, str, bytes, int, int, str]]:
        return type(self), (self.path, self.encoding, self.object, self.start, self.end, self.reason)

    def __str__(self) -> str:
        if self.encoding in _NOT_READ:
            return f"{self.path}: {self.reason}"
        text = f"{self.path}: not valid {self.encoding.upper()} at byte offset {self.start}: {self.reason}"
        if self.encoding == "utf-8":
            # Bytes that are not UTF-8 mostly come from an editor saving in a legacy code page
            # (Windows-1252): the file is read, just not in that encoding.
            text += " (is it in another encoding, such as Windows-1252? save it as UTF-16 or UTF-8)"
        return text


def _encoding_of(data: bytes) -> tuple[str, int]:
    """The encoding of a file's bytes and the length of its byte order mark."""
    for mark, encoding in _BYTE_ORDER_MARKS:
        if data.startswith(mark):
            return encoding, len(mark)
    for start, encoding in _UNMARKED:
        if data.startswith(start):
            return encoding, 0
    return "utf-8", 0


def decode_task_xml(data: bytes, path: str = "<bytes>") -> str:
    """The text of a task definition from the bytes of its file; path names it in errors.

    Raises TaskFileDecodeError for bytes that are not valid in the file's encoding, and for a
    file in UTF-32, which is not read.
    """
    encoding, mark = _encoding_of(data)
    if encoding in _NOT_READ:
        reason = f"{encoding.upper()}, which is not read: save the file as UTF-16 or UTF-8"
        raise TaskFileDecodeError(path, encoding, data, 0, 4, reason)
    try:
        text = data[mark:].decode(encoding)
    except UnicodeDecodeError as error:
        raise TaskFileDecodeError(
            path, encoding, data, error.start + mark, error.end + mark, error.reason
        ) from None
    return _DECLARED_ENCODING.sub(_declare_utf16, text, count=1)


def _declare_utf16(declaration: re.Match[str]) -> str:
    return _declare(declaration, "UTF-16")


def _declare(declaration: re.Match[str], encoding: str) -> str:
    quote = declaration.group(3)
    return f"{declaration.group(1)}{quote}{encoding}{quote}"


# The encodings written: the byte order mark, the codec and the name a declaration gives.
_WRITTEN = {"utf-16": (codecs.BOM_UTF16_LE, "utf-16-le", "UTF-16"), "utf-8": (b"", "utf-8", "UTF-8")}


def encode_task_xml(text: str, encoding: str = "utf-16") -> bytes:
    """The bytes of a task definition file for a definition's text, as ``read_task_xml`` reads it.

    ``"utf-16"`` writes what the Task Scheduler's export writes: little-endian with a byte order
    mark; ``"utf-8"`` writes no mark. A declaration at the start of the text is made to name the
    encoding written, so that other XML readers take the file as well; a text without one is
    written as it is.
    """
    if encoding not in _WRITTEN:
        raise ValueError(f"task files are written in UTF-16 or UTF-8, not {encoding!r}")
    mark, codec, declared = _WRITTEN[encoding]
    text = _DECLARED_ENCODING.sub(lambda found: _declare(found, declared), text, count=1)
    return mark + text.encode(codec)


# The service takes at most 1 MiB of definition (as UTF-8); its UTF-16 form on disk may be twice
# that. Reading stops a little past it, so that a huge or endless file (/dev/zero) is refused
# instead of read into memory whole.
MAX_FILE_BYTES = 4 * 1024 * 1024


def read_capped(file: BinaryIO, name: str) -> bytes:
    """Reads a whole task file, refusing one larger than any definition with ValueError."""
    data = file.read(MAX_FILE_BYTES + 1)
    if len(data) > MAX_FILE_BYTES:
        raise ValueError(f"{name}: larger than {MAX_FILE_BYTES} bytes, more than any task definition")
    return data


def read_task_xml(path: str | os.PathLike[str]) -> str:
    """Reads a task definition file and returns text that ``register_xml`` can take.

    The file may be UTF-16 (little- or big-endian) with a byte order mark, as Windows exports
    tasks, or UTF-8 with or without one. An XML declaration that names another encoding than
    UTF-16 is rewritten to name UTF-16, the form in which the service receives the text.

    Raises OSError when the file cannot be read, ValueError when it is larger than any task
    definition (4 MiB), and TaskFileDecodeError (a UnicodeDecodeError) naming the file and the
    byte offset when its bytes are not valid in their encoding, or naming the file and its
    encoding when it is UTF-32.
    """
    with open(path, "rb") as file:
        data = read_capped(file, os.fsdecode(path))
    return decode_task_xml(data, os.fsdecode(path))
