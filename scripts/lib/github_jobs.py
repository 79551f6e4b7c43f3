#!/usr/bin/env python3
"""The jobs of the GitHub workflows, for the fresh-root check: the one place
that reads them. Each workflow's jobs in their needs order, a called
workflow's (uses: ./.github/workflows/X.yml) in its place. A job in a
debian:12 container becomes a script that runs it as GitHub would: each
run: step with its environment and GITHUB_OUTPUT, under `bash -e`, in the
workspace. The checkout is the clone that the caller mounts; an upload
copies the files it names (outputs of earlier steps put in), each checked,
to ARTIFACTS/<workflow>/<name> from their common folder, and a download
copies them back; the attestation checks its files. An expression ${{ }}
in a run: step stops the job.

    github_jobs.py SOURCE_DIR OUT_DIR ARTIFACTS ENV=VALUE...

writes OUT_DIR/<workflow>-<job>.sh and .options (the container's options,
one a line), and prints in order "run <workflow>-<job>" for each, "skip
<workflow>-<job>: why" for the others. ENV=VALUE are what GitHub sets.
"""
import glob
import os
import re
import shlex
import sys

import yaml

source, out, artifacts, given = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
OUTPUT = re.compile(r"\$\{\{\s*steps\.([\w-]+)\.outputs\.([\w-]+)\s*\}\}")


def exports(env):
    return "".join(f"export {name}={shlex.quote(str(value))}\n" for name, value in env.items())


def paths(text):
    """A with: path, outputs of earlier steps put in, as shell words."""
    text = OUTPUT.sub(lambda m: f"$(output {m.group(1)} {m.group(2)})", text)
    words = [p.strip() for p in text.splitlines() if p.strip()]
    if not all(re.fullmatch(r"[\w./*$() -]+", p) for p in words):
        return None
    return " ".join(w if w.startswith("$(") else w.replace(" ", "\\ ") for w in words)


def step_script(workflow, number, step):
    title = step.get("name") or step.get("run") or step.get("uses")
    text = f"echo {shlex.quote(f'== step {number}: {title.splitlines()[0]}')}\n"
    outputs = f"/tmp/outputs/{step.get('id', number)}"
    if "run" in step:
        if "${{" in step["run"]:
            return text + f"echo 'an expression ${{{{ }}}} in step {number}: not run here' >&2\nexit 1\n"
        body = exports({**step.get("env", {}), "GITHUB_OUTPUT": outputs}) + step["run"]
        return text + f": >{outputs}\nbash -e -c {shlex.quote(body)} </dev/null || exit $?\n"
    action = step["uses"].split("@")[0]
    given_with = step.get("with", {})
    if action == "actions/download-artifact":
        store = f"{artifacts}/{workflow}/{given_with['name']}"
        return text + f"mkdir -p {given_with.get('path', '.')} && cp -a {store}/. {given_with.get('path', '.')}/\n"
    if action not in ("actions/upload-artifact", "actions/attest"):
        return text + "echo '(the action itself is not run here)'\n"
    words = paths(given_with.get("path") or given_with.get("subject-path") or "")
    if not words:
        return text + f"echo 'a path this check cannot read in step {number}' >&2\nexit 1\n"
    check = (f"set -- {words}\n[ $# -gt 0 ] || {{ echo 'no file named in step {number}' >&2; exit 1; }}\n"
             "for p; do [ -e \"$p\" ] || { echo \"no file at $p\" >&2; exit 1; }; done\n")
    if action == "actions/attest":
        return text + check
    store = f"{artifacts}/{workflow}/{given_with['name']}"
    return text + check + f"upload {store} \"$@\"\n"


# Copies files to the store $1, from the folder that holds them all.
HELPERS = r"""mkdir -p /tmp/outputs
output() { sed -n "/^$2<<EOF\$/,/^EOF\$/{//!p}" "/tmp/outputs/$1"; }
upload() {
    local store=$1 common
    shift
    common=$(dirname "$1")
    for p; do while [[ $p/ != "$common"/* ]]; do common=$(dirname "$common"); done; done
    mkdir -p "$store"
    for p; do (cd "$common" && cp -a --parents "${p#"$common"/}" "$store/"); done
}
"""


def jobs_of(workflow_file, prefix):
    """(name, job, workflow) in needs order, called workflows' in place."""
    document = yaml.safe_load(open(workflow_file))
    jobs, done, ordered = document["jobs"], set(), []
    for _ in jobs:
        for job_id, job in jobs.items():
            needs = job.get("needs", [])
            needs = [needs] if isinstance(needs, str) else needs
            if job_id in done or not set(needs) <= done:
                continue
            done.add(job_id)
            if "uses" in job:
                called = os.path.join(source, job["uses"].removeprefix("./"))
                ordered += jobs_of(called, f"{prefix}{job_id}-")
            else:
                ordered.append((f"{prefix}{job_id}", job, document))
    return ordered


os.makedirs(out, exist_ok=True)
for path in sorted(glob.glob(os.path.join(source, ".github", "workflows", "*.yml"))):
    workflow = os.path.splitext(os.path.basename(path))[0]
    for job_id, job, document in jobs_of(path, ""):
        name = f"{workflow}-{job_id}"
        container = job.get("container")
        image = container.get("image") if isinstance(container, dict) else container
        if image != "debian:12":
            print(f"skip {name}: runs on {job.get('runs-on')}, not in a debian:12 container")
            continue
        options = container.get("options", "") if isinstance(container, dict) else ""
        with open(os.path.join(out, f"{name}.options"), "w") as f:
            f.write("".join(f"{word}\n" for word in shlex.split(options)))
        with open(os.path.join(out, f"{name}.sh"), "w") as script:
            script.write(f"#!/bin/bash\n# {name}: {job.get('name', job_id)}\n")
            script.write(exports(dict(v.split("=", 1) for v in given)))
            script.write(exports({**document.get("env", {}), **job.get("env", {})}))
            script.write(HELPERS)
            for number, step in enumerate(job["steps"], 1):
                script.write(step_script(workflow, number, step))
            script.write(f"echo {shlex.quote(f'{name}: every step passed')}\n")
        print(f"run {name}")
