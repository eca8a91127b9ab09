#!/usr/bin/env python3
"""Checks the producer's description as an editor reads it: installs the module and its YAML into
a scratch prefix, parses the installed file with PyYAML, and compares every parameter's fields
with what `melt -query producer=qeltitle` gives back after MLT's own YAML reader has read it.
MLT's reader is not a full YAML parser (a folded line that starts with "-" becomes a list item,
which cut a description in two), so the two must agree field by field.
Arguments: BUILD_DIR WORK MLT_MODULE_DIR MLT_DATA_DIR (the last two relative to the prefix), the
folders of MLT's own modules and data."""
import os
import shutil
import subprocess
import sys

import yaml

build, work, module_dir, data_dir, system_modules, system_data = sys.argv[1:7]
prefix = os.path.join(work, "prefix")
shutil.rmtree(work, ignore_errors=True)
subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
               timeout=120, stdout=subprocess.DEVNULL)

with open(os.path.join(prefix, data_dir, "qeltitle", "producer_qeltitle.yml"), encoding="utf-8") as f:
    installed = yaml.safe_load(f)

# melt finds the installed module and description through folders that also hold MLT's own.
modules, data = os.path.join(work, "modules"), os.path.join(work, "data")
for folder, system, ours in ((modules, system_modules, os.path.join(prefix, module_dir, "libmltqeltitle.so")),
                             (data, system_data, os.path.join(prefix, data_dir, "qeltitle"))):
    os.makedirs(folder)
    for name in os.listdir(system):
        os.symlink(os.path.join(system, name), os.path.join(folder, name))
    os.symlink(ours, os.path.join(folder, os.path.basename(ours)))
env = dict(os.environ, MLT_REPOSITORY=modules, MLT_DATA=data)
query = subprocess.run(["melt", "-query", "producer=qeltitle"], env=env, capture_output=True, text=True,
                       timeout=60, check=True).stdout
melt = yaml.safe_load(query[query.index("---"):])

failures = []
expected = installed["parameters"]
listed = melt.get("parameters") or {}
# A list, or (as melt prints a list it has read wrongly) a map of numbered entries.
got = listed if isinstance(listed, list) else [listed[k] for k in sorted(k for k in listed if isinstance(k, int))]
if len(got) != len(expected):
    failures.append(f"melt lists {len(got)} parameters, the file {len(expected)}")
for want, have in zip(expected, got):
    have = have if isinstance(have, dict) else {}
    for field in ("identifier", "title", "type", "description"):
        if field not in want:
            failures.append(f"{want.get('identifier')}: no {field}")
    for field, value in want.items():
        norm = lambda v: " ".join(str(v).split()) if isinstance(v, str) else v
        # MLT reads yes/no as strings, numbers as text.
        if str(norm(have.get(field))).lower() not in (str(norm(value)).lower(), {True: "yes", False: "no"}.get(value)):
            failures.append(f"{want['identifier']}.{field}: melt reads {have.get(field)!r}, the file says {value!r}")
    extra = set(have) - set(want)
    if extra:
        failures.append(f"{want['identifier']}: melt reads fields the file does not have: {sorted(extra)}")
if failures:
    sys.exit("\n".join(failures))
print(f"{len(expected)} parameters read whole by melt")
