"""python -m morvane: the command line (see morvane.cli)."""

from morvane.cli import run

if __name__ == "__main__":
    run()
