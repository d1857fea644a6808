#!/usr/bin/python3
"""Misbehaving POP3 and SMTP servers for the tests, on 127.0.0.1 and free ports.

Each way of misbehaving listens on a port of its own; one JSON line names them:
  {"ports": {"pop3-short": 40001, ...}, "state": "/tmp/wp-badservers-..."}
then the script serves until stdin closes or SIGTERM comes. What each server received is kept,
line by line, in <state>/<name>.log (so a test can see whether a password went out in clear).

POP3 (no TLS; users log in with any USER/PASS; three mails of known size):
  pop3-short         RETR 1 sends fewer bytes than LIST announced
  pop3-lying-stat    STAT claims 40 mails, LIST and UIDL list 2, RETR of the others is refused
  pop3-refused-dele  every DELE is refused
  pop3-endless       RETR 1 answers +OK, then a line that never ends
  pop3-drip          RETR 1 comes one byte every 50 ms
  pop3-silent-retr   RETR 1 sends half the mail, then nothing (the connection stays open)
  pop3-refused-stls  CAPA offers STLS, STLS is refused
  pop3-no-stls       CAPA without STLS; STLS is an unknown command
  pop3-huge-list     LIST announces a mail of 2 GB that is really 40 bytes
  pop3-endless-greeting  the greeting never ends
  pop3-long-refusal  PASS is refused with a 100 KB line full of terminal escapes
SMTP:
  smtp-refused-starttls  EHLO offers STARTTLS and AUTH, STARTTLS is refused
  smtp-no-starttls       EHLO offers AUTH but no STARTTLS (as if someone had removed it)
  smtp-endless           the greeting never ends
  smtp-drip              the greeting comes one byte every 50 ms
  smtp-stall-data        takes DATA, then reads nothing more (the connection stays open)
"""
import json
import os
import shutil
import signal
import socket
import sys
import tempfile
import threading
import time

MAILS = [
    b"From: one@example.test\r\nSubject: one\r\n\r\nfirst mail\r\n",
    b"From: two@example.test\r\nSubject: two\r\n\r\nsecond mail\r\n",
    b"From: three@example.test\r\nSubject: three\r\n\r\nthird mail\r\n",
]

stopping = threading.Event()


class Client:
    def __init__(self, conn, log):
        self.conn = conn
        self.log = log
        self.buffer = b""

    def send(self, data):
        self.conn.sendall(data)

    def line(self):
        while b"\n" not in self.buffer:
            chunk = self.conn.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        line = line.rstrip(b"\r")
        with open(self.log, "ab") as f:
            f.write(line + b"\n")
        return line

    def flood(self):
        chunk = b"x" * 65536
        while not stopping.is_set():
            self.send(chunk)

    def drip(self, data):
        for i in range(len(data)):
            if stopping.is_set():
                return
            self.send(data[i:i + 1])
            time.sleep(0.05)

    def hold(self):
        self.conn.settimeout(0.2)
        while not stopping.is_set():
            try:
                if not self.conn.recv(4096):
                    return
            except socket.timeout:
                pass


def stuffed(mail):
    lines = mail.split(b"\r\n")
    return b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)


