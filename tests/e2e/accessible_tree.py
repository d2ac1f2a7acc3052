#!/usr/bin/python3
# Prints what a screen reader finds in the window of the application named
# on the command line, one line for each object shown, depth first:
#   role name [checked] [disabled] [default] [focused] — description (labelled by name)
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


def walk(node):
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    print(line(node))
    for child in node:
        if child is not None:
            walk(child)


for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == sys.argv[1]:
        for window in application:
            walk(window)
