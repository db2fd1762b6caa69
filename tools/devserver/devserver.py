#!/usr/bin/env python3
"""Local stand-in for the product server, for development and tests.

Serves every endpoint the programs use on loopback, records each request it
receives as one JSON file, and answers as DIR/scenario.json says, read anew on
every request so a test can switch scenarios while the server runs.

    devserver.py --port 8443 --cert-dir DIR --record DIR [--rule-file FILE]
                 [--port-file FILE] [--pid-file FILE] [--watch-pid PID] [--http]

Python 3 standard library only; the certificate is made with the openssl tool.

scenario.json (every key optional; a missing file means the defaults):
  init, init_raw            the start-up answer (/api.init.php) as an object, or a
                            text sent as it is (malformed JSON, repeated keys)
  companion, companion_raw  the same for /vorlix.php (default: the start-up answer)
  report_key                the key /report.php answers with (default "ab12");
  report, report_raw        or its whole answer
  status  {"path": code}    another status; 204 sends no body
  delay   {"path": seconds} wait before answering
  big     {"path": bytes}   pad the answer to that size (with big_fill, default " ")
  cut     {"path": bytes}   announce the whole length, send that many bytes, close
  rule_text, rule_file      serve this text or file as the rule file
  rule_entries, rule_version  keep the first N entries; set the "; Version:" line
Paths are matched without the query, or with it exactly; a key ending in "*"
matches by prefix. "{{origin}}" in an answer becomes this server's origin.
"""

import argparse
import base64
import fcntl
import html
import json
import os
import re
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024


def log(message):
    sys.stderr.write("devserver: %s\n" % message)
    sys.stderr.flush()


def write_atomically(path, data):
    """Readers (tests polling the record folder) never see half a file."""
    folder, name = os.path.split(path)
    temp = os.path.join(folder or ".", ".%s.%d.%d.tmp" % (name, os.getpid(), threading.get_ident()))
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, path)


# --- certificate ---------------------------------------------------------------------------------


