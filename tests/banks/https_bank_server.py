#!/usr/bin/env python3
"""A throw-away https server on loopback for the hosted bank tests.

    https_bank_server.py ROOT WORKDIR

Makes a certificate authority and a server certificate for 127.0.0.1 in
WORKDIR (ca.pem is what the tests trust), serves the files of ROOT under
/files/NAME and writes the port it listens on to WORKDIR/port. Besides files:
    /redirect/NAME       302 to /files/NAME over https
    /redirect-http/NAME  302 to /files/NAME over plain http
    /slow                a long body trickling one byte every 50 ms
Anything else is 404. Runs until it is terminated."""
import http.server
import os
import ssl
import subprocess
import sys
import time


def make_certificates(workdir):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=workdir, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Orbel Test CA",
        "-keyout", "ca.key", "-out", "ca.pem",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
        "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(workdir, "server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-days", "2", "-extfile", "server.ext", "-out", "server.pem")


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        port = self.server.server_address[1]
        path = self.path.split("?", 1)[0]
        if path.startswith("/files/"):
            name = os.path.basename(path[len("/files/"):])
            full = os.path.join(self.root, name)
            if name and os.path.isfile(full):
                with open(full, "rb") as f:
                    return self.answer(200, f.read(), [("Content-Type", "application/zip")])
        elif path.startswith("/redirect/"):
            target = "https://127.0.0.1:%d/files/%s" % (port, path[len("/redirect/"):])
            return self.answer(302, b"", [("Location", target)])
        elif path.startswith("/redirect-http/"):
            target = "http://127.0.0.1:%d/files/%s" % (port, path[len("/redirect-http/"):])
            return self.answer(302, b"", [("Location", target)])
        elif path == "/slow":
            self.send_response(200)
            self.send_header("Content-Length", str(10 << 20))
            self.end_headers()
            try:
                for _ in range(10 << 20):
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.05)
            except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
                pass
            return
        self.answer(404, b"not here\n", [("Content-Type", "text/plain")])


def main():
    root, workdir = sys.argv[1], sys.argv[2]
    make_certificates(workdir)
    Handler.root = root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(workdir, "server.pem"), os.path.join(workdir, "server.key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    port_file = os.path.join(workdir, "port")
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
