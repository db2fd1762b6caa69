#!/usr/bin/env python3
"""Tests of the development server: what it records and how each scenario answers.

Runs the real server as a child process, over plain HTTP and over HTTPS.
    python3 tools/devserver/test_devserver.py
"""

import base64
import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "devserver.py")

RULES = ("\ufeff; Version: 100\r\n"
         "; # of entries: 3\r\n"
         ";\r\n"
         "\r\n"
         "[Alpha *]\r\n"
         "LangSecRef=3021\r\n"
         "FileKey1=%Temp%|*.tmp\r\n"
         "\r\n"
         "[Beta *]\r\n"
         "FileKey1=%Temp%|*.log\r\n"
         "\r\n"
         "[Gamma *]\r\n"
         "FileKey1=%Temp%|*.bak\r\n").encode("utf-8")


class Running:
    """One server process and its folders."""

    def __init__(self, root, https):
        self.root = root
        self.record = os.path.join(root, "record")
        self.cert_dir = os.path.join(root, "cert")
        self.rule_file = os.path.join(root, "rules.ini")
        self.port_file = os.path.join(root, "port")
        self.pid_file = os.path.join(root, "pid")
        self.https = https
        with open(self.rule_file, "wb") as f:
            f.write(RULES)
        command = [sys.executable, SERVER, "--port", "0", "--port-file", self.port_file, "--pid-file",
                   self.pid_file, "--record", self.record, "--rule-file", self.rule_file]
        command += ["--cert-dir", self.cert_dir] if https else ["--http"]
        self.log = open(os.path.join(root, "server.log"), "wb")
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.port_file):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the server did not start: " + self.server_log())
            time.sleep(0.02)
        with open(self.port_file) as f:
            self.port = int(f.read())

    def server_log(self):
        with open(os.path.join(self.root, "server.log"), "rb") as f:
            return f.read().decode(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()

    def connection(self, timeout=10):
        if self.https:
            context = ssl.create_default_context(cafile=os.path.join(self.cert_dir, "cert.pem"))
            return http.client.HTTPSConnection("localhost", self.port, timeout=timeout, context=context)
        return http.client.HTTPConnection("localhost", self.port, timeout=timeout)

    def request(self, method, path, body=None, headers=(), timeout=10):
        """(status, headers, body) of one request; headers are sent in the order given."""
        c = self.connection(timeout)
        try:
            c.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
            if not any(name.lower() == "host" for name, _ in headers):
                c.putheader("Host", "localhost:%d" % self.port)
            for name, value in headers:
                c.putheader(name, value)
            if body is not None:
                c.putheader("Content-Length", str(len(body)))
            c.endheaders(body)
            r = c.getresponse()
            return r.status, r.getheaders(), r.read()
        finally:
            c.close()

    def scenario(self, value):
        data = value if isinstance(value, str) else json.dumps(value)
        path = os.path.join(self.record, "scenario.json")
        with open(path + ".tmp", "w") as f:
            f.write(data)
        os.replace(path + ".tmp", path)

    def records(self):
        names = sorted(n for n in os.listdir(self.record) if len(n) == 11 and n[:6].isdigit())
        out = []
        for name in names:
            with open(os.path.join(self.record, name), encoding="utf-8") as f:
                out.append(json.load(f))
        return out


class ServerTest(unittest.TestCase):
    https = False

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="devserver-test-")
        cls.server = Running(cls.root, cls.https)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.server.scenario({})

    def last_record(self):
        return self.server.records()[-1]


