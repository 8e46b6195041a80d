"""The package as users get it: the wheel that make dist wrote, alone in a
new virtual environment, renders the README's example; and the type stubs
say what the package has."""

import ast
import glob
import inspect
import os
import re
import subprocess
import sys

import imageio
import imageio.v3 as iio
import numpy as np
import pytest

import zelvo
from conftest import BUILD, pattern

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def readme_example() -> str:
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    python = readme[readme.index("\n## Python\n"):]
    return re.search(r"```python\n(.*?)```", python, re.S).group(1)


def test_the_wheel_renders_the_readme_example_in_a_new_environment(tmp_path):
    wheels = glob.glob(os.path.join(BUILD, "zelvo-*.whl"))
    assert wheels, f"no wheel in {BUILD}: make dist (cmake --build {BUILD} --target dist) writes it"
    env = tmp_path / "env"
    subprocess.run([sys.executable, "-m", "venv", str(env)], check=True)
    python = str(env / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "-q", "--disable-pip-version-check", wheels[0],
                    f"numpy=={np.__version__}", f"imageio=={imageio.__version__}"], check=True)
    iio.imwrite(tmp_path / "in.png", pattern(61, 83, np.uint8))
    clean = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")}
    subprocess.run([python, "-c", readme_example()], cwd=tmp_path, env=clean, check=True)
    where = subprocess.run([python, "-c", "import zelvo; print(zelvo.__file__)"], cwd=tmp_path, env=clean,
                           check=True, capture_output=True, text=True).stdout
    assert where.startswith(str(env))
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        project = re.search(r"project\(Zelvo VERSION ([0-9.]+)", f.read()).group(1)
    version = subprocess.run([python, "-c", "import zelvo; print(zelvo.__version__)"], cwd=tmp_path, env=clean,
                             check=True, capture_output=True, text=True).stdout.strip()
    assert version == project and os.path.basename(wheels[0]).startswith(f"zelvo-{project}-")
    subprocess.run([os.path.join(BUILD, "zelvo"), "render", "-q", str(tmp_path / "in.png"), str(tmp_path / "tool.png"),
                    "-p", "splitCount=4", "-p", "splitAngle=30", "-p", "section2=off"], check=True)
    assert np.array_equal(iio.imread(tmp_path / "out.png"), iio.imread(tmp_path / "tool.png"))


def test_the_stubs_name_what_the_package_has():
    with open(os.path.join(os.path.dirname(zelvo.__file__), "__init__.pyi"), encoding="utf-8") as f:
        stub = ast.parse(f.read())
    named = {n.name for n in stub.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
    assert set(zelvo.__all__) <= named
    render = next(n for n in stub.body if isinstance(n, ast.ClassDef) and n.name == "Effect")
    render = next(n for n in render.body if isinstance(n, ast.FunctionDef) and n.name == "render")
    stubbed = [a.arg for a in render.args.args + render.args.kwonlyargs] + [render.args.kwarg.arg]
    assert stubbed == list(inspect.signature(zelvo.Effect.render).parameters)
    assert "fx.render(src" in zelvo.__doc__ and "row 0 on top" in zelvo.Effect.render.__doc__