def ensure_certificate(cert_dir):
    """A throwaway self-signed certificate for localhost, made once and reused."""
    os.makedirs(cert_dir, exist_ok=True)
    cert = os.path.join(cert_dir, "cert.pem")
    key = os.path.join(cert_dir, "key.pem")
    # Two servers starting at once must not both write the pair.
    with open(os.path.join(cert_dir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.isfile(cert) and os.path.isfile(key):
            return cert, key
        new_cert, new_key = cert + ".new", key + ".new"
        command = [
            "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
            "-keyout", new_key, "-out", new_cert, "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,digitalSignature,keyEncipherment,keyCertSign",
            "-addext", "extendedKeyUsage=serverAuth",
        ]  # yapf: disable
        try:
            subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=60)
        except FileNotFoundError:
            raise SystemExit("devserver: the openssl tool is missing (run tools/setup)")
        except subprocess.CalledProcessError as e:
            raise SystemExit("devserver: openssl failed: %s" % e.stderr.decode(errors="replace"))
        os.replace(new_key, key)  # the key first: a cert without its key is never left alone
        os.replace(new_cert, cert)
        log("made a certificate for localhost in %s" % cert_dir)
        return cert, key


# --- scenario ------------------------------------------------------------------------------------


class ScenarioError(Exception):
    pass


def read_scenario(record_dir):
    if not record_dir:
        return {}
    path = os.path.join(record_dir, "scenario.json")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return {}
    except OSError as e:
        raise ScenarioError("cannot read %s: %s" % (path, e))
    if not data.strip():
        return {}
    try:
        scenario = json.loads(data.decode("utf-8-sig"))
    except ValueError as e:
        raise ScenarioError("scenario.json is not valid JSON: %s" % e)
    if not isinstance(scenario, dict):
        raise ScenarioError("scenario.json must hold an object")
    return scenario


def per_path(scenario, field, path, query):
    """The value of a {"<path>": value} field for this request.

    Keys match the path without its query, or the path with its query exactly;
    a key ending in "*" matches every path that begins with the rest of it.
    """
    table = scenario.get(field)
    if not isinstance(table, dict):
        return None
    full = path + ("?" + query if query else "")
    for key in (full, path):
        if key in table:
            return table[key]
    best = None
    for key, value in table.items():
        if key.endswith("*") and path.startswith(key[:-1]):
            if best is None or len(key) > len(best[0]):
                best = (key, value)
    return best[1] if best else None


# --- rule file -----------------------------------------------------------------------------------

VERSION_LINE = re.compile(rb"^(\s*;\s*version:\s*)(\S*)(.*)$", re.IGNORECASE | re.DOTALL)


def windows_path_to_host(path):
    """Tests running under Wine may name a host file by its Z: path."""
    if re.match(r"^[zZ]:[\\/]", path):
        return "/" + path[3:].replace("\\", "/")
    return path


def with_version(text, version):
    """The text with the number of its "; Version:" line replaced (one is added when missing)."""
    lines = text.splitlines(keepends=True)
    # The programs look for the line among the first 20.
    for i, line in enumerate(lines[:20]):
        body = line.rstrip(b"\r\n")
        bom = b"\xef\xbb\xbf" if body.startswith(b"\xef\xbb\xbf") else b""
        match = VERSION_LINE.match(body[len(bom):])
        if match:
            lines[i] = bom + match.group(1) + version + match.group(3) + line[len(body):]
            return b"".join(lines)
    newline = b"\r\n" if b"\r\n" in text[:4096] or not text else b"\n"
    bom = b"\xef\xbb\xbf" if text.startswith(b"\xef\xbb\xbf") else b""
    return bom + b"; Version: " + version + newline + text[len(bom):]


def first_entries(text, count):
    """The header and the first `count` entries; an entry begins at a line "[Name]"."""
    out = []
    seen = 0
    for line in text.splitlines(keepends=True):
        stripped = line.strip()
        if stripped.startswith(b"\xef\xbb\xbf"):
            stripped = stripped[3:]
        if stripped.startswith(b"[") and stripped.endswith(b"]"):
            seen += 1
            if seen > count:
                break
        out.append(line)
    return b"".join(out)


# --- server --------------------------------------------------------------------------------------


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, options, tls_context):
        self.options = options
        self.tls_context = tls_context
        self.sequence = 0
        self.sequence_lock = threading.Lock()
        super().__init__(address, Handler)

    @property
    def origin(self):
        scheme = "https" if self.tls_context else "http"
        return "%s://localhost:%d" % (scheme, self.server_address[1])

    def next_sequence(self):
        with self.sequence_lock:
            self.sequence += 1
            return self.sequence

    def finish_request(self, request, client_address):
        # The TLS handshake happens here, on the connection's own thread, so a
        # slow or broken client cannot hold up the accepting loop.
        if not self.tls_context:
            return super().finish_request(request, client_address)
        request.settimeout(15)
        try:
            tls = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            log("TLS handshake with %s:%d failed: %s" % (client_address[0], client_address[1], e))
            return
        try:
            super().finish_request(tls, client_address)
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, ssl.SSLError, socket.timeout)):
            return  # the client went away: its business
        super().handle_error(request, client_address)


HTML_PAGE = """<!doctype html>
<html lang="ko"><head><meta charset="utf-8"><title>{title}</title></head>
<body><h1>{title}</h1><p>{text}</p></body></html>
"""


