#!/usr/bin/env python3
"""Simulated Macs on this machine, driven by Ansible over real SSH.

Each machine is a process list and mounts of its own (unshare): root's home is
the machine's own folder, with Rhino 7 and 8 in its Applications, and its own
SSH server listens on a loopback address of its own (127.0.0.N). Rhinos that
run on a machine are started in its process list before its SSH server, so
the installer an SSH session runs sees them and no other machine's.

  fleet.py test  APP BUNDLE_TOOL       the suite's case: five machines, the plays
  fleet.py bench APP BUNDLE_TOOL N...  one play over N machines, for each N

Root only. Everything started is stopped at the end, whatever happens.
"""

import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
LIBRARY = HERE.parent.parent / "deploy" / "ansible" / "library"
PORT = 2222
NEWER = "99.0.0"


class Fleet:
    """machines: name -> what runs there: "quits" (a Rhino 8 that quits when
    asked), "refuses" (one that takes an hour to quit), "newer" (a newer
    Nimbra installed for Rhino 8) or "" (no Rhino running)."""

    def __init__(self, app, bundle_tool, machines):
        self.app, self.bundle_tool, self.machines = app, bundle_tool, machines
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="nimbra-fleet-"))
        self.processes = []

    def __enter__(self):
        try:
            self._keys()
            for index, (name, kind) in enumerate(self.machines.items()):
                self._start(name, kind, index)
            self._inventory()
            self._wait_for_servers()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *_):
        for process in self.processes:
            if process.poll() is None:
                process.kill()  # the machine's first process: its whole process list ends with it
        for process in self.processes:
            process.wait()
        subprocess.run(["pkill", "-f", str(self.folder)], check=False)
        shutil.rmtree(self.folder, ignore_errors=True)

    def home(self, name):
        return self.folder / name / "root"

    def address(self, index):
        return "127.0.0.%d" % (10 + index)

    def _keys(self):
        for key in ("client", "host"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", str(self.folder / key)], check=True)
        pathlib.Path("/run/sshd").mkdir(mode=0o755, exist_ok=True)

    def _start(self, name, kind, index):
        home = self.home(name)
        (home / ".ssh").mkdir(parents=True)
        shutil.copy(self.folder / "client.pub", home / ".ssh" / "authorized_keys")
        for major in (7, 8):
            delay = ["3600"] if kind == "refuses" and major == 8 else []
            subprocess.run([self.bundle_tool, str(home / "Applications" / ("Rhino %d.app" % major)), str(major)] + delay,
                           check=True)
        if kind == "newer":
            destination = home / "Library/Application Support/McNeel/Rhinoceros/packages/8.0/nimbra"
            (destination / NEWER).mkdir(parents=True)
            (destination / "manifest.txt").write_text(NEWER + "\n")
        config = self.folder / name / "sshd_config"
        config.write_text("\n".join([
            "ListenAddress %s:%d" % (self.address(index), PORT),
            "HostKey %s" % (self.folder / "host"),
            "PermitRootLogin prohibit-password", "PasswordAuthentication no", "KbdInteractiveAuthentication no",
            "UsePAM no", "StrictModes no", "PidFile none", "LogLevel ERROR", "MaxStartups 200", "MaxSessions 50",
            "AuthorizedKeysFile /root/.ssh/authorized_keys", "Subsystem sftp internal-sftp", ""]))
        rhino = "'/root/Applications/Rhino 8.app/Contents/MacOS/Rhinoceros' &" if kind in ("quits", "refuses") else ""
        # The machine's first process: its own root home, its Rhino, its SSH
        # server; it reaps whatever is left to it.
        script = ("mount --bind '%s' /root && %s /usr/sbin/sshd -D -e -f '%s' & while wait; do :; done"
                  % (home, rhino, config))
        self.processes.append(subprocess.Popen(
            ["unshare", "--pid", "--fork", "--kill-child", "--mount", "--mount-proc", "--propagation", "private",
             "bash", "-c", script],
            stdout=subprocess.DEVNULL, stderr=open(self.folder / name / "sshd.log", "w"), start_new_session=True))

    def _inventory(self):
        lines = ["[fleet]"]
        for index, name in enumerate(self.machines):
            lines.append("%s ansible_host=%s ansible_port=%d" % (name, self.address(index), PORT))
        lines += ["[fleet:vars]", "ansible_user=root", "ansible_python_interpreter=/usr/bin/python3",
                  "ansible_ssh_private_key_file=%s" % (self.folder / "client"),
                  "ansible_ssh_common_args='-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null'",
                  "installer='%s'" % self.app]
        (self.folder / "inventory").write_text("\n".join(lines) + "\n")

    def _wait_for_servers(self):
        for index, name in enumerate(self.machines):
            for _ in range(100):
                if subprocess.run(["bash", "-c", "exec 3<>/dev/tcp/%s/%d" % (self.address(index), PORT)],
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    break
                time.sleep(0.05)
            else:
                raise RuntimeError("%s: its SSH server did not start: %s" % (name, (self.folder / name / "sshd.log").read_text()))

    def play(self, tasks, *options, limit=None):
        """Runs a play of tasks (YAML) over the fleet; returns the json
        callback's document and the seconds it took."""
        playbook = self.folder / "play.yml"
        playbook.write_text("- hosts: fleet\n  gather_facts: false\n  tasks:\n" + tasks)
        environment = dict(os.environ, ANSIBLE_LIBRARY=str(LIBRARY), ANSIBLE_STDOUT_CALLBACK="json",
                           ANSIBLE_HOST_KEY_CHECKING="False", ANSIBLE_PIPELINING="True",
                           ANSIBLE_SSH_CONTROL_PATH_DIR=str(self.folder / "cp"), ANSIBLE_FORKS=str(len(self.machines)),
                           ANSIBLE_LOCAL_TEMP=str(self.folder / "ansible-local"), ANSIBLE_NOCOLOR="1")
        command = ["ansible-playbook", "-i", str(self.folder / "inventory"), str(playbook), *options]
        if limit:
            command += ["--limit", limit]
        start = time.monotonic()
        finished = subprocess.run(command, env=environment, capture_output=True, text=True)
        seconds = time.monotonic() - start
        try:
            return json.loads(finished.stdout), seconds
        except ValueError:
            raise RuntimeError("ansible-playbook gave no JSON:\n%s\n%s" % (finished.stdout, finished.stderr))

    def rhinos(self, name):
        """The Rhino 8 processes running on a machine, as its own process list numbers them."""
        unshare = self.processes[list(self.machines).index(name)].pid
        first = subprocess.run(["pgrep", "-P", str(unshare)], capture_output=True, text=True).stdout.split()[0]
        found = subprocess.run(["nsenter", "-t", first, "-p", "-m", "pgrep", "-f", "^/root/Applications/Rhino 8.app/Contents/MacOS/"],
                               capture_output=True, text=True)
        return found.stdout.split()


def results(document):
    """host -> the result of the play's one task."""
    return document["plays"][0]["tasks"][0]["hosts"]


def recap(document):
    """host -> (ok, changed, failed), as the play recap counts them."""
    return {host: (stats["ok"], stats["changed"], stats["failures"]) for host, stats in document["stats"].items()}
