#!/usr/bin/env python3
"""A time-stamping authority on 127.0.0.1 for the release test: answers each
RFC 3161 request POSTed to it with `openssl ts -reply` and the configuration
given as its argument. Prints the port it listens on, then serves until it is
ended."""
import http.server
import subprocess
import sys


class Tsa(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile",
                                "/dev/stdin", "-out", "/dev/stdout"],
                               input=query, capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Tsa)
print(server.server_port, flush=True)
server.serve_forever()
