#!/usr/bin/env python3
"""The jobs of the GitHub workflows that run in a debian:12 container, as
scripts that a pristine Debian 12 root runs as GitHub would: each run: step
with its environment (the workflow's, the job's and the step's), under
`bash -e`, in the workspace. Of the actions, the checkout is the clone that
the caller makes, and the uploads and the attestation check that the files
they name are there (their if-no-files-found: error). An expression ${{ }}
in a run: step cannot be run here, and stops the job.

    github_jobs.py SOURCE_DIR OUT_DIR ENV=VALUE...

writes OUT_DIR/<workflow>-<job>.sh for each such job; the ENV=VALUE words
are the variables that GitHub itself sets (CI, GITHUB_REF_NAME...).
"""
import glob
import os
import re
import shlex
import sys

import yaml

source, out, given = sys.argv[1], sys.argv[2], sys.argv[3:]


def exports(env):
    return "".join(f"export {name}={shlex.quote(str(value))}\n" for name, value in env.items())


def step_script(number, step):
    title = step.get("name") or step.get("run") or step.get("uses")
    text = f"echo {shlex.quote(f'== step {number}: {title.splitlines()[0]}')}\n"
    if "run" in step:
        if "${{" in step["run"]:
            return text + f"echo 'an expression ${{{{ }}}} in step {number}: not run here' >&2\nexit 1\n"
        body = exports(step.get("env", {})) + step["run"]
        return text + f"bash -e -c {shlex.quote(body)} </dev/null || exit $?\n"
    action = step["uses"].split("@")[0]
    paths = step.get("with", {}).get("path") or step.get("with", {}).get("subject-path") or ""
    if action in ("actions/upload-artifact", "actions/attest"):
        globs = [p.strip() for p in paths.splitlines() if p.strip()]
        if not all(re.fullmatch(r"[\w./*-]+", p) for p in globs):
            return text + f"echo 'a path this check cannot read in step {number}' >&2\nexit 1\n"
        return text + "".join(f"set -- {p}; [ -e \"$1\" ] || {{ echo 'no file at {p}' >&2; exit 1; }}\n"
                              for p in globs)
    return text + "echo '(the action itself is not run here)'\n"


os.makedirs(out, exist_ok=True)
for workflow in sorted(glob.glob(os.path.join(source, ".github", "workflows", "*.yml"))):
    document = yaml.safe_load(open(workflow))
    for job_id, job in document["jobs"].items():
        container = job.get("container")
        image = container.get("image") if isinstance(container, dict) else container
        if image != "debian:12":
            continue
        name = f"{os.path.splitext(os.path.basename(workflow))[0]}-{job_id}"
        with open(os.path.join(out, f"{name}.sh"), "w") as script:
            script.write("#!/bin/bash\n# " + f"{name}: {job.get('name', job_id)}\n")
            script.write(exports(dict(v.split("=", 1) for v in given)))
            script.write(exports({**document.get("env", {}), **job.get("env", {})}))
            for number, step in enumerate(job["steps"], 1):
                script.write(step_script(number, step))
            script.write(f"echo {shlex.quote(f'{name}: every step passed')}\n")
        print(name)
