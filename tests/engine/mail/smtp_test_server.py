#!/usr/bin/python3
"""A real SMTP server for the delivery tests: Debian's aiosmtpd on 127.0.0.1, AUTH LOGIN allowed
without TLS and required before MAIL FROM. Every message received is stored in SPOOL_DIR as
N.eml (the data as received, dot-stuffing undone by the server) and N.env (envelope: the sender
on the first line, then one recipient per line); N.env is written last, so its presence means the
message is complete. Prints "ready" once it accepts connections and runs until its standard
input closes or it is terminated.

usage: smtp_test_server.py PORT SPOOL_DIR USER PASSWORD
"""
import logging
import os
import signal
import sys
import threading
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class ConventionalPromptSMTP(SMTP):
    # The prompts most servers send ("Username:" / "Password:") instead of aiosmtpd's own.
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


class Spool:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".env.tmp", "w", encoding="utf-8") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        os.rename(base + ".env.tmp", base + ".env")
        return "250 Message accepted for delivery"


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "LOGIN" and auth_data.login == self.user
              and auth_data.password == self.password)
        # handled=False: the server answers a refusal itself (535).
        return AuthResult(success=ok, handled=False)


class TestController(Controller):
    def factory(self):
        return ConventionalPromptSMTP(self.handler, **self.SMTP_kwargs)


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    port, spool, user, password = int(argv[1]), argv[2], argv[3], argv[4]
    # AUTH without TLS is what the test wants; keep the server's warnings about it quiet.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    controller = TestController(
        Spool(spool), hostname="127.0.0.1", port=port,
        authenticator=Authenticator(user, password),
        auth_required=True, auth_require_tls=False)
    controller.start()
    print("ready", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    threading.Thread(target=lambda: (sys.stdin.read(), stop.set()), daemon=True).start()
    stop.wait()
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
