"""The guard on results that grow faster than their inputs (the feature preparers' matrices).

A refused result must be refused before any of it is built, naming its size and the limit
that refused it: the memory available, the address-space or data limit less what the process
already maps, or its cgroup's memory limit less its usage. Each call that could be large runs
in a child process with its own limits, whose peak resident size is read back. What the guard
reads from the system is checked through tests/native/memory_room.cpp on systems laid out in
a temporary directory.
"""
import json
import math
import os
import pathlib
import re
import resource
import subprocess
import sys

import pytest

import vorn_library.vorn_library as vl
from conftest import native_program

GB = 1 << 30
# A sanitizer maps terabytes of shadow memory up front, so no address-space cap can be set under it.
SANITIZED = bool(os.environ.get("VORN_SANITIZE"))
NO_CAP_UNDER_SANITIZER = pytest.mark.skipif(SANITIZED, reason="VORN_SANITIZE: a sanitizer build cannot run "
                                            "under an address-space or data cap")
VALUE_BYTES = 48   # the doubles' flat copy, the list slot and the boxed float, all held at once

# The child's peak resident size is its own memory's high-water mark (VmHWM): ru_maxrss keeps
# the forking parent's (the test runner's) across the exec.
PROBE = r"""
import json, resource, sys
import vorn_library.vorn_library as vl

def peak():
    try:
        with open("/proc/self/status") as f:
            return next(int(line.split()[1]) << 10 for line in f if line.startswith("VmHWM:"))
    except (OSError, StopIteration):
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss << 10

n, lookback = map(int, sys.argv[1:3])
close = [100.0 + (i * 7919 % 101) / 50 for i in range(n)] if len(sys.argv) > 3 else [100.0] * n
atr = [1.0 + (i % 13) / 10 for i in range(n)] if len(sys.argv) > 3 else [1.0] * n
start = peak()
try:
    flat, rows, columns = vl.py_prepare_supertrend_features(close, atr, lookback)
    out = {"rows": rows, "columns": columns, "sum": sum(flat), "head": flat[:3], "tail": flat[-3:]}
except MemoryError as e:
    out = {"refused": str(e)}
out["peak"] = peak()
out["grown"] = out["peak"] - start
print(json.dumps(out))
"""


def in_child(probe, args, address_space=None, data=None):
    """The probe's report from a child process whose RLIMIT_AS / RLIMIT_DATA are capped at the
    given bytes."""
    runner_limits()

    def cap():
        for kind, limit in ((resource.RLIMIT_AS, address_space), (resource.RLIMIT_DATA, data)):
            if limit:
                resource.setrlimit(kind, (limit, limit))

    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(vl.__file__).resolve().parents[1]))
    run = subprocess.run([sys.executable, "-c", probe, *map(str, args)], capture_output=True, text=True, env=env,
                         timeout=120, preexec_fn=cap)
    assert run.returncode == 0, (run.returncode, run.stderr[-2000:])
    return json.loads(run.stdout)


def prepare_in_child(n, lookback, varied=False, address_space=None, data=None):
    """py_prepare_supertrend_features on n bars (flat prices unless varied) in a capped child;
    what it built or its refusal."""
    return in_child(PROBE, [n, lookback] + (["varied"] if varied else []), address_space, data)


def runner_limits():
    """Skips where the runner limits its own address space or data (ulimit -v, -d): the child
    would inherit the limit, which may be tighter than the cap a test sets or stands for."""
    for kind, name in ((resource.RLIMIT_AS, "RLIMIT_AS"), (resource.RLIMIT_DATA, "RLIMIT_DATA")):
        if resource.getrlimit(kind)[0] != resource.RLIM_INFINITY:
            pytest.skip(f"the runner sets its own {name}, which the child would inherit")


def available_memory():
    try:
        with open("/proc/meminfo") as f:
            return next(int(line.split()[1]) << 10 for line in f if line.startswith("MemAvailable:"))
    except (OSError, StopIteration):
        return None


def refusal(values, limit):
    """A refusal's text up to the room it names."""
    return f"Result too large for memory: {values} values need {VALUE_BYTES * values} bytes, {limit} "


def room_named(message, values, limit):
    """The room a refusal of that size by that limit names; fails on any other text."""
    head = refusal(values, limit)
    assert message.startswith(head), message
    return int(message[len(head):])


