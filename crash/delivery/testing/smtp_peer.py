"""SMTP servers on 127.0.0.1 for the delivery tests, built on aiosmtpd.

  smtp_peer.py --control PORT NAME:MODE...

Each NAME:MODE is one server on its own free port ("port NAME N"). Modes:
  plain             no AUTH offered
  auth-login        offers "AUTH=LOGIN"; user "reporter", password "s3cret"
  auth-plain-login  offers "AUTH PLAIN LOGIN"; the same credentials
  auth-plain        offers "AUTH PLAIN" only
  split             plain, but the EHLO reply comes in two parts, cut
                    inside a line
  helo-only         answers EHLO with 502, so only HELO works
  silent            accepts connections and never says a word
Every server refuses recipients whose address contains "reject". Events:
"connect NAME", "NAME VERB" for HELO, EHLO, RSET and QUIT, and
"NAME AUTH MECHANISM" for each authentication tried.
Request "count" gives "count", the number of messages received so far;
"message K" gives the K-th message received (from 1): "from",
"to" (one address a line), "raw" (the data as received, dots removed),
"subject" (decoded, Latin-1), "body" (the text), and "file:NAME" per
attachment, decoded.
"""
import asyncio
import email
import email.policy
import sys
import threading
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

import peer_control

USER, PASSWORD = b"reporter", b"s3cret"
AUTH_LINES = {"auth-login": "250-AUTH=LOGIN", "auth-plain-login": "250-AUTH PLAIN LOGIN",
              "auth-plain": "250-AUTH PLAIN"}

messages = []
messages_lock = threading.Lock()


class Handler:
    def __init__(self, name, mode, control):
        self.name, self.mode, self.control = name, mode, control

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        self.control.event(f"{self.name} EHLO")
        session.host_name = hostname
        if self.mode == "helo-only":
            return ["502 EHLO not here"]
        lines = [r for r in responses if not r.startswith("250-AUTH")]
        if self.mode in AUTH_LINES:
            lines.insert(1, AUTH_LINES[self.mode])
        if self.mode == "split":
            text = "".join(line + "\r\n" for line in lines).encode()
            cut = len(lines[0]) + 2 + 3  # inside the second line
            server._writer.write(text[:cut])
            await server._writer.drain()
            await asyncio.sleep(0.3)
            server._writer.write(text[cut:])
            await server._writer.drain()
            return []
        return lines

    async def handle_HELO(self, server, session, envelope, hostname):
        self.control.event(f"{self.name} HELO")
        session.host_name = hostname
        return f"250 {server.hostname}"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if "reject" in address:
            return "550 no such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_RSET(self, server, session, envelope):
        self.control.event(f"{self.name} RSET")
        return "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        self.control.event(f"{self.name} QUIT")
        return "221 Bye"

    async def handle_DATA(self, server, session, envelope):
        with messages_lock:
            messages.append((envelope.mail_from, list(envelope.rcpt_tos),
                             bytes(envelope.original_content)))
        return "250 OK"


def authenticator(name, control):
    def authenticate(server, session, envelope, mechanism, auth_data):
        control.event(f"{name} AUTH {mechanism}")
        ok = isinstance(auth_data, LoginPassword) and \
            auth_data.login == USER and auth_data.password == PASSWORD
        # Not "handled": aiosmtpd then answers 535 itself.
        return AuthResult(success=ok, handled=False)
    return authenticate


class RecordingSMTP(SMTP):
    def __init__(self, handler, **kwargs):
        super().__init__(handler, **kwargs)
        self._name_for_events = handler.name
        self._control = handler.control

    def connection_made(self, transport):
        self._control.event(f"connect {self._name_for_events}")
        super().connection_made(transport)


async def start(name, mode, control):
    if mode == "silent":
        async def quiet(reader, writer):
            control.event(f"connect {name}")
            await reader.read()
            writer.close()
        server = await asyncio.start_server(quiet, "127.0.0.1", 0)
    else:
        handler = Handler(name, mode, control)
        exclude = ["LOGIN"] if mode == "auth-plain" else []
        server = await asyncio.get_running_loop().create_server(
            lambda: RecordingSMTP(handler, hostname="peer.test", decode_data=False,
                                  auth_require_tls=False,
                                  authenticator=authenticator(name, control),
                                  auth_exclude_mechanism=exclude),
            "127.0.0.1", 0)
    control.announce(name, server.sockets[0].getsockname()[1])
    return server


def message_items(request):
    if request == "count":
        with messages_lock:
            return [("count", str(len(messages)).encode())]
    index = int(request.split()[1]) - 1
    with messages_lock:
        if not 0 <= index < len(messages):
            return []
        sender, recipients, raw = messages[index]
    mail = email.message_from_bytes(raw, policy=email.policy.default)
    items = [("from", sender.encode()), ("to", "\n".join(recipients).encode()), ("raw", raw),
             ("subject", str(mail["subject"] or "").encode("latin-1"))]
    if mail.is_multipart():
        parts = list(mail.iter_parts())
        items.append(("body", parts[0].get_payload(decode=True)))
        for part in parts[1:]:
            items.append(("file:" + part.get_filename(), part.get_payload(decode=True)))
    else:
        items.append(("body", mail.get_payload(decode=True)))
    return items


def main():
    # aiosmtpd warns about its own deprecated attributes on every login.
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    argv = sys.argv
    control = peer_control.Control(int(argv[argv.index("--control") + 1]))
    wanted = [a.split(":", 1) for a in argv[1:] if ":" in a]
    loop = asyncio.new_event_loop()
    servers = [loop.run_until_complete(start(name, mode, control)) for name, mode in wanted]
    threading.Thread(target=loop.run_forever, daemon=True).start()
    control.serve(message_items)


if __name__ == "__main__":
    main()
