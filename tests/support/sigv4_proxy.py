#!/usr/bin/python3
"""Checks the AWS Signature Version 4 of every request before s3rver (which does not) sees it.

Starts s3rver as its child on a port of its own, answers 403 SignatureDoesNotMatch to a request
signed with any secret but the key's (AccessDenied to one not signed), and passes the others
on. Usage:
sigv4_proxy.py --port PORT --secret SECRET -- node s3rver.js ... (without -p)
"""

import argparse
import ctypes
import hashlib
import hmac
import http.client
import http.server
import signal
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sign(key, text):
    return hmac.new(key, text.encode(), hashlib.sha256).digest()


def expected_signature(method, raw_path, headers, secret):
    auth = headers.get("Authorization", "")
    if not auth.startswith("AWS4-HMAC-SHA256 "):
        return None, None
    fields = dict(part.strip().split("=", 1) for part in auth[len("AWS4-HMAC-SHA256 "):].split(","))
    scope = fields["Credential"].split("/", 1)[1]
    date, region, service, _ = scope.split("/")
    path, _, query = raw_path.partition("?")
    pairs = sorted((p.split("=", 1) + [""])[:2] for p in query.split("&") if p)
    signed = fields["SignedHeaders"].split(";")
    canonical = "\n".join([
        method, path, "&".join("%s=%s" % (k, v) for k, v in pairs),
        "".join("%s:%s\n" % (h, " ".join(headers.get(h, "").split())) for h in signed),
        fields["SignedHeaders"], headers.get("x-amz-content-sha256", "")])
    to_sign = "\n".join(["AWS4-HMAC-SHA256", headers.get("x-amz-date", ""), scope,
                         hashlib.sha256(canonical.encode()).hexdigest()])
    key = sign(sign(sign(sign(("AWS4" + secret).encode(), date), region), service),
               "aws4_request")
    return fields["Signature"], hmac.new(key, to_sign.encode(), hashlib.sha256).hexdigest()


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    upstream = 0
    secret = ""

    def log_message(self, *args):
        pass

    def relay(self):
        length = int(self.headers.get("Content-Length", 0) or 0)
        body = self.rfile.read(length) if length else b""
        given, wanted = expected_signature(self.command, self.path, self.headers, self.secret)
        if given is None or given != wanted:
            code = b"AccessDenied" if given is None else b"SignatureDoesNotMatch"
            self.answer(403, {"Content-Type": "application/xml"},
                        b"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Error><Code>" + code +
                        b"</Code><Message>Refused by the signature check.</Message></Error>")
            return
        upstream = http.client.HTTPConnection("127.0.0.1", self.upstream, timeout=60)
        headers = {k: v for k, v in self.headers.items() if k.lower() != "expect"}
        upstream.request(self.command, self.path, body=body, headers=headers)
        reply = upstream.getresponse()
        data = reply.read()
        passed = {k: v for k, v in reply.getheaders()
                  if k.lower() not in ("transfer-encoding", "connection", "content-length")}
        if self.command == "HEAD":
            passed["Content-Length"] = reply.getheader("Content-Length", "0")
        self.answer(reply.status, passed, data)
        upstream.close()

    def answer(self, status, headers, data):
        self.send_response(status)
        for k, v in headers.items():
            self.send_header(k, v)
        if self.command != "HEAD":
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    do_GET = do_PUT = do_POST = do_DELETE = do_HEAD = relay


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--secret", required=True)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    Proxy.upstream, Proxy.secret = free_port(), args.secret
    libc = ctypes.CDLL("libc.so.6")
    # The store ends with this process, however it ends.
    subprocess.Popen(args.command + ["-p", str(Proxy.upstream)],
                     preexec_fn=lambda: libc.prctl(1, signal.SIGKILL))
    deadline = time.monotonic() + 60
    while True:
        try:
            socket.create_connection(("127.0.0.1", Proxy.upstream), 1).close()
            break
        except OSError:
            if time.monotonic() > deadline:
                sys.exit("s3rver did not start")
            time.sleep(0.05)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Proxy)
    print("signature check ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
