#!/usr/bin/env python3
"""Serves the page's folder on the loopback address only: serve.py FOLDER [PORT] (default 8080)."""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    # Browsers compile a module while it downloads only when it comes as application/wasm.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm",
                      ".data": "application/octet-stream", ".js": "text/javascript"}

    def log_message(self, format, *args):
        pass


def server(folder, port):
    """A threaded server for FOLDER on 127.0.0.1:PORT (0: any free port); the caller runs or shuts it."""
    return http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=folder))


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: serve.py FOLDER [PORT]")
    s = server(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 8080)
    print("Korvatron: open http://127.0.0.1:%d/korvatron.html (Ctrl-C stops the server)" % s.server_address[1],
          flush=True)
    try:
        s.serve_forever()
    except KeyboardInterrupt:
        pass
