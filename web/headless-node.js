// The page's program run headless under node, for measuring: node headless-node.js SCRIPT [ARGS...], from the
// folder holding korvatron.js (its .data is read from there). Prints the milliseconds from the runtime being
// ready to the program's exit, and the exit code.
//
// The headless backend's clock is virtual and its sleeps return at once, so this times the game's own work
// frame after frame: what ASYNCIFY's instrumentation costs, apart from the unwinding a page adds.
"use strict";
const fs = require("fs");
const path = require("path");
const [script, ...args] = process.argv.slice(2);
let ready = 0;
// The program links SDL, whose start-up reads the screen a browser would have; headless never shows it.
global.screen = { width: 240, height: 320 };
global.Module = {
  arguments: ["--headless", "--script", "/tmp/script.txt", ...args],
  preRun: [function (M) { M.FS.writeFile("/tmp/script.txt", fs.readFileSync(script)); }],
  onRuntimeInitialized: function () { ready = performance.now(); },
  onExit: function (code) {
    console.log(JSON.stringify({ ms: performance.now() - ready, exit: code, presents: Module._korvaPresents() }));
  },
  print: function () {},
  printErr: function (t) { process.stderr.write(t + "\n"); },
};
// Run as a script of the global scope, as a page runs it, so that it finds the Module above (loaded as a
// node module its own "var Module" would hide this one).
global.require = require;
global.__dirname = process.cwd();
require("vm").runInThisContext(fs.readFileSync(path.resolve("korvatron.js"), "utf8"), { filename: "korvatron.js" });