class Plain(ServerTest):

    def test_headers_are_recorded_in_the_order_received(self):
        # The programs' header order is part of what they must send.
        headers = [("User-Version", "4.0.1.0"), ("User-Language", "ko"), ("User-Debug", "false"),
                   ("User-Union", "0123456789ABCDEF0123456789ABCDEF"), ("X-Same", "1"), ("X-Same", "2")]
        status, _, _ = self.server.request("GET", "/api.init.php", headers=[("Host", "localhost")] + headers)
        self.assertEqual(status, 200)
        record = self.last_record()
        self.assertEqual(record["method"], "GET")
        self.assertEqual(record["path"], "/api.init.php")
        self.assertEqual(record["headers"], [["Host", "localhost"]] + [list(h) for h in headers])

    def test_records_are_numbered_in_arrival_order_and_keep_the_query(self):
        before = len(self.server.records())
        for path in ("/vorlix", "/?report=k1", "/entry/hkcu/onedrive"):
            self.server.request("GET", path)
        records = self.server.records()[before:]
        self.assertEqual([r["path"] for r in records], ["/vorlix", "/?report=k1", "/entry/hkcu/onedrive"])
        self.assertEqual([r["seq"] for r in records], list(range(before + 1, before + 4)))

    def test_a_body_that_is_not_utf8_is_kept_exactly(self):
        body = b"[{\"cate\":\"memory\"}]\xff\xfe\x00end"
        status, _, answer = self.server.request("POST", "/report.php", body,
                                                [("Content-Type", "application/json")])
        self.assertEqual(status, 200)
        record = self.last_record()
        self.assertEqual(base64.b64decode(record["body_base64"]), body)
        self.assertIn("\ufffd", record["body"])
        self.assertIn(b'"pk":"ab12"', answer)

    def test_report_key_is_chosen_by_the_scenario(self):
        self.server.scenario({"report_key": "zz99"})
        _, _, answer = self.server.request("POST", "/report.php", b"[]")
        self.assertIn(b'"pk":"zz99"', answer)

    def test_report_page_shows_the_key_escaped(self):
        status, headers, page = self.server.request("GET", "/?report=%3Cb%3E")
        self.assertEqual(status, 200)
        self.assertIn("text/html", dict(headers)["Content-Type"])
        self.assertIn(b"&lt;b&gt;", page)

    def test_init_answers_ok_by_default_and_the_scenario_object_otherwise(self):
        _, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual(json.loads(body), {"status": "ok"})
        init = {"status": "ok", "update": "https://localhost/dl", "winapp2_ver": 7, "info": {"style": "hold"}}
        self.server.scenario({"init": init})
        _, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual(json.loads(body), init)

    def test_init_raw_is_sent_byte_for_byte(self):
        # Duplicate keys and broken JSON cannot pass through a dict.
        raw = '{"update":"a","update":"b","t":"\u314e"'
        self.server.scenario({"init_raw": raw})
        _, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual(body, raw.encode("utf-8"))

    def test_origin_placeholder_names_this_server(self):
        self.server.scenario({"init": {"winapp2_url": "{{origin}}/rules/new.ini"}})
        _, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual(json.loads(body)["winapp2_url"], "http://localhost:%d/rules/new.ini" % self.server.port)

    def test_companion_check_shares_init_unless_given_its_own(self):
        self.server.scenario({"init": {"update": "u1"}})
        self.assertEqual(json.loads(self.server.request("GET", "/vorlix.php")[2]), {"update": "u1"})
        self.server.scenario({"init": {"update": "u1"}, "companion_raw": "{\"notify\":\"n\"}"})
        self.assertEqual(self.server.request("GET", "/vorlix.php")[2], b"{\"notify\":\"n\"}")

    def test_status_override_applies_to_its_path_only(self):
        self.server.scenario({"status": {"/api.init.php": 503, "/entry/*": 404}})
        self.assertEqual(self.server.request("GET", "/api.init.php")[0], 503)
        self.assertEqual(self.server.request("GET", "/entry/hklm/x")[0], 404)
        self.assertEqual(self.server.request("GET", "/vorlix")[0], 200)
        status, _, body = self.server.request("GET", "/api.init.php?x=1")
        self.assertEqual(status, 503)  # the query does not hide the path

    def test_204_has_no_body(self):
        self.server.scenario({"status": {"/api.init.php": 204}})
        status, headers, body = self.server.request("GET", "/api.init.php")
        self.assertEqual((status, body, dict(headers)["Content-Length"]), (204, b"", "0"))

    def test_unknown_path_and_wrong_method(self):
        self.assertEqual(self.server.request("GET", "/nothing.php")[0], 404)
        self.assertEqual(self.server.request("GET", "/report.php")[0], 405)
        self.assertEqual(self.server.request("POST", "/api.init.php", b"")[0], 405)
        self.assertEqual(self.server.request("POST", "/except.php", b"--x--\r\n")[::2], (200, b"ok"))
        self.assertEqual(self.server.request("GET", "/nothing.php?a=b")[0], 404)
        self.assertEqual(self.last_record()["path"], "/nothing.php?a=b")  # unknown paths are recorded too

    def test_a_slow_answer_does_not_hold_up_others(self):
        self.server.scenario({"delay": {"/api.init.php": 1.5}})
        result = {}

        def slow():
            start = time.monotonic()
            result["status"] = self.server.request("GET", "/api.init.php")[0]
            result["took"] = time.monotonic() - start

        thread = threading.Thread(target=slow)
        thread.start()
        time.sleep(0.2)
        start = time.monotonic()
        self.assertEqual(self.server.request("GET", "/vorlix")[0], 200)
        self.assertLess(time.monotonic() - start, 1.0)
        thread.join(10)
        self.assertEqual(result["status"], 200)
        self.assertGreaterEqual(result["took"], 1.4)

    def test_a_client_that_gives_up_on_a_slow_answer_does_not_break_the_server(self):
        self.server.scenario({"delay": {"/api.init.php": 1.0}})
        with self.assertRaises(OSError):  # socket.timeout
            self.server.request("GET", "/api.init.php", timeout=0.3)
        self.server.scenario({})
        self.assertEqual(self.server.request("GET", "/api.init.php")[0], 200)

    def test_big_answer_has_the_size_asked_for_and_starts_with_the_answer(self):
        size = 10 * 1024 * 1024
        self.server.scenario({"big": {"/api.init.php": size}})
        status, headers, body = self.server.request("GET", "/api.init.php")
        self.assertEqual((status, len(body), dict(headers)["Content-Length"]), (200, size, str(size)))
        self.assertEqual(json.loads(body), {"status": "ok"})  # padded with blanks: still valid JSON
        self.server.scenario({"big": {"/api.init.php": 100}, "big_fill": "x"})
        body = self.server.request("GET", "/api.init.php")[2]
        self.assertEqual(body, b'{"status":"ok"}' + b"x" * 85)

    def test_cut_answer_ends_before_its_announced_length(self):
        self.server.scenario({"cut": {"/winapp2.ini": 50}})
        c = self.server.connection()
        try:
            c.request("GET", "/winapp2.ini")
            r = c.getresponse()
            self.assertEqual(r.status, 200)
            self.assertEqual(int(r.getheader("Content-Length")), len(RULES))
            with self.assertRaises(http.client.IncompleteRead) as caught:
                r.read()
            self.assertEqual(caught.exception.partial, RULES[:50])
        finally:
            c.close()

    def test_rule_file_is_served_as_is_at_both_addresses(self):
        self.assertEqual(self.server.request("GET", "/winapp2.ini")[2], RULES)
        self.assertEqual(self.server.request("GET", "/rules/any/name.ini")[2], RULES)

    def test_rule_version_replaces_only_the_number(self):
        self.server.scenario({"rule_version": 260801})
        body = self.server.request("GET", "/rules/v.ini")[2]
        self.assertEqual(body, RULES.replace(b"; Version: 100\r\n", b"; Version: 260801\r\n"))

    def test_rule_version_is_added_when_the_text_has_none(self):
        self.server.scenario({"rule_text": "[A *]\nX=1\n", "rule_version": 5})
        self.assertEqual(self.server.request("GET", "/winapp2.ini")[2], b"; Version: 5\n[A *]\nX=1\n")

    def test_rule_entries_keeps_the_header_and_the_first_entries(self):
        self.server.scenario({"rule_entries": 2, "rule_version": 101})
        body = self.server.request("GET", "/winapp2.ini")[2]
        expected = RULES[:RULES.index(b"[Gamma *]")].replace(b"Version: 100", b"Version: 101")
        self.assertEqual(body, expected)
        self.server.scenario({"rule_entries": 0})
        self.assertNotIn(b"[", self.server.request("GET", "/winapp2.ini")[2])

    def test_rule_file_named_by_its_wine_path(self):
        other = os.path.join(self.root, "other.ini")
        with open(other, "wb") as f:
            f.write(b"; Version: 9\r\n[Only *]\r\n")
        self.server.scenario({"rule_file": "Z:" + other.replace("/", "\\")})
        self.assertEqual(self.server.request("GET", "/winapp2.ini")[2], b"; Version: 9\r\n[Only *]\r\n")

    def test_a_broken_scenario_is_an_error_not_a_default(self):
        self.server.scenario("{not json")
        status, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual(status, 500)
        self.assertIn(b"scenario", body)

    def test_keep_alive_connection_serves_several_requests(self):
        c = self.server.connection()
        try:
            for path in ("/vorlix", "/api.init.php", "/winapp2.ini"):
                c.request("GET", path)
                r = c.getresponse()
                self.assertEqual(r.status, 200)
                r.read()
        finally:
            c.close()


