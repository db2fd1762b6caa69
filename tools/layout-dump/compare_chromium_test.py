#!/usr/bin/env python3
"""The browser comparison's own parts, without a browser: matching boxes, the
page copy the browser loads, the generated font, skipping (or failing where the
comparison is required), and where a browser is told to keep its profile.

    LAYOUT_DUMP=build/native/bin/layout-dump python3 compare_chromium_test.py
"""
import contextlib
import io
import json
import os
import runpy
import shutil
import subprocess
import sys
import tempfile
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "compare-chromium")
cc = types.SimpleNamespace(**runpy.run_path(SCRIPT))  # the script has no .py to import it by

LAYOUT_DUMP = os.environ.get("LAYOUT_DUMP")
FONT_PYTHON = cc.python_with_fonttools()


def box(tag="div", x=0, y=0, w=10, h=10, **names):
    return {"tag": tag, "x": x, "y": y, "width": w, "height": h, **names}


class Compare(unittest.TestCase):
    def test_tolerance_is_inclusive_and_every_edge_counts(self):
        ours = [box(id="a"), box(id="b"), box(id="c"), box(id="d")]
        theirs = [box(id="a", x=1), box(id="b", w=11.01), box(id="c", y=-1.5), box(id="d", h=9.5)]
        diffs, (largest, where) = cc.compare(ours, theirs, 1)
        self.assertEqual([element for element, _ in diffs], ["div#b", "div#c"])
        self.assertEqual((round(largest, 2), where), (1.5, "div#c"))

    def test_boxes_pair_by_name_not_position(self):
        # Our layout gave the first element no box: the others must still pair
        # with their own counterparts instead of shifting by one.
        ours = [box("p", y=20, id="b"), box("tr", y=40, **{"class": "row"}), box("tr", y=60, **{"class": "row"})]
        theirs = [box("p", y=0, id="a"), box("p", y=20, id="b"), box("tr", y=40, **{"class": "row"}),
                  box("tr", y=60, **{"class": "row"})]
        diffs, _ = cc.compare(ours, theirs, 1)
        self.assertEqual(diffs, [("p#a", "p#a: no box in ours; chromium 0,0 10x10")])

    def test_a_box_only_we_have_is_reported(self):
        diffs, _ = cc.compare([box(id="x"), box("span", **{"class": "a b"})], [box(id="x")], 1)
        self.assertEqual(diffs, [("span.a.b", "span.a.b: no box in chromium; ours 0,0 10x10")])

    def test_names_distinguish_id_and_empty_class(self):
        diffs, _ = cc.compare([box(id="a", **{"class": ""})], [box(id="a")], 1)
        self.assertEqual(len(diffs), 2)  # id=a class="" is another element than id=a


class Known(unittest.TestCase):
    def test_known_differences_are_shown_but_do_not_count(self):
        diffs = [("div#e", "div#e: moved"), ("tr.row", "tr.row: narrower"), ("tr.row", "tr.row: narrower"),
                 ("div#f", "div#f: new")]
        lines, unknown, stale = cc.triage(diffs, ["div#e", "tr.*", "col.gone"])
        self.assertEqual(unknown, 1)
        self.assertEqual(lines, ["known: div#e: moved", "known: tr.row: narrower", "known: tr.row: narrower",
                                 "div#f: new"])
        self.assertEqual(stale, ["col.gone"])

    def test_the_file_lists_per_page_and_ids_are_not_comments(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# page element cause\nbox-model.html div#e  collapse through\n"
                    "list.html td.col-fill  scroll bar # not a comment\n  # list.html tr.row\n\n")
        self.addCleanup(os.unlink, f.name)
        self.assertEqual(cc.read_known(f.name, "list.html"), ["td.col-fill"])
        self.assertEqual(cc.read_known(f.name, "box-model.html"), ["div#e"])


class PageCopy(unittest.TestCase):
    def copy(self, html):
        with tempfile.TemporaryDirectory() as home:
            page = os.path.join(home, "page.html")
            with open(page, "w", encoding="utf-8") as f:
                f.write(html)
            copy = cc.standards_mode_copy(page, home)
            with open(copy, encoding="utf-8") as f:
                return f.read(), home

    def test_a_page_without_doctype_loads_in_standards_mode(self):
        text, home = self.copy("<style>p{}</style><p id=a>정리</p>")
        self.assertEqual(text, f'<!DOCTYPE html><base href="file://{home}/"><style>p{{}}</style><p id=a>정리</p>')

    def test_the_base_goes_after_an_existing_doctype(self):
        text, _ = self.copy("\n  <!doctype HTML>\n<p>")
        self.assertTrue(text.startswith("\n  <!doctype HTML><base href="))
        self.assertEqual(text.lower().count("<!doctype"), 1)


