#!/usr/bin/env python3
"""The Ansible module over real SSH, as IT runs it on a lab's Macs: five
simulated machines (see fleet.py), and the plays a deployment goes through.

  fleet_test.py APP BUNDLE_TOOL          the suite's case
  fleet_test.py APP BUNDLE_TOOL --bench N...   one install play over N machines, for each N
"""

import subprocess
import sys
import time

from fleet import NEWER, Fleet, recap, results

INSTALL = "    - nimbra_setup: {installer: '{{ installer }}', state: present, wait: 3}\n"
UNINSTALL = "    - nimbra_setup: {installer: '{{ installer }}', state: absent, wait: 3}\n"
problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


def eventually(condition, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def installed(fleet, name):
    manifest = fleet.home(name) / "Library/Application Support/McNeel/Rhinoceros/packages/8.0/nimbra/manifest.txt"
    return manifest.exists() and manifest.read_text().strip() != NEWER


def first_and_second_play(fleet):
    rhino = fleet.rhinos("rhino")
    first, _ = fleet.play(INSTALL)
    done, counts = results(first), recap(first)
    for name in ("quiet", "rhino", "plain"):
        expect(counts[name] == (1, 1, 0), "first play, %s: recap %s, not changed" % (name, counts[name]))
        expect(done[name].get("outcome") == "installed" and installed(fleet, name), "first play, %s: not installed" % name)
    expect(eventually(lambda: fleet.rhinos("rhino") and fleet.rhinos("rhino") != rhino),
           "first play: the Rhino asked to quit was not opened again")
    expect(counts["newer"] == (0, 0, 1) and done["newer"].get("msg") == "A newer Nimbra version is already installed for Rhino 8.",
           "first play, a refusal: %s %s" % (counts["newer"], done["newer"].get("msg")))
    busy = done["busy"]
    expect(counts["busy"] == (0, 0, 1) and busy.get("outcome") == "rhino-running" and busy.get("exit_status") == 3,
           "first play, the Rhino that will not quit: %s %s" % (counts["busy"], busy.get("outcome")))
    expect("Still running after the wait" in busy.get("msg", "") and "run the play again" in busy.get("msg", ""),
           "first play, the Rhino that will not quit: says not why or how to retry: " + busy.get("msg", ""))
    expect(not installed(fleet, "busy") and len(fleet.rhinos("busy")) == 1, "first play: the busy machine was changed")

    second, _ = fleet.play(INSTALL)
    counts = recap(second)
    for name in ("quiet", "rhino", "plain", "newer", "busy"):
        expect(counts[name][1] == 0, "second play, %s: changed=%d" % (name, counts[name][1]))
    for name in ("quiet", "rhino", "plain"):
        expect(counts[name] == (1, 0, 0), "second play, %s: recap %s" % (name, counts[name]))


def check_mode(fleet):
    removed, _ = fleet.play(UNINSTALL, limit="quiet")
    expect(recap(removed)["quiet"] == (1, 1, 0) and not installed(fleet, "quiet"), "uninstall on quiet: not changed")
    checked, _ = fleet.play(INSTALL, "--check", "--diff")
    done, counts = results(checked), recap(checked)
    expect(counts["quiet"] == (1, 1, 0) and not installed(fleet, "quiet"), "check mode, quiet: %s, or it installed" % (counts["quiet"],))
    diff = done["quiet"].get("diff", {})
    expect(diff.get("before") == "Rhino 7: not installed\nRhino 8: not installed\n" and
           diff.get("after", "").count(": not installed") == 0, "check mode, quiet: diff %s" % diff)
    expect(counts["plain"] == (1, 0, 0), "check mode, plain: %s" % (counts["plain"],))
    expect(counts["newer"][2] == 1, "check mode, newer: not a failure")
    restore, _ = fleet.play(INSTALL.replace("present", "restored"), "--check", limit="quiet,plain")
    counts = recap(restore)
    expect(counts["quiet"] == (1, 1, 0) and not installed(fleet, "quiet"), "check mode, restore on quiet: %s" % (counts["quiet"],))
    expect(counts["plain"] == (1, 0, 0), "check mode, restore on plain (a fresh install): %s" % (counts["plain"],))


def nothing_left(fleet_folder):
    left = subprocess.run(["pgrep", "-af", fleet_folder], capture_output=True, text=True).stdout
    left += subprocess.run(["pgrep", "-af", "sshd -D -e -f /tmp/nimbra-fleet-"], capture_output=True, text=True).stdout
    expect(not left.strip(), "left running: " + left)


def test(app, tool):
    machines = {"quiet": "", "rhino": "quits", "plain": "", "newer": "newer", "busy": "refuses"}
    with Fleet(app, tool, machines) as fleet:
        first_and_second_play(fleet)
        check_mode(fleet)
        folder = str(fleet.folder)
    nothing_left(folder)
    for problem in problems:
        print("FAIL: " + problem)
    print("fleet over SSH: %d machines, %s" % (len(machines), "passed" if not problems else "%d problems" % len(problems)))
    return 1 if problems else 0


def bench(app, tool, counts):
    print("machines  seconds  per machine  recap")
    for count in counts:
        machines = {"m%02d" % i: "quits" if i % 4 == 0 else "" for i in range(1, count + 1)}
        with Fleet(app, tool, machines) as fleet:
            document, seconds = fleet.play(INSTALL)
            totals = [sum(values) for values in zip(*recap(document).values())]
        print("%8d  %7.1f  %11.2f  ok=%d changed=%d failed=%d" % (count, seconds, seconds / count, *totals))
    return 0


def missing():
    """Why the fleet cannot run here, if it cannot."""
    import os
    import shutil
    if os.geteuid() != 0:
        return "the machines need root (mount and process-list namespaces, an SSH server per machine)"
    for tool in ("ansible-playbook", "ssh", "ssh-keygen", "/usr/sbin/sshd", "unshare", "nsenter", "pgrep"):
        if shutil.which(tool) is None:
            return tool + " is not installed (scripts/setup installs it)"
    return None


if __name__ == "__main__":
    if missing():
        print("SKIP: " + missing())
        sys.exit(77)
    if len(sys.argv) > 3 and sys.argv[3] == "--bench":
        sys.exit(bench(sys.argv[1], sys.argv[2], [int(n) for n in sys.argv[4:]]))
    sys.exit(test(sys.argv[1], sys.argv[2]))
