#!/usr/bin/python3
# Nimbra Setup's command line, as an Ansible module: install, uninstall or
# restore the Nimbra plug-in for Rhino 7 and 8 on each host, idempotently.

from __future__ import annotations

DOCUMENTATION = r"""
---
module: nimbra_setup
short_description: Install, uninstall or restore the Nimbra plug-in for Rhino 7 and 8
description:
  - Runs the Nimbra Setup command line on the host and reports what it did in Ansible's terms.
  - C(state=present) installs where the release is not installed whole, and changes nothing
    where it is, so a second run of the same play reports no change.
  - C(state=absent) moves the installed copies into a backup folder; C(state=restored) puts
    back what the newest backup folder holds (or I(backup_folder)).
  - A running Rhino is asked to quit (it asks its user about unsaved work) and opened again
    afterwards. A Rhino still running after I(wait) seconds fails the task with the
    installer's sentence; nothing was changed. To retry, ask the person to save their work
    and quit Rhino, then run the play again (it is idempotent), or raise I(wait).
  - Another installation running on the host fails the task too; run the play again later,
    or give the task C(retries) and C(until).
  - In check mode it runs the installer's C(--check) for the install, uninstall or restore
    asked for, changes nothing, and reports a change where that one would make one. With
    C(--diff) it shows each Rhino's installed version before and after.
version_added: "1.0.0"
author: Nimbra
options:
  state:
    description: What the plug-in should be after the task.
    type: str
    choices: [present, absent, restored]
    default: present
  installer:
    description: The Nimbra Setup application on the host.
    type: path
    default: /Applications/Nimbra Setup.app
  all_users:
    description:
      - Run for every person's account of the host (needs C(become)), each as that person.
      - People without Rhino 7 or 8 are passed by.
    type: bool
    default: false
  users:
    description: Run for these accounts only (needs C(become)).
    type: list
    elements: str
    default: []
  rhino:
    description: Only these Rhino versions; none given, every one found.
    type: list
    elements: int
    choices: [7, 8]
    default: []
  wait:
    description: Seconds to wait for a running Rhino to quit before failing.
    type: int
    default: 120
  quit_rhino:
    description: Ask a running Rhino to quit; false fails at once while Rhino runs.
    type: bool
    default: true
  reopen:
    description: Open again the Rhinos that were asked to quit.
    type: bool
    default: true
  reinstall:
    description: Install even where this release is installed whole (always reports a change).
    type: bool
    default: false
  keep_backups:
    description: Afterwards, remove the oldest finished backup folders beyond this many.
    type: int
  backup_folder:
    description: With C(state=restored), the backup folder to restore; none, the newest one.
    type: path
notes:
  - The installer prints one JSON object (C(--json)); its schema ships as C(deploy/outcome.schema.json).
  - "The installer's exit statuses, returned as I(exit_status): 0 done or nothing to do,
    1 refused or failed, 2 usage, 3 Rhino still running, 4 no Rhino 7 or 8, 5 another installation,
    6 C(--check) found something to install."
"""

EXAMPLES = r"""
- name: Nimbra for whoever uses the lab Macs
  hosts: lab
  become: true
  tasks:
    - name: Install Nimbra for every person's Rhino
      nimbra_setup:
        state: present
        all_users: true
        wait: 300

- name: Take Nimbra away again, Rhino 7 only
  nimbra_setup:
    state: absent
    rhino: [7]

- name: Put back what the last change replaced
  nimbra_setup:
    state: restored
"""

RETURN = r"""
outcome:
  description: The installer's word for how the command ended (installed, unchanged, up-to-date, would-change, rhino-running, ...).
  returned: always
  type: str
  sample: installed
message:
  description: The installer's own sentence.
  returned: always
  type: str
exit_status:
  description: The installer's exit status.
  returned: always
  type: int
version:
  description: The Nimbra version the installer carries.
  returned: when the installer could read its payload
  type: str
targets:
  description: The Rhinos the command was for, each with its installed version afterwards (null when none).
  returned: always
  type: list
  elements: dict
backup_folder:
  description: The backup folder the command made.
  returned: when it made one
  type: str
users:
  description: With all_users or users, each person's outcome as above, with C(user).
  returned: with all_users or users
  type: list
  elements: dict
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

# The outcomes that changed something, and those that are a failure.
CHANGED = {"installed", "uninstalled", "restored", "pruned", "recovered"}
FAILED = {"refused", "cancelled", "rhino-running", "another-installation", "no-rhino", "failed", "usage"}
RETRY = {
    "rhino-running": " Ask the person to save their work and quit Rhino, then run the play again, or raise wait.",
    "another-installation": " Run the play again once it has finished.",
}


def scope(params, state):
    """Which Rhinos and whose: the installer's arguments that choose them."""
    arguments = []
    if state != "restored":
        for major in params["rhino"]:
            arguments += ["--rhino", str(major)]
    if params["all_users"]:
        arguments.append("--all-users")
    for user in params["users"]:
        arguments += ["--user", user]
    return arguments


