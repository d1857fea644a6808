#!/usr/bin/python3
"""Real mail servers for the tests, on 127.0.0.1 and free ports, with state in a temp folder.

Dovecot serves POP3 (plain, STLS offered) and POP3S with a self-signed certificate; aiosmtpd
serves SMTP (STARTTLS and AUTH offered), SMTPS (AUTH required) and plain SMTP (no TLS, no AUTH)
and delivers into the Dovecot Maildirs.
Users: taro / taro-pass-1 (any login), hanako / hanako-pass-2 (APOP only), jiro / jiro-pass-3.
Run as root, Dovecot serves the mail as the system user dovecot; run as anyone else, everything
runs as that user.

  --mails DIR   put the files of DIR (in name order) into taro's mailbox before listening

Prints one JSON line once everything listens, then runs until stdin closes or SIGTERM comes;
everything it started is stopped by PID and the state folder is removed (unless --keep).
A line "present self" on stdin gives every server a new self-signed certificate (same names, new
key), "present good" a chain from a test authority and "present forged" (or "forged-aki") a
forged chain that merely names its intermediate (see make_authority); each answers with a JSON line once new
connections get it, naming the authority's root certificate. Every SMTP AUTH
attempt is written to the file named "smtpAuthLog".
Run with Debian's /usr/bin/python3 (it has aiosmtpd).
"""
import grp
import json
import logging
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, SMTP

USERS = {"taro": "taro-pass-1", "hanako": "hanako-pass-2", "jiro": "jiro-pass-3"}
APOP_ONLY = {"hanako"}
DOMAIN = "example.test"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, deadline):
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def make_certificate(state, name="cert"):
    cert = os.path.join(state, name + ".pem")
    key = os.path.join(state, name.replace("cert", "key") + ".pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3",
         "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
         "-keyout", key, "-out", cert],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.chmod(key, 0o644)
    return cert, key


CHAIN_EXTENSIONS = """
[intermediate]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[leaf]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
authorityKeyIdentifier=keyid
[forged]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
authorityKeyIdentifier=none
subjectKeyIdentifier=none
[forged-aki]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
authorityKeyIdentifier=keyid
"""


def make_authority(state):
    """A root, an intermediate it signed and two chains for 127.0.0.1: "good" (a leaf the
    intermediate signed, with the intermediate) and "forged" (a leaf signed by another key that
    merely carries the intermediate's name, sent with the real intermediate), also as
    "forged-aki" naming the other key's identifier. Made once."""
    folder = os.path.join(state, "authority")
    chains = {"root": os.path.join(folder, "root.pem")}
    for kind in ("good", "forged", "forged-aki"):
        chains[kind] = (os.path.join(folder, kind + "-chain.pem"), os.path.join(folder, kind + ".key"))
    if os.path.exists(chains["root"]):
        return chains
    os.makedirs(folder)
    ext = os.path.join(folder, "ext.cnf")
    with open(ext, "w") as f:
        f.write(CHAIN_EXTENSIONS)

    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=folder,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def self_signed(name, subject):
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3", "-subj", subject,
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
            "-keyout", name + ".key", "-out", name + ".pem")

    def signed(name, subject, issuer, section):
        run("req", "-newkey", "rsa:2048", "-nodes", "-subj", subject, "-keyout", name + ".key",
            "-out", name + ".csr")
        run("x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
            "-CAcreateserial", "-days", "3", "-extfile", "ext.cnf", "-extensions", section, "-out", name + ".pem")

    self_signed("root", "/CN=Wanderpup Test Root")
    signed("intermediate", "/CN=Wanderpup Test Intermediate", "root", "intermediate")
    signed("good", "/CN=localhost", "intermediate", "leaf")
    # The attacker's own "authority": any key, given the intermediate's name.
    self_signed("impostor", "/CN=Wanderpup Test Intermediate")
    signed("forged", "/CN=localhost", "impostor", "forged")
    signed("forged-aki", "/CN=localhost", "impostor", "forged-aki")
    for kind in ("good", "forged", "forged-aki"):
        with open(chains[kind][0], "w") as out:
            for name in (kind, "intermediate"):
                with open(os.path.join(folder, name + ".pem")) as f:
                    out.write(f.read())
    for name in os.listdir(folder):
        os.chmod(os.path.join(folder, name), 0o644)
    return chains


def make_maildirs(state, uid, gid):
    dirs = {}
    for user in USERS:
        home = os.path.join(state, "home", user)
        maildir = os.path.join(home, "Maildir")
        for sub in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(maildir, sub), exist_ok=True)
        for root, subdirs, _ in os.walk(home):
            os.chown(root, uid, gid)
        os.chown(os.path.join(state, "home"), uid, gid)
        dirs[user] = maildir
    return dirs


