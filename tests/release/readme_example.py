"""The README's copy-paste examples, so that tests run exactly what readers copy: the ```sh
block that follows the line <!-- example: NAME --> in README.md."""
import re
from pathlib import Path

README = Path(__file__).resolve().parents[2] / "README.md"


def readme_example(name):
    text = README.read_text()
    match = re.search(r"<!-- example: %s -->\s*```sh\n(.*?)```" % re.escape(name), text, re.S)
    if not match:
        raise LookupError(f"README.md has no example {name}")
    return match.group(1)
