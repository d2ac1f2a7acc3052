#!/usr/bin/python3
# Listens to the desktop's accessibility bus as a screen reader does and
# writes one line for each thing one would read out: an announcement (a
# notification or an alert shown), a move of the focus, a control checked or
# cleared, enabled or disabled, a new name, a progress value.
import sys

import pyatspi


def say(line):
    print(line, flush=True)


def heard(event):
    try:
        source = event.source
        role, name = source.getRoleName(), source.name
        if event.type == "object:state-changed:showing" and event.detail1 == 1:
            if role in ("notification", "alert"):
                say(f"announce {role}: {name}")
        elif event.type == "object:state-changed:focused" and event.detail1 == 1:
            enabled = source.getState().contains(pyatspi.STATE_ENABLED)
            say(f"focus {role}: {name}" + ("" if enabled else " [disabled]"))
        elif event.type == "object:state-changed:checked":
            say(f"{'checked' if event.detail1 else 'cleared'} {role}: {name}")
        elif event.type == "object:state-changed:enabled":
            say(f"{'enabled' if event.detail1 else 'disabled'} {role}: {name}")
        elif event.type == "object:property-change:accessible-name":
            say(f"name {role}: {name}")
        elif event.type == "object:property-change:accessible-value":
            value = source.queryValue()
            say(f"value {name}: {value.currentValue:g} of {value.maximumValue:g}")
    except Exception as error:  # an object gone before it was read
        say(f"unreadable {event.type}: {error}")


pyatspi.Registry.registerEventListener(
    heard, "object:state-changed:showing", "object:state-changed:focused", "object:state-changed:checked",
    "object:state-changed:enabled",
    "object:property-change:accessible-name", "object:property-change:accessible-value")
say("listening")
sys.stdout.flush()
pyatspi.Registry.start()
