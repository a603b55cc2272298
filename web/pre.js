// Runs before the game: its arguments from the page's address, and the player's folder /save kept in the
// browser's IndexedDB (read in before main starts, written back after every save of a player file).
//
// korvatron.html?--seed=7&--scale=1 passes "--seed=7 --scale=1" to the program, as a command line would.
if (!Module.arguments && typeof location !== "undefined" && location.search.length > 1) {
  Module.arguments = location.search.slice(1).split("&").filter(function (a) { return a; })
    .map(function (a) { return decodeURIComponent(a.replace(/\+/g, " ")); });
}

// SDL's software renderer draws the frame into a 2D canvas exactly as the game drew it; through WebGL the
// browser's filtering moves some 565 colours by one step. The player's own choice in the address wins.
Module.preRun = (Module.preRun || []).concat(function () {
  if (!ENV.SDL_RENDER_DRIVER) ENV.SDL_RENDER_DRIVER = "software";
});

// The program's exit code once main has returned (null while it runs), for the page and its test.
Module.korvaExit = null;
Module.onExit = (function (pageOnExit) {
  return function (code) {
    Module.korvaExit = code;
    if (pageOnExit) pageOnExit(code);
  };
})(Module.onExit);

// exit() unwinds the program by throwing ExitStatus; when the game ends from inside a resumed sleep nothing
// above catches it, and the browser would report a normal end as an uncaught error.
if (typeof window !== "undefined") {
  window.addEventListener("error", function (e) {
    if (e.error && e.error.name === "ExitStatus") e.preventDefault();
  });
}

// The state of the copies to IndexedDB, for the page and its test: started and finished counts, the last
// error (null when none), and whether the store was read in at start.
Module.korvaStore = { loaded: false, started: 0, finished: 0, error: null };

Module.preRun = (Module.preRun || []).concat(function () {
  var store = Module.korvaStore;
  if (typeof IDBFS === "undefined" || typeof indexedDB === "undefined") {
    store.error = "no IndexedDB: player files last only as long as the page";
    FS.mkdir("/save");
    return;
  }
  FS.mkdir("/save");
  FS.mount(IDBFS, {}, "/save");
  addRunDependency("korva-store");
  FS.syncfs(true, function (err) {
    if (err) store.error = String(err);
    store.loaded = !err;
    removeRunDependency("korva-store");
  });
});

// One copy at a time: a save during a copy is taken up by one more copy once it ends, so the last save
// always reaches the store.
(function () {
  var running = false, again = false;
  function copy() {
    var store = Module.korvaStore;
    running = true;
    again = false;
    store.started++;
    FS.syncfs(false, function (err) {
      store.error = err ? String(err) : null;
      store.finished++;
      running = false;
      if (again) copy();
    });
  }
  Module.korvaFilesChanged = function () {
    if (typeof IDBFS === "undefined" || !Module.korvaStore.loaded) return;
    if (running) again = true;
    else copy();
  };
})();

// The log is written all along; a page going away copies it too, as far as the browser lets it finish.
if (typeof window !== "undefined") {
  window.addEventListener("pagehide", function () { Module.korvaFilesChanged(); });
}
