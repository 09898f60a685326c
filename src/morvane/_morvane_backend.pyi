"""Types of the extension module morvane._morvane_backend (C++, no Python source)."""

def run_task(task_name: str) -> None:
    """Starts a registered task now; does not wait for it."""

def delete_task(task_name: str) -> None:
    """Removes a registered task."""

def task_exists(task_name: str) -> bool:
    """True when the task is registered; False when it or a folder on its path is missing."""

def register_xml(task_name: str, xml_data: str) -> None:
    """Creates a task from its XML definition, or replaces the definition of an existing one."""