class Secure(ServerTest):
    https = True

    def test_certificate_is_trusted_for_localhost(self):
        status, _, body = self.server.request("GET", "/api.init.php")
        self.assertEqual((status, json.loads(body)), (200, {"status": "ok"}))
        self.assertTrue(self.last_record()["tls"])

    def test_certificate_is_not_valid_for_another_name(self):
        context = ssl.create_default_context(cafile=os.path.join(self.server.cert_dir, "cert.pem"))
        with socket.create_connection(("127.0.0.1", self.server.port), 5) as s:
            with self.assertRaises(ssl.SSLCertVerificationError):
                context.wrap_socket(s, server_hostname="example.com")

    def test_cut_over_tls(self):
        self.server.scenario({"cut": {"/api.init.php": 5}})
        c = self.server.connection()
        try:
            c.request("GET", "/api.init.php")
            r = c.getresponse()
            with self.assertRaises(http.client.IncompleteRead):
                r.read()
        finally:
            c.close()

    def test_a_failed_handshake_does_not_stop_the_server(self):
        with socket.create_connection(("127.0.0.1", self.server.port), 5) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n")  # plain text to a TLS port
            s.settimeout(5)
            try:
                s.recv(100)
            except OSError:
                pass
        self.assertEqual(self.server.request("GET", "/vorlix")[0], 200)

    def test_certificate_is_reused_by_the_next_start(self):
        cert = os.path.join(self.server.cert_dir, "cert.pem")
        with open(cert, "rb") as f:
            before = f.read()
        second_root = os.path.join(self.root, "second")
        os.makedirs(second_root)
        shutil.copytree(self.server.cert_dir, os.path.join(second_root, "cert"))
        second = Running(second_root, True)
        try:
            self.assertEqual(second.request("GET", "/vorlix")[0], 200)
        finally:
            second.stop()
        with open(os.path.join(second_root, "cert", "cert.pem"), "rb") as f:
            self.assertEqual(f.read(), before)


