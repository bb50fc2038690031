"""The README's Python blocks run as written."""

import pathlib
import re
import subprocess
import sys

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
BLOCKS = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)


def test_the_readme_has_python_blocks():
    assert BLOCKS


def test_every_python_block_runs(tmp_path):
    for number, block in enumerate(BLOCKS):
        script = tmp_path / f"block{number}.py"
        script.write_text(block)
        subprocess.run([sys.executable, script.name], cwd=tmp_path, check=True, timeout=120)
        assert list(tmp_path.glob("*.kvg")), f"block {number} wrote no KVG file"