def write_dovecot_config(state, cert, key, pop3, pop3s, users):
    apop_file = os.path.join(state, "apop.passwd")
    plain_file = os.path.join(state, "plain.passwd")
    with open(apop_file, "w") as f:
        for user in APOP_ONLY:
            f.write("%s:{PLAIN}%s\n" % (user, USERS[user]))
    with open(plain_file, "w") as f:
        for user, password in USERS.items():
            if user not in APOP_ONLY:
                f.write("%s:{PLAIN}%s\n" % (user, password))
    conf = os.path.join(state, "dovecot.conf")
    log = os.path.join(state, "dovecot.log")
    with open(conf, "w") as f:
        f.write("""
base_dir = {state}/run
state_dir = {state}/lib
log_path = {log}
info_log_path = {log}
protocols = pop3
listen = 127.0.0.1
default_login_user = {login_user}
default_internal_user = {internal_user}
default_internal_group = {internal_group}
first_valid_uid = 1
disable_plaintext_auth = no
auth_mechanisms = plain apop
auth_verbose = yes
auth_failure_delay = 0
login_greeting = Dovecot ready.
ssl = yes
ssl_cert = <{cert}
ssl_key = <{key}
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {apop}
  mechanisms = apop
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {plain}
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={state}/home/%u
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {pop3}
  }}
  inet_listener pop3s {{
    address = 127.0.0.1
    port = {pop3s}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
  # no growing delay after failed logins: the tests fail logins on purpose
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
service imap-login {{
  chroot =
}}
""".format(state=state, log=log, cert=cert, key=key, apop=apop_file, plain=plain_file,
           pop3=pop3, pop3s=pop3s, **users))
    return conf, log


def deliver(maildirs, uid, gid, user, content):
    maildir = maildirs[user]
    # Names sort in delivery order, which is the order Dovecot numbers the mails in.
    name = "%010d.M%019dP%d.smtp" % (time.time(), time.monotonic_ns(), os.getpid())
    tmp = os.path.join(maildir, "tmp", name)
    with open(tmp, "wb") as f:
        f.write(content)
    os.chown(tmp, uid, gid)
    os.rename(tmp, os.path.join(maildir, "new", name))


class Delivery:
    def __init__(self, maildirs, uid, gid):
        self.maildirs, self.uid, self.gid = maildirs, uid, gid

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split("@")[0].lower()
        if local not in self.maildirs:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        for address in envelope.rcpt_tos:
            deliver(self.maildirs, self.uid, self.gid, address.split("@")[0].lower(),
                    envelope.original_content or envelope.content)
        return "250 Message accepted for delivery"


AUTH_LOG = []  # the file every SMTP AUTH attempt is written to


def authenticator(server, session, envelope, mechanism, auth_data):
    if AUTH_LOG:
        with open(AUTH_LOG[0], "a") as f:
            f.write("%s %s\n" % (mechanism, getattr(auth_data, "login", b"").decode(errors="replace")))
    ok = (getattr(auth_data, "login", None) is not None
          and USERS.get(auth_data.login.decode(errors="replace")) == auth_data.password.decode(
              errors="replace"))
    return AuthResult(success=ok, handled=False)


class SmtpController(Controller):
    """kind: "starttls" (STARTTLS offered, AUTH offered, not required), "implicit" (TLS from
    the start, AUTH required) or "plain" (neither TLS nor AUTH)."""

    def __init__(self, handler, port, tls_context, kind):
        self._tls = tls_context
        self._kind = kind
        super().__init__(handler, hostname="127.0.0.1", port=port,
                         ssl_context=tls_context if kind == "implicit" else None)

    def factory(self):
        return SMTP(self.handler, hostname="mail." + DOMAIN,
                    tls_context=self._tls if self._kind == "starttls" else None,
                    require_starttls=False, auth_required=self._kind == "implicit",
                    auth_require_tls=self._kind == "plain",
                    authenticator=authenticator, decode_data=False)


def presented_certificate(port):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2) as raw:
            with context.wrap_socket(raw) as tls:
                return tls.getpeercert(binary_form=True)
    except OSError:
        return None