class Answer:
    def __init__(self, status=200, body=b"", content_type="text/plain; charset=utf-8"):
        self.status = status
        self.body = body
        self.content_type = content_type


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VorlixDevServer/1"
    sys_version = ""
    timeout = 60  # an idle kept-alive connection is dropped after this

    def do_GET(self):
        self.serve()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_OPTIONS = do_PATCH = do_GET

    def log_message(self, format, *args):
        pass  # one line per request is written by serve()

    def log_error(self, format, *args):
        log("%s: %s" % (self.client_address[0], format % args))

    # -- request ----------------------------------------------------------------------------------

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            parts = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass  # trailers
                    return b"".join(parts)
                parts.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def record(self, sequence, body):
        folder = self.server.options.record
        if not folder:
            return
        entry = {
            "seq": sequence,
            "time": time.time(),
            "method": self.command,
            "path": self.path,
            "http_version": self.request_version,
            "tls": self.server.tls_context is not None,
            "headers": [[name, value] for name, value in self.headers.items()],
            "body": body.decode("utf-8", errors="replace"),
            "body_base64": base64.b64encode(body).decode("ascii"),
        }
        data = json.dumps(entry, ensure_ascii=False, indent=1).encode("utf-8")
        write_atomically(os.path.join(folder, "%06d.json" % sequence), data)

    # -- answers ----------------------------------------------------------------------------------

    def json_answer(self, scenario, value_field, raw_field, default):
        if isinstance(scenario.get(raw_field), str):
            text = scenario[raw_field]
        else:
            # Compact: the programs find the report key by the exact text "pk":" with no blank.
            text = json.dumps(scenario.get(value_field, default), ensure_ascii=False, separators=(",", ":"))
        text = text.replace("{{origin}}", self.server.origin)
        return Answer(200, text.encode("utf-8"), "application/json; charset=utf-8")

    def html_answer(self, title, text):
        page = HTML_PAGE.format(title=html.escape(title), text=html.escape(text))
        return Answer(200, page.encode("utf-8"), "text/html; charset=utf-8")

    def rule_answer(self, scenario):
        if isinstance(scenario.get("rule_text"), str):
            text = scenario["rule_text"].encode("utf-8")
        else:
            source = scenario.get("rule_file") or self.server.options.rule_file
            if not source:
                return Answer(404, b"no rule file: start the server with --rule-file\n")
            try:
                with open(windows_path_to_host(source), "rb") as f:
                    text = f.read()
            except OSError as e:
                return Answer(500, ("cannot read the rule file: %s\n" % e).encode("utf-8"))
        if scenario.get("rule_entries") is not None:
            text = first_entries(text, int(scenario["rule_entries"]))
        if scenario.get("rule_version") is not None:
            text = with_version(text, str(scenario["rule_version"]).encode("utf-8"))
        return Answer(200, text, "text/plain; charset=utf-8")

    def answer(self, scenario, path, query):
        method = self.command
        reading = method in ("GET", "HEAD")
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        if path == "/api.init.php" or path == "/vorlix.php":
            if not reading:
                return Answer(405, b"method not allowed\n")
            if path == "/vorlix.php" and ("companion" in scenario or "companion_raw" in scenario):
                return self.json_answer(scenario, "companion", "companion_raw", {"status": "ok"})
            return self.json_answer(scenario, "init", "init_raw", {"status": "ok"})
        if path == "/report.php":
            if method != "POST":
                return Answer(405, b"method not allowed\n")
            key = str(scenario.get("report_key", "ab12"))
            return self.json_answer(scenario, "report", "report_raw", {"status": "ok", "pk": key})
        if path == "/except.php":
            if method != "POST":
                return Answer(405, b"method not allowed\n")
            return Answer(200, b"ok")
        if not reading:
            return Answer(405 if self.known_page(path) else 404, b"method not allowed\n")
        if path == "/":
            key = params.get("report", [None])[0]
            if key is not None:
                return self.html_answer("Vorlix report", "report " + key)
            return self.html_answer("Vorlix", "the product site")
        if path in ("/vorlix", "/vorlix/"):
            return self.html_answer("Vorlix", "the product page")
        if path.startswith("/entry/"):
            name = urllib.parse.unquote(path[len("/entry/"):])
            return self.html_answer("Vorlix entry", name)
        if path.lower() == "/winapp2.ini" or path.startswith("/rules/"):
            return self.rule_answer(scenario)
        return Answer(404, b"not found\n")

    @staticmethod
    def known_page(path):
        return path in ("/", "/vorlix", "/vorlix/", "/winapp2.ini") or path.startswith(("/entry/", "/rules/"))

    def serve(self):
        started = time.monotonic()
        sequence = self.server.next_sequence()
        split = urllib.parse.urlsplit(self.path)
        path, query = split.path or "/", split.query
        try:
            body = self.read_body()
        except (ValueError, OSError) as e:
            log("%06d %s %s: cannot read the body: %s" % (sequence, self.command, self.path, e))
            self.close_connection = True
            return
        # Recorded before answering: once a client has its answer, the record exists.
        self.record(sequence, body)

        try:
            scenario = read_scenario(self.server.options.record)
            answer = self.answer(scenario, path, query)
            override = per_path(scenario, "status", path, query)
            if override is not None:
                answer.status = int(override)
                if not 200 <= answer.status < 300:
                    answer.body = ("%d %s\n" % (answer.status, self.responses.get(answer.status, ("",))[0])).encode()
                    answer.content_type = "text/plain; charset=utf-8"
            big = per_path(scenario, "big", path, query)
            delay = per_path(scenario, "delay", path, query)
            cut = per_path(scenario, "cut", path, query)
            fill = str(scenario.get("big_fill", " ")).encode("utf-8")[:1] or b" "
        except (ScenarioError, ValueError, TypeError) as e:
            log("%06d scenario: %s" % (sequence, e))
            answer, big, delay, cut, fill = Answer(500, ("scenario: %s\n" % e).encode("utf-8")), None, None, None, b" "

        if answer.status in (204, 304) or 100 <= answer.status < 200:
            answer.body = b""
        try:
            if delay:
                time.sleep(float(delay))
            sent = self.send(answer, big, cut, fill)
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError) as e:
            log("%06d %s %s -> %d, client gone: %s" % (sequence, self.command, self.path, answer.status, e))
            self.close_connection = True
            return
        log("%06d %s %s -> %d, %d bytes%s, %.2f s" %
            (sequence, self.command, self.path, answer.status, sent, " (cut)" if cut is not None else "",
             time.monotonic() - started))

    def send(self, answer, big, cut, fill):
        """Sends the answer; returns the number of body bytes written."""
        body = answer.body
        length = len(body) if big is None else int(big)  # "big": the answer padded (or cut) to that size
        announced = length
        if cut is not None:
            # A broken download: exactly `cut` bytes arrive, fewer than announced.
            length = int(cut)
            announced = announced if announced > length else length + 1024

        self.send_response(answer.status)
        self.send_header("Content-Type", answer.content_type)
        self.send_header("Content-Length", str(announced))
        if cut is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return 0

        head = body[:length]
        self.wfile.write(head)
        sent = len(head)
        block = fill * CHUNK
        while sent < length:
            part = block[:min(CHUNK, length - sent)]
            self.wfile.write(part)
            sent += len(part)
        self.wfile.flush()
        if cut is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        return sent