def pop3(client, mode):
    mails = list(MAILS)
    count = len(mails)
    if mode == "pop3-endless-greeting":
        client.send(b"+OK ")
        client.flood()
        return
    client.send(b"+OK ready\r\n")
    while True:
        line = client.line()
        if line is None:
            return
        words = line.split(b" ")
        command = words[0].upper()
        arg = int(words[1]) if len(words) > 1 and words[1].isdigit() else 0
        if command == b"CAPA":
            caps = b"+OK\r\nUSER\r\nUIDL\r\nPIPELINING\r\n"
            if mode == "pop3-refused-stls":
                caps += b"STLS\r\n"
            client.send(caps + b".\r\n")
        elif command == b"STLS":
            client.send(b"-ERR TLS not available now\r\n" if mode == "pop3-refused-stls"
                        else b"-ERR unknown command\r\n")
        elif command == b"PASS" and mode == "pop3-long-refusal":
            client.send(b"-ERR \x1b[31m" + b"refused " * 12500 + b"\x07\r\n")
        elif command in (b"USER", b"PASS", b"NOOP", b"RSET"):
            client.send(b"+OK\r\n")
        elif command == b"STAT":
            shown = 40 if mode == "pop3-lying-stat" else count
            client.send(b"+OK %d %d\r\n" % (shown, sum(len(m) for m in mails)))
        elif command in (b"LIST", b"UIDL"):
            listed = mails[:2] if mode == "pop3-lying-stat" else mails
            out = b"+OK\r\n"
            for n, m in enumerate(listed, 1):
                if command == b"UIDL":
                    out += b"%d uid-%d\r\n" % (n, n)
                elif mode == "pop3-short" and n == 1:
                    out += b"%d %d\r\n" % (n, len(m) + 500)
                elif mode == "pop3-huge-list" and n == 1:
                    out += b"%d %d\r\n" % (n, 2 * 1024 ** 3)
                else:
                    out += b"%d %d\r\n" % (n, len(m))
            client.send(out + b".\r\n")
        elif command == b"RETR":
            if arg < 1 or arg > len(mails) or (mode == "pop3-lying-stat" and arg > 2):
                client.send(b"-ERR no such message\r\n")
                continue
            mail = stuffed(mails[arg - 1])
            if arg == 1 and mode == "pop3-endless":
                client.send(b"+OK\r\n")
                client.flood()
                return
            if arg == 1 and mode == "pop3-drip":
                client.drip(b"+OK\r\n" + mail + b".\r\n")
                continue
            if arg == 1 and mode == "pop3-silent-retr":
                client.send(b"+OK\r\n" + mail[:len(mail) // 2])
                client.hold()
                return
            client.send(b"+OK %d octets\r\n" % len(mails[arg - 1]) + mail + b".\r\n")
        elif command == b"DELE":
            client.send(b"-ERR [SYS/PERM] deleting is not allowed here\r\n" if mode == "pop3-refused-dele"
                        else b"+OK\r\n")
        elif command == b"QUIT":
            client.send(b"+OK bye\r\n")
            return
        else:
            client.send(b"-ERR unknown command\r\n")


def smtp(client, mode):
    if mode == "smtp-endless":
        client.send(b"220 ")
        client.flood()
        return
    if mode == "smtp-drip":
        client.drip(b"220 " + b"mail.example.test " * 1000 + b"\r\n")
        return
    client.send(b"220 mail.example.test ESMTP\r\n")
    in_data = False
    while True:
        line = client.line()
        if line is None:
            return
        if in_data:
            if line == b".":
                in_data = False
                client.send(b"250 accepted\r\n")
            continue
        command = line.split(b" ")[0].upper()
        if command == b"EHLO":
            caps = b"250-mail.example.test\r\n"
            if mode == "smtp-refused-starttls":
                caps += b"250-STARTTLS\r\n"
            client.send(caps + b"250 AUTH PLAIN LOGIN\r\n")
        elif command == b"HELO":
            client.send(b"250 mail.example.test\r\n")
        elif command == b"STARTTLS":
            client.send(b"454 4.7.0 TLS not available\r\n" if mode == "smtp-refused-starttls"
                        else b"502 5.5.1 unknown command\r\n")
        elif command == b"AUTH":
            client.send(b"235 2.7.0 authenticated\r\n")
        elif command in (b"MAIL", b"RCPT", b"RSET", b"NOOP"):
            client.send(b"250 OK\r\n")
        elif command == b"DATA":
            in_data = True
            client.send(b"354 go ahead\r\n")
            if mode == "smtp-stall-data":
                while not stopping.wait(0.2):
                    pass
                return
        elif command == b"QUIT":
            client.send(b"221 bye\r\n")
            return
        else:
            client.send(b"502 5.5.1 unknown command\r\n")


def serve(listener, mode, log):
    listener.settimeout(0.2)
    while not stopping.is_set():
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            return

        def run(conn=conn):
            with conn:
                try:
                    (pop3 if mode.startswith("pop3") else smtp)(Client(conn, log), mode)
                except OSError:
                    pass

        threading.Thread(target=run, daemon=True).start()


MODES = ["pop3-short", "pop3-lying-stat", "pop3-refused-dele", "pop3-endless", "pop3-drip",
         "pop3-silent-retr", "pop3-refused-stls", "pop3-no-stls", "pop3-huge-list", "pop3-endless-greeting",
         "pop3-long-refusal", "smtp-refused-starttls", "smtp-no-starttls", "smtp-endless", "smtp-drip", "smtp-stall-data"]


def main():
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    state = tempfile.mkdtemp(prefix="wp-badservers-")
    ports = {}
    threads = []
    try:
        for mode in MODES:
            listener = socket.socket()
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.bind(("127.0.0.1", 0))
            listener.listen(8)
            ports[mode] = listener.getsockname()[1]
            t = threading.Thread(target=serve, args=(listener, mode, os.path.join(state, mode + ".log")),
                                 daemon=True)
            t.start()
            threads.append((t, listener))
        print(json.dumps({"ports": ports, "state": state}), flush=True)

        def watch_stdin():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except OSError:
                pass
            stopping.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
        while not stopping.wait(0.2):
            pass
    finally:
        stopping.set()
        for t, listener in threads:
            t.join(1)
            listener.close()
        shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    main()
