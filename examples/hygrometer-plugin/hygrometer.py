"""The hygrometer of the example plug-in, on 127.0.0.1 at a free port.

   python3 hygrometer.py PROGRAM ARGS...   runs PROGRAM with @PORT@ in ARGS
replaced by the port, prints its output and exits with its status.  The
server stops with the program, at the latest after 120 s."""
import base64, http.server, json, subprocess, sys, threading

IDENTITY = {"serialNumer": "HG-7731", "model": "HG-2", "description": "Test hygrometer",
            "productionDate": 1700000000, "accuracyClass": 2.5, "certificateSerial": "HG-C-12"}
CREDENTIALS = "Basic " + base64.b64encode(b"user:qvxj").decode()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.headers.get("Authorization") != CREDENTIALS:
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="hygrometer"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        body = {"/id": IDENTITY, "/now": {"rh": 41.5, "t": 22.0}}.get(self.path)
        data = json.dumps(body).encode() if body is not None else b""
        self.send_response(200 if body is not None else 404)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
port = str(server.server_address[1])
command = [argument.replace("@PORT@", port) for argument in sys.argv[1:]]
try:
    run = subprocess.run(command, capture_output=True, text=True, timeout=120)
    sys.stdout.write(run.stdout + run.stderr)
    status = run.returncode
except subprocess.TimeoutExpired:
    print("hygrometer: the program did not end within 120 s")
    status = 124
server.shutdown()
sys.exit(status)