class Lifecycle(unittest.TestCase):

    def test_sigterm_stops_it_and_removes_its_files(self):
        root = tempfile.mkdtemp(prefix="devserver-test-")
        try:
            server = Running(root, False)
            with open(server.pid_file) as f:
                self.assertEqual(int(f.read()), server.process.pid)
            server.process.send_signal(signal.SIGTERM)
            self.assertEqual(server.process.wait(5), 0)
            server.stop()
            self.assertFalse(os.path.exists(server.port_file))
            self.assertFalse(os.path.exists(server.pid_file))
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def test_a_busy_port_is_an_error(self):
        root = tempfile.mkdtemp(prefix="devserver-test-")
        try:
            with socket.socket() as taken:
                taken.bind(("127.0.0.1", 0))
                taken.listen()
                port = taken.getsockname()[1]
                run = subprocess.run([sys.executable, SERVER, "--http", "--port", str(port), "--port-file",
                                      os.path.join(root, "port")], capture_output=True, timeout=10)
            self.assertEqual(run.returncode, 3)
            self.assertFalse(os.path.exists(os.path.join(root, "port")))
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def test_it_stops_when_the_watched_process_ends(self):
        root = tempfile.mkdtemp(prefix="devserver-test-")
        try:
            parent = subprocess.Popen(["sleep", "0.5"])
            process = subprocess.Popen([sys.executable, SERVER, "--http", "--watch-pid", str(parent.pid)],
                                       stderr=subprocess.DEVNULL)
            parent.wait()
            self.assertEqual(process.wait(5), 0)
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
