"""HTTP servers on 127.0.0.1 that take crash uploads, for the upload tests.

  http_upload_peer.py --control PORT NAME:MODE...

Each NAME:MODE is one server on its own free port ("port NAME N"); every
POST is recorded and answered by its mode:
  ok         200
  fail       500
  busy       429 with "Retry-After: 120"
  busy-date  429 with "Retry-After" the HTTP date 120 seconds from now
Request "count NAME" gives "count", the requests that server received;
"request NAME K" gives the K-th of them (from 1): "method", "path",
"head" (request line and headers as received), "content_type",
"content_encoding", "fields" (one part a line: its name, and its file
name after a space for files) and "part:NAME" per part, the part's bytes
after undoing any gzip encoding of the body. The form is read with
Python's own MIME parser.
"""
import email.parser
import email.policy
import email.utils
import gzip
import http.server
import sys
import threading
import time

import peer_control

requests = {}
requests_lock = threading.Lock()


def handler_for(name, mode):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            head = self.requestline + "\r\n" + "".join(
                f"{key}: {value}\r\n" for key, value in self.headers.items())
            with requests_lock:
                requests.setdefault(name, []).append(
                    (self.command, self.path, head, self.headers.get("Content-Type", ""),
                     self.headers.get("Content-Encoding", ""), body))
            if mode == "ok":
                self.answer(200, {})
            elif mode == "fail":
                self.answer(500, {})
            elif mode == "busy":
                self.answer(429, {"Retry-After": "120"})
            else:
                self.answer(429, {"Retry-After": email.utils.formatdate(time.time() + 120,
                                                                        usegmt=True)})

        def answer(self, status, headers):
            text = b"recorded\n"
            self.send_response(status)
            for key, value in headers.items():
                self.send_header(key, value)
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)

        def log_message(self, *args):
            pass
    return Handler


def form_parts(content_type, body):
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body)
    parts = []
    for part in message.iter_parts():
        parts.append((part.get_param("name", header="content-disposition"),
                      part.get_filename(), part.get_payload(decode=True)))
    return parts


def request_items(request):
    words = request.split()
    with requests_lock:
        received = list(requests.get(words[1], []))
    if words[0] == "count":
        return [("count", str(len(received)).encode())]
    index = int(words[2]) - 1
    if not 0 <= index < len(received):
        return []
    method, path, head, content_type, encoding, body = received[index]
    if encoding == "gzip":
        body = gzip.decompress(body)
    parts = form_parts(content_type, body)
    fields = "\n".join(n + (" " + f if f else "") for n, f, _ in parts)
    items = [("method", method.encode()), ("path", path.encode()), ("head", head.encode()),
             ("content_type", content_type.encode()), ("content_encoding", encoding.encode()),
             ("fields", fields.encode())]
    items += [("part:" + n, data) for n, _, data in parts]
    return items


def main():
    argv = sys.argv
    control = peer_control.Control(int(argv[argv.index("--control") + 1]))
    for name, mode in (a.split(":", 1) for a in argv[1:] if ":" in a):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler_for(name, mode))
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
        control.announce(name, server.server_address[1])
    control.serve(request_items)


if __name__ == "__main__":
    main()
