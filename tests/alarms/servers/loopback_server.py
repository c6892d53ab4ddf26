#!/usr/bin/python3
"""Loopback servers for the alarm tests, each on a free port printed on the first line of output.

  loopback_server.py smtp <folder> [user password]   an SMTP server (aiosmtpd); each mail is
                                                     written to <folder>/mail-<n>.eml
  loopback_server.py http <folder> [status ...]      a webhook listener; each POST body goes to
                                                     <folder>/post-<n>.json and is answered with
                                                     the next status (200 when none is left)
The server runs until its standard input closes.
"""
import http.server
import os
import sys
import threading


def serve_smtp(folder, credentials):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    count = [0]

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            count[0] += 1
            with open(os.path.join(folder, "mail-%d.eml" % count[0]), "wb") as f:
                f.write(b"X-Rcpt: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
                f.write(b"X-Auth: " + (session.auth_data.login if session.auth_data else b"-") + b"\r\n")
                f.write(envelope.content)
            return "250 OK"

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = credentials is not None and (auth_data.login, auth_data.password) == credentials
        return AuthResult(success=ok, auth_data=auth_data if ok else None)

    # The controller cannot take port 0: a free port is asked of the system first.
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    kwargs = dict(hostname="127.0.0.1", port=port)
    if credentials:
        kwargs.update(authenticator=authenticate, auth_require_tls=False)
    controller = Controller(Handler(), **kwargs)
    controller.start()
    return port, controller.stop


def serve_http(folder, statuses):
    count = [0]

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            count[0] += 1
            with open(os.path.join(folder, "post-%d.json" % count[0]), "wb") as f:
                f.write(body)
            status = statuses.pop(0) if statuses else 200
            self.send_response(status)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1], server.shutdown


def main():
    kind, folder = sys.argv[1], sys.argv[2]
    if kind == "smtp":
        creds = tuple(a.encode() for a in sys.argv[3:5]) if len(sys.argv) >= 5 else None
        port, stop = serve_smtp(folder, creds)
    else:
        port, stop = serve_http(folder, [int(s) for s in sys.argv[3:]])
    print(port, flush=True)
    sys.stdin.read()
    stop()


if __name__ == "__main__":
    main()
