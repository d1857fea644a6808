#!/usr/bin/python3
"""Starts Wanderpup on a demo program folder wired to local mail servers.

The servers are the real Dovecot (POP3) and SMTP server the tests use, on free loopback ports;
a dozen sample mails wait in the mailbox of taro@example.test, and a mail sent to that address
arrives at the next mail check. The servers stop when the program ends, however it ends; if this
script itself is killed, the server script sees its input close and stops them as well.

  demo.py [--build BUILD] [--folder FOLDER] [--program PROGRAM] [--info FILE]

FOLDER (default BUILD/demo) starts afresh at every run. --info writes the servers' ports and
process numbers as JSON, for the test that drives the demo.
"""
import argparse
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import sample_mails

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVERS = os.path.join(ROOT, "tests", "servers", "mailservers.py")
MARK = ".wanderpup-demo"  # says that a folder was made by this script and may be replaced
LOCK = ".wanderpup.lock"  # the program's own lock of its folder


def say(text):
    print("demo: " + text, flush=True)


def in_use(folder):
    """True while a program holds the folder's lock."""
    try:
        fd = os.open(os.path.join(folder, LOCK), os.O_RDONLY)
    except OSError:
        return False
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return False
    except BlockingIOError:
        return True
    except OSError:
        return False
    finally:
        os.close(fd)


def lay_out(folder, sound):
    """Replaces the folder of an earlier run (never a folder this script did not make)."""
    if os.path.lexists(folder):
        if not os.path.isdir(folder) or os.path.islink(folder):
            raise SystemExit("demo: %s is in the way and is not a demo folder; move it or pass --folder" % folder)
        if os.listdir(folder) and not os.path.exists(os.path.join(folder, MARK)):
            raise SystemExit("demo: %s holds files this script did not make; pass another --folder" % folder)
        shutil.rmtree(folder)
    for sub in ("★MailData", "添付フォルダ", "Sound"):
        os.makedirs(os.path.join(folder, sub))
    open(os.path.join(folder, MARK), "w").close()
    if os.path.exists(sound):
        shutil.copyfile(sound, os.path.join(folder, "Sound", "Kouka.wav"))


def start_servers(mails):
    """Starts the server script; returns (process, info) or (process or None, reason)."""
    try:
        proc = subprocess.Popen(["/usr/bin/python3", SERVERS, "--mails", mails],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except OSError as e:
        return None, str(e)
    deadline = time.time() + 30
    line = b""
    while time.time() < deadline and not line.endswith(b"\n"):
        ready, _, _ = select.select([proc.stdout], [], [], max(0.1, deadline - time.time()))
        if not ready:
            continue
        chunk = os.read(proc.stdout.fileno(), 4096)
        if not chunk:
            break
        line += chunk
    try:
        info = json.loads(line)
    except ValueError:
        err = b""
        if proc.poll() is not None:
            err = proc.stderr.read()
        reason = (err or line).decode(errors="replace").strip() or "no answer within 30 seconds"
        return proc, reason
    if "error" in info:
        return proc, info["error"]
    return proc, info


def stop_servers(proc):
    if proc is None or proc.poll() is not None:
        return
    try:
        proc.stdin.close()  # the script stops its servers when its input closes
    except OSError:
        pass
    try:
        proc.wait(15)
    except subprocess.TimeoutExpired:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def write_settings(folder, info):
    data = os.path.join(folder, "★MailData")
    with open(os.path.join(folder, "petpost.ini"), "wb") as f:
        f.write(("SMTP=127.0.0.1:%d\r\nPOP3=127.0.0.1:%d\r\nMAIL=%s\r\nAPOP=0\r\n"
                 % (info["smtp"], info["pop3"], sample_mails.DEMO_ADDRESS)).encode())
    with open(os.path.join(data, "iniIdPass.ini"), "wb") as f:
        f.write(b"[EXEINI]\r\nNAME=taro\r\nNAME2=taro-pass-1\r\nNAME3=1\r\n")
    # The servers' certificate is self-signed; the program trusts what this file holds.
    shutil.copyfile(info["cert"], os.path.join(data, "cacert.pem"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--folder")
    parser.add_argument("--program")
    parser.add_argument("--info")
    args = parser.parse_args()
    folder = os.path.abspath(args.folder or os.path.join(args.build, "demo"))
    program = args.program or os.path.join(args.build, "Wanderpup", "wanderpup")
    if not os.access(program, os.X_OK):
        raise SystemExit("demo: build the program first (%s)" % program)
    env = dict(os.environ, WANDERPUP_HOME=folder)

    if in_use(folder):
        say("the demo is already running on %s; it comes to the front" % folder)
        os.execve(program, [program], env)

    lay_out(folder, os.path.join(os.path.dirname(program), "Sound", "Kouka.wav"))
    with tempfile.TemporaryDirectory(prefix="wp-demo-mails-") as mails:
        count = sample_mails.write_all(mails, ROOT)
        servers, info = start_servers(mails)
    if isinstance(info, dict):
        write_settings(folder, info)
        say("%d mails wait for %s (POP3 127.0.0.1:%d, SMTP 127.0.0.1:%d). Click 受信."
            % (count, sample_mails.DEMO_ADDRESS, info["pop3"], info["smtp"]))
        if args.info:
            with open(args.info, "w") as f:
                json.dump(info, f)
    else:
        # Without servers the program still starts; it opens its server dialog.
        say("the demo mail servers did not start: %s" % info)
        say("starting the program without them")
        stop_servers(servers)
        servers = None

    app = None
    stopping = []

    def stop(signum, _frame):
        stopping.append(signum)
        if app is not None and app.poll() is None:
            app.terminate()

    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, stop)
    try:
        app = subprocess.Popen([program], env=env)
        while True:
            try:
                code = app.wait()
                break
            except InterruptedError:
                continue
    finally:
        stop_servers(servers)
        if servers is not None:
            say("mail servers stopped")
    if code < 0 and not stopping:
        say("the program ended by signal %d" % -code)
    return 0 if stopping else (code if code >= 0 else 1)


if __name__ == "__main__":
    sys.exit(main())