def needs_memory(bytes_):
    have = available_memory()
    if have is None or have < bytes_:
        pytest.skip(f"the machine must have {bytes_ >> 20} MB available for the cap to be the tighter limit")


# The case the guard was built for: 23617 rows of 32766 lagged values, 37 GB at its peak.
GUARDED_VALUES = (40000 - 16383) * 2 * 16383
CAP_LIMIT = "the address-space limit (RLIMIT_AS) leaves"
DATA_LIMIT = "the data limit (RLIMIT_DATA) leaves"


@NO_CAP_UNDER_SANITIZER
def test_the_long_lookback_is_refused_at_once_under_an_address_space_cap():
    # Estimated at 32 bytes a value it passed for less than the machine: in a child capped at
    # 8 GB it then built several GB and failed with a bare MemoryError.
    needs_memory(9 * GB)
    out = prepare_in_child(40000, 16383, address_space=8 * GB)
    assert 0 < room_named(out.get("refused", ""), GUARDED_VALUES, CAP_LIMIT) < 8 * GB
    assert out["peak"] < 100 << 20


def test_the_long_lookback_is_refused_at_once_without_a_cap():
    # Unrefused it asks for 37 GB, and the out-of-memory killer ends the process. Where the
    # machine has that much to spare the guard rightly lets it through, and building it is no
    # test.
    machine = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
    if (available_memory() or machine) >= VALUE_BYTES * GUARDED_VALUES:
        pytest.skip(f"the machine has the {VALUE_BYTES * GUARDED_VALUES >> 20} MB available, so nothing "
                    "should refuse the result")
    out = prepare_in_child(40000, 16383)
    message = out.get("refused", "")
    named = [limit for limit in ("the memory available is", "the machine has", "the container's memory limit leaves")
             if message.startswith(refusal(GUARDED_VALUES, limit))]
    assert len(named) == 1, message
    assert room_named(message, GUARDED_VALUES, named[0]) < VALUE_BYTES * GUARDED_VALUES
    if not SANITIZED:   # the sanitizer's shadow memory is resident too
        assert out["peak"] < 100 << 20


# 30000 rows of 2000 values: 2.9 GB at its peak, more than either cap, far less than the machine.
FEW_GB = (31000, 1000)
FEW_GB_VALUES = 30000 * 2000


@NO_CAP_UNDER_SANITIZER
@pytest.mark.parametrize("cap, limit", [(dict(address_space=GB), CAP_LIMIT), (dict(data=GB), DATA_LIMIT)],
                         ids=["RLIMIT_AS", "RLIMIT_DATA"])
def test_a_result_that_fits_the_machine_but_not_the_cap_is_refused_by_the_cap(cap, limit):
    needs_memory(2 * VALUE_BYTES * FEW_GB_VALUES)
    out = prepare_in_child(*FEW_GB, **cap)
    assert 0 < room_named(out.get("refused", ""), FEW_GB_VALUES, limit) < GB
    assert out["peak"] < 100 << 20


@NO_CAP_UNDER_SANITIZER
@pytest.mark.parametrize("n, lookback", [(40, 3), (5500, 500)], ids=["small", "large-enough-to-be-measured"])
def test_a_result_that_fits_the_cap_is_built_as_without_it(n, lookback):
    # 5 million values (240 MB at the peak) are measured against the limits, then built; the
    # peak they reach is what the guard counts them at.
    capped = prepare_in_child(n, lookback, varied=True, address_space=2 * GB)
    plain = prepare_in_child(n, lookback, varied=True)
    assert "refused" not in capped, capped
    assert (capped["rows"], capped["columns"]) == (n - lookback, 2 * lookback)
    for key in ("rows", "columns", "sum", "head", "tail"):
        assert capped[key] == plain[key]
    values = capped["rows"] * capped["columns"]
    if values > 1_000_000:
        assert 40 * values < capped["grown"] <= VALUE_BYTES * values * 1.05