def not_required(**more):
    """The environment with the comparison optional, plus `more`."""
    env = {k: v for k, v in os.environ.items() if k not in ("CI", "VORLIX_REQUIRE_CHROMIUM")}
    return dict(env, **more)


class Skipping(unittest.TestCase):
    def run_without_browser(self, env):
        env = dict(env, CHROMIUM=os.path.join(HERE, "no-such-browser"))
        return subprocess.run([sys.executable, SCRIPT, os.path.join(HERE, "pages", "text.html")], env=env,
                              capture_output=True, text=True)

    def test_no_browser_is_a_skip_unless_required(self):
        for env in (not_required(), not_required(CI="false"), not_required(CI="0"),
                    not_required(VORLIX_REQUIRE_CHROMIUM="0")):
            run = self.run_without_browser(env)
            self.assertEqual(run.returncode, 77, run.stderr)
            self.assertIn("chromium is not installed; skipped", run.stderr)
        # CI services set CI=true; a developer can ask for the same.
        for env in (not_required(CI="true"), not_required(CI="1"), not_required(VORLIX_REQUIRE_CHROMIUM="1")):
            run = self.run_without_browser(env)
            self.assertEqual(run.returncode, 2, run.stderr)
            self.assertIn("chromium is not installed", run.stderr)
            self.assertIn("required", run.stderr)
            self.assertIn("tools/setup", run.stderr)

    def test_no_fonttools_is_a_skip_unless_required(self):
        # make_fonts looks for fontTools before it runs layout-dump, so any file stands in for it.
        scope = cc.make_fonts.__globals__
        saved, saved_env = scope["python_with_fonttools"], dict(os.environ)
        scope["python_with_fonttools"] = lambda: None
        self.addCleanup(scope.__setitem__, "python_with_fonttools", saved)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved_env)))
        with tempfile.TemporaryDirectory() as home:
            tool = os.path.join(home, "layout-dump")
            open(tool, "w").close()
            for env, status in ((not_required(), 77), (not_required(CI="true"), 2),
                                (not_required(VORLIX_REQUIRE_CHROMIUM="1"), 2)):
                os.environ.clear()
                os.environ.update(env)
                said = io.StringIO()
                with self.assertRaises(SystemExit) as stop, contextlib.redirect_stderr(said):
                    cc.make_fonts(tool, home)
                self.assertEqual(stop.exception.code, status, env.get("CI"))
                self.assertIn("python3-fonttools is not installed", said.getvalue())
                self.assertEqual("required" in said.getvalue(), status == 2, said.getvalue())


@unittest.skipUnless(FONT_PYTHON and LAYOUT_DUMP, "python3-fonttools is not installed or LAYOUT_DUMP is not set")
class BrowserFolder(unittest.TestCase):
    def test_profile_and_sockets_go_in_a_short_folder_that_is_removed(self):
        # A stand-in browser that writes down where it was told to keep its
        # profile and temporary files, then dies without answering.
        with tempfile.TemporaryDirectory() as work:
            deep = os.path.join(work, *["a-rather-long-folder-name"] * 6)
            os.makedirs(deep)
            record = os.path.join(work, "record")
            browser = os.path.join(work, "browser")
            with open(browser, "w") as f:
                f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" "TMPDIR=$TMPDIR" "HOME=$HOME" > {record}\n'
                        'echo "last words" >&2\nexit 3\n')
            os.chmod(browser, 0o755)
            env = not_required(CHROMIUM=browser, COMPARE_CHROMIUM_HOME=deep, TMPDIR=deep)
            run = subprocess.run([sys.executable, SCRIPT, os.path.join(HERE, "pages", "text.html")], env=env,
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 77, run.stderr)
            self.assertIn("does not start on this machine (exit status 3)", run.stderr)
            self.assertIn("last words", run.stderr)
            with open(record) as f:
                said = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
            profile, tmp = said["--user-data-dir"], said["TMPDIR"]
            self.assertEqual(said["HOME"], deep)
            folder = os.path.dirname(profile)
            self.assertEqual(os.path.dirname(tmp), folder)
            # Room for Chromium's own names below it within the ~100 bytes of a socket path.
            self.assertLess(len(tmp), 40, tmp)
            self.assertFalse(folder.startswith(work), folder)
            self.assertFalse(os.path.exists(folder), "the browser's folder was left behind")

            env["CI"] = "true"
            run = subprocess.run([sys.executable, SCRIPT, os.path.join(HERE, "pages", "text.html")], env=env,
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 2, run.stderr)
            self.assertIn("last words", run.stderr)


