"""A throw-away FTP server for tests and benchmarks.

Serves one user from a home folder on 127.0.0.1 and prints the port it listens on as the first
line of standard output. Entries are listed folders first, then files, each by name, so that
listings are the same on every file system. Every command (the password masked) and every log-on
is appended to the --command-log file, so tests can see what a client sent. With --stop-after-bytes the process ends abruptly once one
data connection has moved that many bytes, which is how tests stop the server in the middle of
a transfer. With --ignore-quit it never answers QUIT. With --tls explicit it speaks AUTH TLS and requires
TLS on the control and data connections; with --tls implicit TLS starts at once (FTPS); both use
--certfile (certificate and key in one PEM file).
"""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class OrderedFS(AbstractedFS):
    def listdir(self, path):
        names = os.listdir(path)
        return sorted(names, key=lambda n: (not os.path.isdir(os.path.join(path, n)), n))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stop-after-bytes", type=int, default=0)
    parser.add_argument("--command-log", default="")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--ignore-quit", action="store_true")
    parser.add_argument("--tls", choices=["explicit", "implicit"], default="")
    parser.add_argument("--certfile", default="")
    args = parser.parse_args()

    logging.basicConfig(level=logging.DEBUG if os.environ.get("FTPDEBUG") else logging.ERROR)
    logging.getLogger("pyftpdlib").setLevel(logging.DEBUG if os.environ.get("FTPDEBUG") else logging.ERROR)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    limit = args.stop_after_bytes

    class StoppingDTPHandler(DTPHandler):
        def _check(self):
            if limit and self.tot_bytes_sent + self.tot_bytes_received >= limit:
                os._exit(3)

        def handle_read(self):
            super().handle_read()
            self._check()

        # pyftpdlib's event loop calls this name, bound to the base class's reader.
        handle_read_event = handle_read

        def send(self, data):
            result = super().send(data)
            self._check()
            return result

    def log(line):
        if args.command_log:
            with open(args.command_log, "a") as out:
                out.write(line + "\n")

    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler

        base = TLS_FTPHandler

    class TestFTPHandler(base):
        def on_login(self, username):
            log("login " + username)

        def pre_process_command(self, line, cmd, arg):
            log("PASS ***" if cmd == "PASS" else line)
            if cmd == "QUIT" and args.ignore_quit:
                return  # no reply: a client waiting for one hangs
            super().pre_process_command(line, cmd, arg)

    handler = TestFTPHandler
    if args.tls:
        handler.certfile = args.certfile
        handler.tls_control_required = True
        handler.tls_data_required = True
        # Clients resume the control connection's TLS session on data connections, which an
        # OpenSSL server refuses without a session id context.
        handler.get_ssl_context().set_session_id(b"vestrel-test")
        from pyftpdlib.handlers import TLS_DTPHandler

        class EarlyTLSDTPHandler(TLS_DTPHandler):
            # curl starts TLS on a data connection before it sends the transfer command; the
            # stock handler takes that early traffic for a hang-up.
            def readable(self):
                if self._ssl_accepting or self._ssl_want_read:
                    return True
                return super().readable()

        handler.dtp_handler = EarlyTLSDTPHandler
    if args.tls == "implicit":

        class ImplicitTLSHandler(TestFTPHandler):
            # The greeting waits for the handshake that starts the connection.
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                TestFTPHandler.handle(self)

        handler = ImplicitTLSHandler
    handler.authorizer = authorizer
    handler.abstracted_fs = OrderedFS
    handler.auth_failed_timeout = 0
    handler.banner = "Vestrel test server ready."
    if args.no_mlsd:
        handler.proto_cmds = {k: v for k, v in base.proto_cmds.items() if k != "MLSD"}
    if limit and not args.tls:
        handler.dtp_handler = StoppingDTPHandler
        handler.use_sendfile = False

    server = FTPServer(("127.0.0.1", args.port), handler)
    sys.stdout.write("%d\n" % server.address[1])
    sys.stdout.flush()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