def present(state, cert, key, tls, dovecot_pid, ports, serial, kind):
    """Every server presents a new certificate from now on: "self" a new self-signed one (same
    names, new key), "good" or "forged" a chain of make_authority(). The new certificate and key go
    into the files Dovecot reads and Dovecot reloads them; the SMTP servers' shared context takes
    them at once."""
    chains = None
    if kind == "self":
        new_cert, new_key = make_certificate(state, "cert-%d" % serial)
    else:
        chains = make_authority(state)
        new_cert, new_key = chains[kind]
    for source, target in ((new_key, key), (new_cert, cert)):
        shutil.copyfile(source, target + ".new")
        os.chmod(target + ".new", 0o644)
        os.replace(target + ".new", target)
    tls.load_cert_chain(cert, key)
    os.kill(dovecot_pid, signal.SIGHUP)
    with open(cert) as f:
        wanted = ssl.PEM_cert_to_DER_cert(f.read())
    deadline = time.time() + 20
    while time.time() < deadline:
        if all(presented_certificate(port) == wanted for port in ports):
            return {"swapped": True, "root": chains["root"] if chains else ""}
        time.sleep(0.2)
    return {"swapped": False}


def main():
    # The implicit-TLS listener requires AUTH; aiosmtpd cannot see that TLS and warns about it.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    keep = "--keep" in sys.argv
    state = tempfile.mkdtemp(prefix="wp-mailservers-")
    os.chmod(state, 0o755)
    dovecot_pid = None
    controllers = []
    stopping = threading.Event()

    def stop(*_):
        stopping.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        if os.geteuid() == 0:
            # Dovecot refuses to run its login processes as root.
            user = pwd.getpwnam("dovecot")
            uid, gid = user.pw_uid, user.pw_gid
            users = {"login_user": "dovenull", "internal_user": "dovecot",
                     "internal_group": "dovecot", "uid": "dovecot",
                     "gid": "dovecot"}
        else:
            uid, gid = os.geteuid(), os.getegid()
            name = pwd.getpwuid(uid).pw_name
            group = grp.getgrgid(gid).gr_name
            users = {"login_user": name, "internal_user": name, "internal_group": group,
                     "uid": uid, "gid": gid}
        cert, key = make_certificate(state)
        AUTH_LOG.append(os.path.join(state, "smtp-auth.log"))
        maildirs = make_maildirs(state, uid, gid)
        if "--mails" in sys.argv:
            folder = sys.argv[sys.argv.index("--mails") + 1]
            for name in sorted(os.listdir(folder)):
                with open(os.path.join(folder, name), "rb") as f:
                    deliver(maildirs, uid, gid, "taro", f.read())
        pop3, pop3s, smtp, smtps, smtp_plain = (free_port() for _ in range(5))
        conf, log = write_dovecot_config(state, cert, key, pop3, pop3s, users)
        dovecot = subprocess.Popen(["/usr/sbin/dovecot", "-F", "-c", conf],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(state, "dovecot.stderr"), "wb"))
        dovecot_pid = dovecot.pid

        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(cert, key)
        handler = Delivery(maildirs, uid, gid)
        for port, kind in ((smtp, "starttls"), (smtps, "implicit"), (smtp_plain, "plain")):
            c = SmtpController(handler, port, tls, kind)
            c.start()
            controllers.append(c)

        deadline = time.time() + 15
        for port in (pop3, pop3s, smtp, smtps, smtp_plain):
            if not wait_listening(port, deadline):
                raise RuntimeError("port %d does not listen; see %s" % (port, state))
        if dovecot.poll() is not None:
            raise RuntimeError("dovecot ended: " + open(os.path.join(state, "dovecot.stderr")).read())

        print(json.dumps({
            "pop3": pop3, "pop3s": pop3s, "smtp": smtp, "smtps": smtps, "smtpPlain": smtp_plain,
            "state": state, "cert": cert, "dovecotLog": log, "smtpAuthLog": AUTH_LOG[0], "domain": DOMAIN,
            "maildirs": maildirs, "pids": {"dovecot": dovecot_pid, "self": os.getpid()},
        }), flush=True)

        def watch_stdin():
            swaps = 0
            try:
                for line in sys.stdin:
                    words = line.split()
                    if words and words[0] == "present" and len(words) == 2:
                        swaps += 1
                        print(json.dumps(present(state, cert, key, tls, dovecot_pid, (pop3s, smtps), swaps,
                                                 words[1])), flush=True)
            except OSError:
                pass
            stopping.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
        while not stopping.wait(0.2):
            if dovecot.poll() is not None:
                break
    except Exception as e:  # the caller reads this line as the failure reason
        print(json.dumps({"error": str(e)}), flush=True)
    finally:
        for c in controllers:
            try:
                c.stop()
            except Exception:
                pass
        if dovecot_pid:
            try:
                os.kill(dovecot_pid, signal.SIGTERM)
                for _ in range(100):
                    if os.waitpid(dovecot_pid, os.WNOHANG)[0]:
                        break
                    time.sleep(0.05)
                else:
                    os.kill(dovecot_pid, signal.SIGKILL)
                    os.waitpid(dovecot_pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass
        if not keep:
            shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    main()
