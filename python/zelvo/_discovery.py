"""Finding plug-ins as a host does: the bundled Zelvo, then every binary
where hosts look, each read in a child process of its own, since loading
someone else's binary may crash, hang or print anything."""

from __future__ import annotations

import json
import os
import secrets
import signal
import subprocess
import sys
from dataclasses import dataclass
from typing import List, Optional, Tuple

from . import _zelvo
from ._errors import LoadError

ZELVO_IDENTIFIER = "com.zelvo.sectionsplit.ja"
# A binary must answer within this time, and may declare at most this many plug-ins.
PROBE_SECONDS = 10

_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))

# Runs in the child: only the native module, not the package (no NumPy to
# import for each binary). The report is the line after the token, so
# whatever the plug-in prints around it is ignored.
_PROBE = """
import json, sys
sys.path.insert(0, sys.argv[1])
import _zelvo
try:
    report = {"records": _zelvo.records(sys.argv[3])}
except Exception as e:
    report = {"skip": str(e)}
sys.stdout.flush()
print("\\n" + sys.argv[2] + json.dumps(report), flush=True)
"""


@dataclass(frozen=True)
class PluginRecord:
    """One plug-in of a binary, as ``zelvo plugins`` lists it."""

    identifier: str
    version: Tuple[int, int]
    path: str       # the binary
    index: int      # its place in the binary
    default: bool = False  # the Zelvo bundled with this package


def bundled_bundle() -> str:
    return os.path.join(_PACKAGE_DIR, "Zelvo.ofx.bundle")


def probe(binary: str) -> Tuple[List[PluginRecord], str]:
    """The binary's plug-ins, and why some or all were skipped ("" if none)."""
    token = secrets.token_hex(16)
    try:
        child = subprocess.run([sys.executable, "-I", "-c", _PROBE, _PACKAGE_DIR, token, binary],
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=PROBE_SECONDS)
    except subprocess.TimeoutExpired:
        return [], f"did not finish within {PROBE_SECONDS} s while being loaded"
    report = None
    for line in child.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith(token):
            report = json.loads(line[len(token):])
    if report is None or child.returncode != 0:
        if child.returncode < 0:
            return [], f"ended by {signal.Signals(-child.returncode).name} while being loaded"
        return [], "ended the process while being loaded"
    if "skip" in report:
        return [], report["skip"]
    records, missing = [], []
    for index, (identifier, major, minor) in enumerate(report["records"]):
        if identifier:
            records.append(PluginRecord(identifier, (major, minor), binary, index))
        else:
            missing.append(str(index))
    problem = ""
    if missing:
        problem = f"OfxGetPlugin returned no record for plug-in {', '.join(missing)} of {len(report['records'])}"
    return records, problem


def _same_file(a: str, b: str) -> bool:
    try:
        return os.path.samefile(a, b)
    except OSError:
        return False


def plugins(*, problems: Optional[List[str]] = None) -> List[PluginRecord]:
    """Every plug-in a host would find: the bundled Zelvo first, then those
    on OFX_PLUGIN_PATH and in /usr/OFX/Plugins. Binaries that could not be
    read are skipped; ``problems``, when given, receives a line for each."""
    found: List[PluginRecord] = []
    notes = problems if problems is not None else []
    bundled = ""
    if os.path.isdir(bundled_bundle()):
        bundled = _zelvo.binary_of(bundled_bundle())
        records, problem = probe(bundled)
        found += [PluginRecord(r.identifier, r.version, r.path, r.index, True) for r in records]
        if problem:
            notes.append(f"skipped {bundled}: {problem}")
    binaries, skipped = _zelvo.search_path_binaries()
    for binary in binaries:
        if bundled and _same_file(binary, bundled):
            continue
        records, problem = probe(binary)
        found += records
        if problem:
            notes.append(f"skipped {binary}: {problem}")
    notes += [f"skipped {s}" for s in skipped]
    return found


def locate(plugin) -> Tuple[str, int]:
    """The binary path and index of a path or identifier (None: the bundled Zelvo)."""
    if plugin is None:
        if os.path.isdir(bundled_bundle()):
            return bundled_bundle(), 0
        plugin = ZELVO_IDENTIFIER
    wanted = os.fspath(plugin)
    if os.path.exists(wanted):
        return wanted, 0
    problems: List[str] = []
    for record in plugins(problems=problems):
        if record.identifier == wanted:
            return record.path, record.index
    skipped = f"; {len(problems)} unreadable binaries skipped: see zelvo.plugins()" if problems else ""
    raise LoadError(f"plug-in not found: {wanted} (not a path, and not on OFX_PLUGIN_PATH or /usr/OFX/Plugins{skipped})")
