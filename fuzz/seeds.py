#!/usr/bin/python3
"""Writes the seed corpus of every fuzz target: fuzz/seeds.py OUT_DIR (one folder per target).

The mails are the demo's sample mails (scripts/demo/sample_mails.py) and a few hand-made hostile
ones; the other targets get inputs in the shape their harness takes apart (pieces end at 0xFF)."""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts", "demo"))
import sample_mails  # noqa: E402

SEP = b"\xff"


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def mails():
    out = [sample_mails.build(i, m, ROOT) for i, m in enumerate(sample_mails.MAILS, 1)]
    nested = b"Subject: nested\r\nContent-Type: multipart/mixed; boundary=x0\r\n\r\n"
    for i in range(1, 60):
        nested += b"--x%d\nContent-Type: multipart/mixed; boundary=x%d\n\n" % (i - 1, i)
    out.append(nested)
    out.append(b"From: root\r\nSubject: partial\r\nMIME-Version: 1.0\r\n"
               b"Content-Type: message/partial; id=\"p@x\"; number=1; total=2\r\n\r\nFrom: x\r\n\r\nhalf")
    out.append(b"From: =?UTF-8?B?5bGx55Sw?=\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
               b"Content-Type: text/html; charset=utf-8\r\n\r\n<p>a<script>x<<<b</p>&#x2460;&amp\r\n--b\r\n"
               b"Content-Type: application/octet-stream\r\nContent-Disposition: attachment;\r\n"
               b" filename*0*=UTF-8''..%2F..%2Fetc%2F;\r\n filename*1*=passwd\r\n"
               b"Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--b\r\n"
               b"Content-Type: message/rfc822\r\n\r\nFrom: inner\r\n\r\ninner body\r\n--b--\r\n")
    out.append(b"Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n"
               b"Content-Transfer-Encoding: quoted-printable\r\n\r\n=1B$B$\"=1B(B=\r\n=ZZ")
    return out


def main():
    out = sys.argv[1]
    for i, m in enumerate(mails()):
        write(os.path.join(out, "fuzz_mail_reader"), "mail%02d" % i, m)

    texts = ["犬の散歩①", "ﾊﾝｶｸ", "〜～‖−", "plain ascii", "Wanderpup（③の選択）"]
    for i, t in enumerate(texts):
        for j, (charset, sel) in enumerate([("iso-2022-jp", 1), ("shift_jis", 3), ("euc-jp", 5), ("utf-8", 6)]):
            try:
                data = t.encode(charset)
            except UnicodeEncodeError:
                continue
            write(os.path.join(out, "fuzz_charsets"), "t%d_%d" % (i, j), bytes([sel, j % 2]) + data)
        write(os.path.join(out, "fuzz_cp932_fields"), "t%d" % i, bytes([7 + 13 * i]) + t.encode("utf-16-le"))

    write(os.path.join(out, "fuzz_ini"), "a",
          SEP.join([b"EXEINI", b"NAME", b"taro", b"EXEINI", b"NAME2",
                    b"[EXEINI]\r\nNAME=taro\r\nNAME2=\"pass\"\r\n; comment\r\n[Other]\r\nk=v"]))
    write(os.path.join(out, "fuzz_ini"), "b",
          SEP.join(["表示".encode("cp932"), "ソフト".encode("cp932"), "値".encode("cp932"), b"x", b"y",
                    "[表示]\r\nソフト = 古い\r\n".encode("cp932")]))

    record = ("件名".encode("cp932").ljust(100) + b"date".ljust(90) + b"a@b".ljust(90)
              + "本文".encode("cp932").ljust(32000) + b"\r\n" + struct.pack("<h", 1))
    write(os.path.join(out, "fuzz_history"), "a", SEP.join([b"subject", b"body"]) + b"\x01" + record + record[:100])
    write(os.path.join(out, "fuzz_history"), "b", SEP.join([b"s", b"b"]) + b"\x02" + record[:-2] + b"\x00\x00")

    for i, s in enumerate([b"mail.example.jp", b"pop3s://mail.example.jp:995", b"[::1]:110", b"h/x:25",
                           b"pop3+plain://127.0.0.1:1110", b"smtp://u@smtp.example.jp:587/", b"[fe80::1%eth0]"]):
        write(os.path.join(out, "fuzz_server_address"), "s%d" % i, bytes([i % 2]) + s)

    dialogue = (b"+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n+OK 2 90\r\n+OK\r\n1 40\r\n2 50\r\n.\r\n+OK\r\n1 a\r\n2 b\r\n.\r\n"
                b"+OK 40 octets\r\nSubject: one\r\n\r\n..dot\r\nbody\r\n.\r\n-ERR no\r\n+OK\r\n+OK\r\n+OK bye\r\n")
    write(os.path.join(out, "fuzz_pop3_reader"), "a", b"\x07\x05" + dialogue)
    write(os.path.join(out, "fuzz_pop3_reader"), "b", b"\x01\x01" + dialogue.replace(b"PIPELINING\r\n", b""))


if __name__ == "__main__":
    main()