def command(params):
    """The installer's arguments for what the task asks."""
    state = params["state"]
    arguments = {"present": ["--install"], "absent": ["--uninstall"], "restored": ["--restore"]}[state]
    if state == "restored" and params["backup_folder"]:
        arguments.append(params["backup_folder"])
    arguments += ["--wait", str(params["wait"])]
    if not params["quit_rhino"]:
        arguments.append("--no-quit")
    if not params["reopen"]:
        arguments.append("--no-open")
    if params["reinstall"] and state == "present":
        arguments.append("--reinstall")
    if params["keep_backups"] is not None:
        arguments += ["--keep-backups", str(params["keep_backups"])]
    return arguments + scope(params, state) + ["--json"]


def outcomes(result):
    """Each person's outcome with all_users or users, else the one."""
    return result.get("users", []) if result.get("outcome") == "all-users" else [result]


def versions(result, installing=None):
    """'Rhino 7: 1.0.0' for each Rhino of each outcome, for --diff; with
    installing, as an install of that version would leave them."""
    lines = []
    for outcome in outcomes(result):
        who = outcome["user"] + ": " if "user" in outcome else ""
        for target in outcome.get("targets", []):
            version = installing or target["installedVersion"] or "not installed"
            lines.append("%sRhino %d: %s" % (who, target["major"], version))
    return "\n".join(lines) + "\n"


def run(module, executable, arguments):
    """The installer's exit status and its one JSON object."""
    status, out, err = module.run_command([executable] + arguments)
    try:
        return status, json.loads(out)
    except ValueError:
        module.fail_json(msg="Nimbra Setup gave no answer (exit status %d): %s" % (status, (err or out).strip()), rc=status)


def answer_of(status, result):
    answer = dict(
        outcome=result.get("outcome"),
        message=result.get("message", ""),
        exit_status=status,
        version=result.get("version"),
        targets=result.get("targets", []),
        backup_folder=result.get("backupFolder"),
    )
    if result.get("outcome") == "all-users":
        answer["users"] = outcomes(result)
    return answer


def check(module, executable):
    """Check mode: the installer's --check says what the command would change; nothing is changed."""
    params = module.params
    state = params["state"]
    asked = {"present": [], "absent": ["--uninstall"], "restored": ["--restore"]}[state]
    if state == "restored" and params["backup_folder"]:
        asked.append(params["backup_folder"])
    status, result = run(module, executable, ["--check"] + asked + scope(params, state) + ["--json"])
    answer = answer_of(status, result)
    answer["changed"] = any(outcome.get("outcome") == "would-change" for outcome in outcomes(result))
    if status not in (0, 6):
        module.fail_json(msg=answer["message"], **answer)
    if module._diff and state != "restored":
        version = result.get("version") or next((o.get("version") for o in outcomes(result) if o.get("version")), None)
        after = versions(result, version) if state == "present" else versions(result, "not installed")
        answer["diff"] = dict(before=versions(result), after=after)
    module.exit_json(**answer)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            state=dict(type="str", default="present", choices=["present", "absent", "restored"]),
            installer=dict(type="path", default="/Applications/Nimbra Setup.app"),
            all_users=dict(type="bool", default=False),
            users=dict(type="list", elements="str", default=[]),
            rhino=dict(type="list", elements="int", default=[], choices=[7, 8]),
            wait=dict(type="int", default=120),
            quit_rhino=dict(type="bool", default=True),
            reopen=dict(type="bool", default=True),
            reinstall=dict(type="bool", default=False),
            keep_backups=dict(type="int"),
            backup_folder=dict(type="path"),
        ),
        mutually_exclusive=[["all_users", "users"]],
        supports_check_mode=True,
    )
    params = module.params
    executable = os.path.join(params["installer"], "Contents", "MacOS", "Nimbra Setup")
    if not os.access(executable, os.X_OK):
        module.fail_json(msg="Nimbra Setup is not installed at %s." % params["installer"])
    if module.check_mode:
        check(module, executable)
    state = params["state"]
    before = None
    if module._diff and state != "restored":
        _, found = run(module, executable, ["--check"] + scope(params, state) + ["--json"])
        before = versions(found)
    status, result = run(module, executable, command(params))
    answer = answer_of(status, result)
    words = {outcome.get("outcome") for outcome in outcomes(result)}
    answer["changed"] = bool(words & CHANGED)
    if before is not None:
        answer["diff"] = dict(before=before, after=versions(result))
    if status != 0 or words & FAILED:
        retry = "".join(RETRY.get(word, "") for word in sorted(words & set(RETRY)))
        module.fail_json(msg=answer["message"] + retry, **answer)
    module.exit_json(**answer)


if __name__ == "__main__":
    main()