@unittest.skipUnless(FONT_PYTHON, "python3-fonttools is not installed")
class GeneratedFont(unittest.TestCase):
    def build(self, table):
        out = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, out)
        run = subprocess.run([FONT_PYTHON, os.path.join(HERE, "make_font.py"), out, "Test Face"], input=table,
                             capture_output=True, text=True)
        return run, out

    def facts(self, path, code_points):
        """What a browser reads from the font, through fontTools in the interpreter that has it."""
        script = f"""
import json
from fontTools.ttLib import TTFont
f = TTFont({path!r})
cmap = f.getBestCmap()
os2, hhea = f["OS/2"], f["hhea"]
print(json.dumps({{
    "advances": {{str(cp): f["hmtx"][cmap[cp]][0] if cp in cmap else None for cp in {code_points!r}}},
    "upem": f["head"].unitsPerEm, "tables": sorted(f.keys()),
    "hhea": [hhea.ascent, hhea.descent, hhea.lineGap],
    "typo": [os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap],
    "win": [os2.usWinAscent, os2.usWinDescent], "use_typo": bool(os2.fsSelection & 128),
    "weight": os2.usWeightClass, "family": f["name"].getDebugName(1)}}))
"""
        return json.loads(subprocess.run([FONT_PYTHON, "-c", script], capture_output=True, text=True,
                                         check=True).stdout)

    @unittest.skipUnless(LAYOUT_DUMP, "LAYOUT_DUMP is not set")
    def test_the_fonts_carry_the_fake_fonts_advances_and_metrics(self):
        table = subprocess.run([LAYOUT_DUMP, "--font-table"], capture_output=True, text=True, check=True).stdout
        expected = {}
        for line in table.splitlines()[1:]:
            cp, regular, bold = line.split()
            expected[int(cp[2:], 16)] = (float(regular), float(bold))
        # What the pages show: narrow and wide ASCII, digits, Latin-1, the
        # ellipsis, Hangul, CJK punctuation, zero-width and the replacement character.
        sample = [ord(c) for c in "ilmW0 é…정、「！"] + [0xAD, 0x200B, 0xFFFD, 0xD7A3]
        for cp in sample:
            self.assertIn(cp, expected, hex(cp))
        self.assertEqual(expected[ord("i")], (250, 275))
        self.assertEqual(expected[0x200B], (0, 0))
        run, out = self.build(table)
        self.assertEqual(run.returncode, 0, run.stderr)
        for face, column, weight in (("regular", 0, 400), ("bold", 1, 700)):
            facts = self.facts(os.path.join(out, face + ".ttf"), sample)
            for cp in sample:
                self.assertEqual(facts["advances"][str(cp)], expected[cp][column], f"{face} U+{cp:04X}")
            self.assertEqual(facts["upem"], 1000)
            # One set of vertical metrics whichever table a platform reads.
            self.assertEqual(facts["hhea"], [800, -200, 150])
            self.assertEqual(facts["typo"], [800, -200, 150])
            self.assertEqual(facts["win"], [800, 200])
            self.assertTrue(facts["use_typo"])
            self.assertEqual(facts["weight"], weight)
            self.assertEqual(facts["family"], "Test Face")
            # Kerning or substitutions would move glyphs our layout does not move.
            self.assertFalse({"kern", "GPOS", "GSUB"} & set(facts["tables"]))

    def test_a_fraction_of_a_unit_is_refused(self):
        run, out = self.build("metrics 800 200 150\nU+0041 500.5 550\n")
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("U+0041", run.stderr)
        self.assertFalse(os.path.exists(os.path.join(out, "regular.ttf")))

    def test_a_table_without_metrics_is_refused(self):
        run, _ = self.build("U+0041 500 550\n")
        self.assertNotEqual(run.returncode, 0)


if __name__ == "__main__":
    unittest.main()
