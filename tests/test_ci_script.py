"""CI's apt helpers (.ci/apt-get-waiting, .ci/arm64-python) under stand-ins for apt and dpkg."""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import time

import pytest

CI = pathlib.Path(__file__).resolve().parents[1] / ".ci"
pytestmark = pytest.mark.skipif(shutil.which("apt-config") is None or not os.path.exists("/proc/locks"),
                                reason="needs apt's configuration reader and /proc/locks")

# One stand-in for apt-get, apt-cache and dpkg: it logs each call and answers from archive.json
# (the arm64 packages and their dependencies, the sources' sites, apt-get's failures in turn).
SHIM = r'''
import json, os, pathlib, sys
here = pathlib.Path(__file__).parent
archive = json.loads((here / "archive.json").read_text())
tool, argv, args, opts = sys.argv[1], iter(sys.argv[2:]), [], {}
for a in argv:
    if a == "-o":
        opts.update([next(argv).split("=", 1)])
    elif not a.startswith("-"):
        args.append(a)
with open(here / "calls.jsonl", "a") as log:
    log.write(json.dumps(sys.argv[1:]) + "\n")
if tool == "dpkg":  # -x DEB DIR: a stand-in .deb lists the files it holds
    for f in (pathlib.Path(args[1]) / p for p in pathlib.Path(args[0]).read_text().split()):
        f.parent.mkdir(parents=True, exist_ok=True)
        f.touch(0o755)
elif args[0] == "indextargets":
    print("\n".join(archive["sites"]))
elif args[0] == "update":
    if "Dir::Etc::SourceList" in opts:
        (here / "sources.list").write_text(pathlib.Path(opts["Dir::Etc::SourceList"]).read_text())
elif args[0] in ("show", "policy", "download"):
    pkgs = archive["packages"]
    for name in (a for a in args[1:] if a in pkgs):
        if args[0] == "show":
            print(f"Package: {name}\nDepends: {pkgs[name]}\n")
        elif args[0] == "policy":
            print(f"{name}:\n  Installed: (none)\n  Candidate: 1.0\n")
        else:
            pathlib.Path(f"{name}_1.0_arm64.deb").write_text(archive["files"].get(name, ""))
    sys.exit(100 if any(a not in pkgs for a in args[1:]) else 0)
failures = archive.get("failures", [])
if failures:
    archive["failures"] = failures[1:]
    (here / "archive.json").write_text(json.dumps(archive))
    print(failures[0], file=sys.stderr)
    sys.exit(100)
'''