# The trainers: a fit on a long look-back holds its rows, their centred copy and (ridge) two
# squares of its width, far more than the series. Each call is written against bars of n.
TRAIN_PROBE = PROBE[:PROBE.index("n, lookback")] + r"""
import math, time
call, n = sys.argv[1], int(sys.argv[2])
close = [100.0 + 10 * math.sin(i / 50) + (i * 7919 % 101) / 50 for i in range(n)]
high, low = [c + 1.0 + (i % 5) / 4 for i, c in enumerate(close)], [c - 1.0 for c in close]
atr, rsi = vl.py_atr(high, low, close, 14), vl.py_rsi(close, 14)
start, began = peak(), time.perf_counter()
try:
    result = eval(call)
    out = {"result": result.predict([0.1] * result.features_dim(), 1) if hasattr(result, "predict") else result}
except MemoryError as e:
    out = {"refused": str(e)}
out["seconds"] = time.perf_counter() - began
out["peak"] = peak()
out["grown"] = out["peak"] - start
print(json.dumps(out))
"""

# (call, n, rows fitted, width): each fit holds more than a 1 GB cap allows.
OVERSIZED_FITS = {
    "supertrend-ridge": ("vl.py_train_supertrend_model(close, atr, 20000, 4000, True)", 20000, 16000, 8000),
    "momentum": ("vl.py_train_momentum_model(rsi, 20000, 4000)", 24000, 20000, 4000),
    "ai-supertrend-ridge": ('vl.py_ai_supertrend_ml(high, low, close, 10, 3.0, "ridge", 4000, 8000)',
                            12000, 8000, 8000),
    "ai-momentum-polynomial": ("vl.py_ai_momentum_index_ml(close, 14, 3, True, 100, 20000)", 20100, 20000, 5150),
}
TRAINING = r"Training too large for memory: (\d+) values need (\d+) bytes, {} (\d+)"


@NO_CAP_UNDER_SANITIZER
@pytest.mark.parametrize("cap, limit", [(dict(address_space=GB), CAP_LIMIT), (dict(data=GB), DATA_LIMIT)],
                         ids=["RLIMIT_AS", "RLIMIT_DATA"])
@pytest.mark.parametrize("call, n, rows, width", list(OVERSIZED_FITS.values()), ids=list(OVERSIZED_FITS))
def test_a_fit_the_cap_cannot_hold_is_refused_before_it_is_built(call, n, rows, width, cap, limit):
    # Unrefused, each built GBs over tens of seconds and failed with a bare MemoryError.
    out = in_child(TRAIN_PROBE, [call, n], **cap)
    match = re.fullmatch(TRAINING.format(re.escape(limit)), out.get("refused", ""))
    assert match, out
    values, need, room = map(int, match.groups())
    assert need == 8 * values and values >= 2 * rows * width   # at least the rows and their centred copy
    assert 0 < room < GB < need
    assert out["seconds"] < 1 and out["peak"] < 100 << 20


@NO_CAP_UNDER_SANITIZER
def test_a_fit_that_fits_the_cap_is_built_as_without_it():
    # 3000 rows of 600 columns, ridge: 35 MB counted, enough to be measured against the
    # limits; what the fit reaches at its peak stays within what was counted.
    call = "vl.py_train_supertrend_model(close, atr, 3000, 300, True)"
    capped, plain = in_child(TRAIN_PROBE, [call, 3300], address_space=GB), in_child(TRAIN_PROBE, [call, 3300])
    assert capped["result"] == plain["result"] and all(map(math.isfinite, capped["result"]))
    counted = 8 * (2 * 3000 * 600 + 2 * 3000 + 8 * 600 + 600 * 600 + 600 * 601)
    assert counted > 32 << 20
    assert 0.6 * counted < capped["grown"] <= 1.05 * counted


# Systems laid out under a directory, and the room memory_room() finds there. Sizes in bytes;
# /proc files count kB.
MEMINFO = "MemTotal:        4000000 kB\nMemFree:         2000000 kB\nMemAvailable:    1000000 kB\n"
AVAILABLE = "1024000000 the memory available is"
V2_MOUNT = "30 23 0:26 / /sys/fs/cgroup rw,nosuid,relatime shared:4 - cgroup2 cgroup2 rw,nsdelegate\n"
V1_MOUNTS = ("35 31 0:32 /docker/abc /sys/fs/cgroup/cpu,cpuacct ro,nosuid - cgroup cgroup rw,cpu,cpuacct\n"
             "36 31 0:33 /docker/abc /sys/fs/cgroup/memory ro,nosuid - cgroup cgroup rw,memory\n")
