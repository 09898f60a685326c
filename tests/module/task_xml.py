"""Task definitions the emulated service accepts, for the module's tests."""

TASK_XML = (
    '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    '<Actions><Exec><Command>/bin/true</Command></Exec></Actions>'
    "</Task>"
)