@pytest.fixture
def apt(tmp_path):
    """Stand-ins on PATH, and an apt configuration whose lock files are in tmp_path."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    (bin_dir / "shim.py").write_text(SHIM)
    for tool in ("apt-get", "apt-cache", "dpkg"):
        (bin_dir / tool).write_text(f"#!/bin/sh\nexec {sys.executable} -S {bin_dir}/shim.py {tool} \"$@\"\n")
        (bin_dir / tool).chmod(0o755)
    (tmp_path / "apt.conf").write_text(
        f'Dir::State::status "{tmp_path}/dpkg/status";\nDir::State::lists "{tmp_path}/lists/";\n'
        f'Dir::Cache::archives "{tmp_path}/archives/";\n')
    for lock in ("dpkg/lock-frontend", "dpkg/lock", "lists/lock", "archives/lock"):
        (tmp_path / lock).parent.mkdir(exist_ok=True)
        (tmp_path / lock).touch()
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", APT_CONFIG=str(tmp_path / "apt.conf"),
               VORN_APT_WAIT="30", TMPDIR=str(tmp_path))

    def run(script, *args, archive=None, **extra):
        (bin_dir / "archive.json").write_text(json.dumps(archive or {}))
        return subprocess.Popen([str(CI / script), *args], env=dict(env, **extra), text=True,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def calls():
        log = bin_dir / "calls.jsonl"
        return [json.loads(line) for line in log.read_text().splitlines()] if log.exists() else []
    return run, calls


def hold(path, kind):
    """A process holding PATH's lock, as apt does (lockf: fcntl) or as flock(1) does."""
    holder = subprocess.Popen([sys.executable, "-c", f"import fcntl, time; f = open({str(path)!r}, 'a'); "
                               f"fcntl.{kind}(f, fcntl.LOCK_EX); print(flush=True); time.sleep(60)"],
                              stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    return holder


@pytest.mark.parametrize("lock, kind", [("lists/lock", "lockf"), ("dpkg/lock-frontend", "lockf"),
                                        ("dpkg/lock", "flock"), ("archives/lock", "flock")])
def test_apt_waits_for_a_held_lock(apt, tmp_path, lock, kind):
    run, calls = apt
    holder = hold(tmp_path / lock, kind)
    waiting = run("apt-get-waiting", "update")
    time.sleep(0.6)
    assert waiting.poll() is None and calls() == []
    holder.kill()
    holder.wait()
    out, err = waiting.communicate(timeout=10)
    assert waiting.returncode == 0, err
    assert str(tmp_path / lock) in err and f"process {holder.pid}" in err
    assert calls() == [["apt-get", "-o", "DPkg::Lock::Timeout=30", "-o", "Acquire::Retries=3", "update"]]


# stat(1) as it would answer for the same inode on another device, one whose number differs in
# bit 8 of its major or minor: /proc/locks names a device by both, of up to 12 and 20 bits (an
# NVMe disk's major is 259), and a lock there is not this file's.
OTHER_DEVICE_STAT = r'''
import os, sys
st = os.stat(sys.argv[-1])
print(os.makedev(os.major(st.st_dev) ^ {major}, os.minor(st.st_dev) ^ {minor}), st.st_ino)
'''


@pytest.mark.parametrize("major, minor", [(0x100, 0), (0, 0x100)], ids=["major", "minor"])
def test_a_lock_on_another_device_is_not_waited_for(apt, tmp_path, major, minor):
    run, calls = apt
    (tmp_path / "bin/stat.py").write_text(OTHER_DEVICE_STAT.format(major=major, minor=minor))
    (tmp_path / "bin/stat").write_text(f"#!/bin/sh\nexec {sys.executable} -S {tmp_path}/bin/stat.py \"$@\"\n")
    (tmp_path / "bin/stat").chmod(0o755)
    holder = hold(tmp_path / "lists/lock", "lockf")
    try:
        out, err = run("apt-get-waiting", "update", VORN_APT_WAIT="1").communicate(timeout=10)
    finally:
        holder.kill()
    assert "busy" not in err
    assert calls() == [["apt-get", "-o", "DPkg::Lock::Timeout=1", "-o", "Acquire::Retries=3", "update"]]


def test_apt_gives_up_naming_the_holder(apt, tmp_path):
    run, calls = apt
    holder = hold(tmp_path / "lists/lock", "lockf")
    try:
        out, err = run("apt-get-waiting", "update", VORN_APT_WAIT="1").communicate(timeout=10)
    finally:
        holder.kill()
    assert "still busy" in err and f"lists/lock (process {holder.pid} python" in err
    assert calls() == []


@pytest.mark.parametrize("failures, runs, status", [
    (["E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1"], 2, 0),
    (["E: Could not get lock x"] * 3, 3, 100),
    (["E: Unable to locate package nonesuch"], 1, 100)])
def test_apt_runs_again_only_after_losing_a_lock(apt, failures, runs, status):
    run, calls = apt
    waiting = run("apt-get-waiting", "install", "x", archive={"failures": failures})
    waiting.communicate(timeout=10)
    assert (len(calls()), waiting.returncode) == (runs, status)


def python_archive(version, ssl):
    # Debian 13's libc6 has its loader under a merged /usr only; Debian 12's under /lib.
    loader = "usr/lib/ld-linux-aarch64.so.1" if version >= 13 else "lib/ld-linux-aarch64.so.1"
    return {"sites": ["http://deb.debian.org/debian trixie main"],
            "files": {f"python3.{version}-minimal": f"usr/bin/python3.{version}", "libc6": loader}, "packages": {
        "python3-minimal": f"python3.{version}-minimal (>= 3.{version}.1), dpkg (>= 1.13.20)",
        f"python3.{version}-minimal": f"libpython3.{version}-minimal (= 3.{version}.1), libexpat1 (>= 2.1~beta3), zlib1g",
        f"libpython3.{version}-minimal": f"libc6 (>= 2.36), {ssl} (>= 3.0.0)",
        f"libpython3.{version}-stdlib": "media-types | mime-support, libffi8 (>= 3.4), libc6:any, tzdata",
        f"libpython3.{version}-dev": f"libexpat1-dev, libpython3.{version}-stdlib",
        "libstdc++6": "gcc-14-base (= 14.2.0-19), libc6 (>= 2.38), libgcc-s1 (>= 4.2)",
        ssl: "libc6, libzstd1 (>= 1.5.5)", "tzdata": "debconf (>= 0.5) | debconf-2.0", "debconf": "perl-base",
        **{p: "" for p in ("libc6", "libzstd1", "libexpat1", "zlib1g", "libffi8", "media-types", "gcc-14-base",
                           "libgcc-s1", "dpkg", "perl-base")}}}


@pytest.mark.parametrize("version, ssl", [(11, "libssl3"), (13, "libssl3t64")])
def test_the_arm64_python_is_what_the_sources_hold(apt, tmp_path, version, ssl):
    run, calls = apt
    sysroot = tmp_path / "cache" / "aarch64-python"
    (sysroot / "usr/bin").mkdir(parents=True)
    (sysroot / "stale").touch()  # a tree left by a run that stopped half-way
    out, err = run("arm64-python", str(sysroot), archive=python_archive(version, ssl)).communicate(timeout=30)
    assert out == f"{sysroot}/usr/bin/python3.{version}\n", err
    download = next(c for c in calls() if "download" in c)
    assert sorted(download[download.index("download") + 1:]) == sorted(
        [f"python3.{version}-minimal", f"libpython3.{version}-minimal", f"libpython3.{version}-stdlib",
         f"libpython3.{version}-dev", "libstdc++6", "libc6", ssl, "libzstd1", "libexpat1", "zlib1g", "libffi8",
         "media-types", "tzdata", "gcc-14-base", "libgcc-s1"])
    assert (sysroot / "lib/ld-linux-aarch64.so.1").is_file() and not (sysroot / "stale").exists()
    assert [p.name for p in sysroot.parent.iterdir()] == [sysroot.name]
    assert all("APT::Architecture=arm64" in c for c in calls() if c[0] != "dpkg" and "indextargets" not in c)


def test_a_missing_arm64_package_is_named_and_the_old_tree_kept(apt, tmp_path):
    run, calls = apt
    archive = python_archive(13, "libssl3t64")
    del archive["packages"]["libffi8"], archive["packages"]["zlib1g"]
    (tmp_path / "sysroot").mkdir()
    out, err = run("arm64-python", str(tmp_path / "sysroot"), archive=archive).communicate(timeout=30)
    assert "sources hold no arm64 libffi8 zlib1g (wanted for python3.13)" in err
    assert not any("download" in c for c in calls()) and os.listdir(tmp_path / "sysroot") == []


def test_ubuntu_arm64_comes_from_the_ports_archive(apt, tmp_path):
    run, calls = apt
    archive = python_archive(12, "libssl3t64")
    archive["sites"] = ["http://archive.ubuntu.com/ubuntu noble main", "http://security.ubuntu.com/ubuntu noble-security main",
                        "http://fr.archive.ubuntu.com/ubuntu/ noble universe", "https://ppa.launchpadcontent.net/x/y/ubuntu noble main"]
    out, err = run("arm64-python", str(tmp_path / "sysroot"), archive=archive).communicate(timeout=30)
    assert out.endswith("/usr/bin/python3.12\n"), err
    assert (tmp_path / "bin/sources.list").read_text().splitlines() == [
        f"deb [signed-by=/usr/share/keyrings/ubuntu-archive-keyring.gpg] http://ports.ubuntu.com/ubuntu-ports {s}"
        for s in ("noble main", "noble universe", "noble-security main")]
