#!/usr/bin/env python3
"""Checks every --json outcome the command-line tests kept against the schema
deployment tools read: check_outcomes.py SCHEMA FOLDER."""
import json
import pathlib
import sys

import jsonschema

schema = json.loads(pathlib.Path(sys.argv[1]).read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
files = sorted(pathlib.Path(sys.argv[2]).glob("*.json"))
if not files:
    print("No JSON outcome among the command-line tests that ran: nothing to check.")
    sys.exit(0)
outcomes, failures = set(), 0
for file in files:
    document = json.loads(file.read_text())
    outcomes.add(document["outcome"])
    for error in validator.iter_errors(document):
        failures += 1
        print(f"{file.name}: {error.json_path}: {error.message}")
print(f"{len(files)} outcomes checked ({', '.join(sorted(outcomes))}); {failures} not as the schema says")
sys.exit(1 if failures else 0)
