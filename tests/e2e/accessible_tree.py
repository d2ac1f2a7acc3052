#!/usr/bin/python3
# Prints what a screen reader finds in the window of the application named
# on the command line, one line for each object shown, depth first:
#   role name [checked] [disabled] [default] [focused] — description (labelled by name)
# With --centre NAME: the screen position of the middle of the object so named.
import sys

import pyatspi


def line(node):
    states = node.getState()
    text = f"{node.getRoleName()} {node.name}"
    for state, word in ((pyatspi.STATE_CHECKED, "checked"), (pyatspi.STATE_IS_DEFAULT, "default"),
                        (pyatspi.STATE_FOCUSED, "focused")):
        if states.contains(state):
            text += f" [{word}]"
    if not states.contains(pyatspi.STATE_ENABLED):
        text += " [disabled]"
    if node.description:
        text += f" — {node.description}"
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            text += f" (labelled by {relation.getTarget(0).name})"
    return text


def walk(node, visit):
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    visit(node)
    for child in node:
        if child is not None:
            walk(child, visit)


def centre(node):
    if node.name == sys.argv[3]:
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x + box.width // 2, box.y + box.height // 2)


for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == sys.argv[1]:
        for window in application:
            walk(window, centre if sys.argv[2:3] == ["--centre"] else lambda node: print(line(node)))
