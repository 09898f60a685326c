"""A task definition the emulated service accepts, and the bytes of files that hold it."""

import codecs

TASK_XML = (
    '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    '<Actions><Exec><Command>/bin/true</Command></Exec></Actions>'
    "</Task>"
)

# A file as Windows exports it: UTF-16 little-endian with a byte order mark and a declaration.
UTF16_FILE = codecs.BOM_UTF16_LE + ('<?xml version="1.0" encoding="UTF-16"?>\r\n' + TASK_XML).encode("utf-16-le")
