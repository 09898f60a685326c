"""morvane: manage tasks of the Windows Task Scheduler from Python."""

__version__ = "0.1.0"