# --- main ----------------------------------------------------------------------------------------


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Local stand-in for the product server.")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (0: any free one)")
    parser.add_argument("--port-file", help="write the port here once listening")
    parser.add_argument("--pid-file", help="write the process id here once listening")
    parser.add_argument("--record", help="folder for request records and scenario.json")
    parser.add_argument("--cert-dir", help="folder of the certificate (made there when missing)")
    parser.add_argument("--rule-file", help="the rule file served at /winapp2.ini and /rules/...")
    parser.add_argument("--http", action="store_true", help="plain HTTP instead of HTTPS")
    parser.add_argument("--watch-pid", type=int, help="stop when this process has ended")
    return parser.parse_args(argv)


def remove_if_ours(path, content):
    try:
        with open(path) as f:
            if f.read().strip() == content:
                os.remove(path)
    except OSError:
        pass


def main(argv=None):
    options = parse_args(argv)
    if options.record:
        os.makedirs(options.record, exist_ok=True)
    context = None
    if not options.http:
        if not options.cert_dir:
            raise SystemExit("devserver: --cert-dir is required for HTTPS (or use --http)")
        cert, key = ensure_certificate(options.cert_dir)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)

    try:
        server = Server(("127.0.0.1", options.port), options, context)
    except OSError as e:
        log("cannot listen on 127.0.0.1:%d: %s" % (options.port, e))
        return 3

    port = str(server.server_address[1])
    pid = str(os.getpid())
    # Both files only now that the socket listens: a reader may connect at once.
    if options.pid_file:
        write_atomically(options.pid_file, (pid + "\n").encode())
    if options.port_file:
        write_atomically(options.port_file, (port + "\n").encode())

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if hasattr(signal, "SIGHUP"):
        signal.signal(signal.SIGHUP, stop)

    if options.watch_pid:

        def watch():
            while True:
                time.sleep(1)
                try:
                    os.kill(options.watch_pid, 0)
                except ProcessLookupError:
                    log("process %d has ended: stopping" % options.watch_pid)
                    server.shutdown()
                    return
                except PermissionError:
                    pass

        threading.Thread(target=watch, daemon=True).start()

    log("listening on %s (record: %s)" % (server.origin, options.record or "off"))
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        if options.port_file:
            remove_if_ours(options.port_file, port)
        if options.pid_file:
            remove_if_ours(options.pid_file, pid)
        log("stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