V1_CGROUP = "5:cpu,cpuacct:/docker/abc\n4:memory:/docker/abc\n0::/\n"
V1_DIR = "sys/fs/cgroup/memory/"

SYSTEMS = {
    "available": ({"proc/meminfo": MEMINFO}, AVAILABLE),
    # A path in mountinfo writes a space as \040 and a backslash as \134 (systemd writes the
    # '-' of a unit's name as \x2d): read raw, no mount would hold the cgroup and the 1 GB
    # available would stand.
    "v2-mount-point-with-a-space": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/job\n",
                                     "proc/self/mountinfo": V2_MOUNT.replace("/sys/fs/cgroup", "/sys/fs/my\\040cgroup"),
                                     "sys/fs/my cgroup/job/memory.max": "10000000\n",
                                     "sys/fs/my cgroup/job/memory.current": "0\n"},
                                    "10000000 the container's memory limit leaves"),
    "v1-root-with-a-space": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "4:memory:/my pod/c\n",
                              "proc/self/mountinfo": V1_MOUNTS.replace("/docker/abc", "/my\\040pod/c"),
                              V1_DIR + "memory.limit_in_bytes": "40000000\n", V1_DIR + "memory.usage_in_bytes": "0\n"},
                             "40000000 the container's memory limit leaves"),
    "nspawn-machine": ({"proc/meminfo": MEMINFO,
                        "proc/self/cgroup": "4:memory:/machine.slice/machine-my\\x2dbox.scope/payload\n",
                        "proc/self/mountinfo": V1_MOUNTS.replace("/docker/abc",
                                                                 "/machine.slice/machine-my\\134x2dbox.scope"),
                        V1_DIR + "payload/memory.limit_in_bytes": "30000000\n",
                        V1_DIR + "payload/memory.usage_in_bytes": "1000000\n",
                        V1_DIR + "memory.limit_in_bytes": "80000000\n", V1_DIR + "memory.usage_in_bytes": "0\n"},
                       "29000000 the container's memory limit leaves"),
    # An escape that ends a field is decoded as any other: the mount point's, the root's.
    "v2-mount-point-ending-in-an-escape": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/job\n",
                                            "proc/self/mountinfo": V2_MOUNT.replace("/sys/fs/cgroup", "/sys/fs/cgroup\\040"),
                                            "sys/fs/cgroup /job/memory.max": "10000000\n",
                                            "sys/fs/cgroup /job/memory.current": "0\n"},
                                           "10000000 the container's memory limit leaves"),
    "v1-root-ending-in-an-escape": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "4:memory:/pod /c\n",
                                     "proc/self/mountinfo": V1_MOUNTS.replace("/docker/abc", "/pod\\040"),
                                     V1_DIR + "c/memory.limit_in_bytes": "40000000\n",
                                     V1_DIR + "c/memory.usage_in_bytes": "0\n"},
                                    "40000000 the container's memory limit leaves"),
    # The limits are given, not read from the runner: each less what the process already maps.
    "address-space-limit": ({"proc/meminfo": MEMINFO, "proc/self/status": "VmSize:\t  100000 kB\nVmData:  50000 kB\n"},
                            "397600000 the address-space limit (RLIMIT_AS) leaves", (500_000_000, None)),
    "data-limit": ({"proc/meminfo": MEMINFO, "proc/self/status": "VmSize:\t  100000 kB\nVmData:  50000 kB\n"},
                   "248800000 the data limit (RLIMIT_DATA) leaves", (500_000_000, 300_000_000)),
    "limits-above-what-is-available": ({"proc/meminfo": MEMINFO}, AVAILABLE, (2_000_000_000, 3_000_000_000)),
    # The job's own cgroup has no limit; its parent's 50 MB less 30 MB used, of which 4 MB are
    # inactive file cache, leave 24 MB.
    "v2-ancestor": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/app/job\n", "proc/self/mountinfo": V2_MOUNT,
                     "sys/fs/cgroup/app/job/memory.max": "max\n", "sys/fs/cgroup/app/job/memory.current": "5000000\n",
                     "sys/fs/cgroup/app/memory.max": "50000000\n", "sys/fs/cgroup/app/memory.current": "30000000\n",
                     "sys/fs/cgroup/app/memory.stat": "anon 1\ninactive_file 4000000\nactive_file 5\n"},
                    "24000000 the container's memory limit leaves"),
    # Both levels limited: the tighter one counts, here the job's (10 MB less 9 MB).
    "v2-own": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/app/job\n", "proc/self/mountinfo": V2_MOUNT,
                "sys/fs/cgroup/app/job/memory.max": "10000000\n", "sys/fs/cgroup/app/job/memory.current": "9000000\n",
                "sys/fs/cgroup/app/memory.max": "50000000\n", "sys/fs/cgroup/app/memory.current": "30000000\n"},
               "1000000 the container's memory limit leaves"),
    "v2-over-its-limit": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/job\n", "proc/self/mountinfo": V2_MOUNT,
                           "sys/fs/cgroup/job/memory.max": "1000\n", "sys/fs/cgroup/job/memory.current": "5000\n"},
                          "0 the container's memory limit leaves"),
    # A container's view: the mount shows the hierarchy from the container's own cgroup, whose
    # usage counts the hierarchy's inactive cache (total_), not its own.
    "v1-namespaced": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": V1_CGROUP, "proc/self/mountinfo": V1_MOUNTS,
                       V1_DIR + "memory.limit_in_bytes": "300000000\n", V1_DIR + "memory.usage_in_bytes": "250000000\n",
                       V1_DIR + "memory.stat": "cache 1\ninactive_file 9\ntotal_inactive_file 20000000\n"},
                      "70000000 the container's memory limit leaves"),
    "v1-unlimited": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": V1_CGROUP, "proc/self/mountinfo": V1_MOUNTS,
                      V1_DIR + "memory.limit_in_bytes": "9223372036854771712\n",
                      V1_DIR + "memory.usage_in_bytes": "250000000\n"}, AVAILABLE),
    # The cgroup is not below the mount's root ("/do" is no parent of "/docker"): not its limit.
    "v1-elsewhere": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": V1_CGROUP,
                      "proc/self/mountinfo": V1_MOUNTS.replace("/docker/abc /sys/fs/cgroup/memory", "/do /sys/fs/cgroup/memory"),
                      V1_DIR + "memory.limit_in_bytes": "1000\n"}, AVAILABLE),
    # An overlong line (an overlay mount's layers) whose part past the line buffer (4095
    # characters) would read as a cgroup2 mount.
    "overlong-mount-line": ({"proc/meminfo": MEMINFO, "proc/self/cgroup": "0::/job\n",
                             "proc/self/mountinfo": "1 0 0:1 / / rw - overlay overlay lowerdir=".ljust(4095, "x")
                             + "9 9 0:9 / /wrong rw - cgroup2 cgroup2 rw\n" + V2_MOUNT,
                             "wrong/job/memory.max": "7\n",
                             "sys/fs/cgroup/job/memory.max": "20000000\n", "sys/fs/cgroup/job/memory.current": "0\n"},
                            "20000000 the container's memory limit leaves"),
}


def room_of(root, limits=(None, None)):
    """memory_room() of a system laid out under root, under the given RLIMIT_AS and RLIMIT_DATA
    (None: not set), whatever limits this process runs under."""
    fields = [str(root)] + ["-" if limit is None else str(limit) for limit in limits]
    return native_program("memory_room")("\t".join(fields))


@pytest.mark.parametrize("system", list(SYSTEMS.values()), ids=list(SYSTEMS))
def test_the_room_is_the_least_any_limit_leaves(tmp_path, system):
    files, want, *limits = system
    for name, text in files.items():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(text)
    assert room_of(tmp_path, *limits) == [want]


def test_without_memory_available_the_machine_bounds_it(tmp_path):
    # Before MemAvailable (Linux 3.14), and on systems without /proc, the machine's memory.
    (tmp_path / "proc").mkdir()
    (tmp_path / "proc/meminfo").write_text("MemTotal:  4000000 kB\nMemFree:  2000000 kB\n")
    machine = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
    for root in (tmp_path, tmp_path / "nothing"):
        assert room_of(root) == [f"{machine} the machine has"]
