#!/usr/bin/env python3
"""The velmora tool run as a user runs it: exit codes, stdout, stderr and the files left."""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

VELMORA = None
SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(SOURCE_DIR, '..', '..', '..', 'fuzz', 'corpus',
                      'velmora_xml_loader_fuzz', 'sample.xml')


def run(*args, stdin=b'', cwd=None):
    done = subprocess.run([VELMORA, *args], input=stdin, capture_output=True, cwd=cwd, timeout=60)
    return done.returncode, done.stdout.decode('utf-8', 'replace'), done.stderr.decode('utf-8', 'replace')


class VelmoraTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.dir = self.temp.name

    def tearDown(self):
        self.temp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return self.path(name)

    def ok(self, *args, stdin=b''):
        code, out, err = run(*args, stdin=stdin)
        self.assertEqual(code, 0, f'{args}: {err}')
        return out

    def staff(self):
        """A file with a parent table and a child table relating to it, both filled."""
        db = self.path('staff.xml')
        self.ok('create', db, 'dept', 'title:String')
        self.ok('create', db, 'employee', 'name:String', 'age:Int', 'dept:Relation:dept', 'pay:Long')
        self.ok('import', db, 'dept', self.write('d.csv', 'title\nsales\n"R&D, <lab>"\n'))
        return db

    def test_usage_and_exit_codes(self):
        cases = [  # arguments, exit code, the stream that must hold the text, text
            ([], 2, 'err', 'usage: velmora'),
            (['--help'], 0, 'out', 'usage: velmora'),
            (['--version'], 0, 'out', 'velmora 1.0.0\n'),
            (['export', '--help'], 0, 'out', 'usage: velmora export'),
            (['frobnicate'], 2, 'err', 'unknown command'),
            (['info', '--verbose', 'x.xml'], 2, 'err', 'unknown option'),
            (['export', '--format', 'xml', 'x.xml', 't'], 2, 'err', 'unknown format'),
            (['info'], 2, 'err', 'usage: velmora info'),
            (['create', 'x.xml', 'bad/name', 'a:Int'], 2, 'err', 'cannot be written to a file'),
            (['create', 'x.xml', 't', 'first name:Int'], 2, 'err', 'names are ASCII letters'),
            (['create', 'x.xml', 't', 'a:Float'], 2, 'err', 'unknown type'),
            (['info', 'missing.xml'], 1, 'err', 'missing.xml: No such file or directory'),
        ]
        for args, code, stream, text in cases:
            with self.subTest(args=args):
                got_code, out, err = run(*args, cwd=self.dir)
                self.assertEqual(got_code, code, err)
                self.assertIn(text, out if stream == 'out' else err)
                if code == 0:
                    self.assertEqual(err, '')

    def test_create_import_export_round_trip(self):
        db = self.staff()
        rows = [['name', 'age', 'dept', 'pay'],
                ['ann', '41', '1', '-7'],
                ['comma, "quoted"', '-2147483648', '0', '2147483647'],
                ['two\r\nlines', '0', '1', '0'],
                ['', '5', '0', '1'],
                ['J\u00f6rg \u2603', '7', '1', '3']]
        source = io.StringIO(newline='')
        csv.writer(source).writerows(rows)
        self.ok('import', db, 'employee', '-', stdin=source.getvalue().encode())

        with open(db, 'rb') as f:
            self.assertIn(b'<info><name>velmora</name><version>1</version><schema><table><name>dept</name>'
                          b'<field><name>title</name><type>String</type></field></table><table>'
                          b'<name>employee</name><field><name>name</name><type>String</type></field>'
                          b'<field><name>age</name><type>Int</type></field><field><name>dept</name>'
                          b'<type>Relation</type><target>dept</target></field><field><name>pay</name>'
                          b'<type>Long</type></field></table></schema></info>', f.read())

        exported = list(csv.reader(io.StringIO(self.ok('export', db, 'employee'), newline='')))
        self.assertEqual(exported, rows)
        numeric = [dict(zip(rows[0], [r[0], int(r[1]), int(r[2]), int(r[3])])) for r in rows[1:]]
        self.assertEqual(json.loads(self.ok('export', '--format', 'json', db, 'employee')), numeric)
        lines = self.ok('export', '--format', 'jsonl', db, 'employee').splitlines()
        self.assertEqual([json.loads(line) for line in lines], numeric)
        self.assertIn('employee: 5 records', self.ok('info', db))
        self.assertIn('dept Relation -> dept', self.ok('schema', db))
        self.assertEqual(self.ok('check', db), f'{db}: ok, 2 tables, 7 records\n')

        # The indented form reads back to the same records, and back to the same bytes.
        self.ok('format', '--indent', db, self.path('indented.xml'))
        self.assertEqual(self.ok('export', self.path('indented.xml'), 'employee'),
                         self.ok('export', db, 'employee'))
        self.ok('format', self.path('indented.xml'), self.path('again.xml'))
        with open(db, 'rb') as a, open(self.path('again.xml'), 'rb') as b:
            self.assertEqual(a.read(), b.read())

    def test_failed_import_leaves_the_file_unchanged(self):
        db = self.staff()
        self.ok('import', db, 'employee', self.write('ok.csv', 'name,age\nann,1\n'))
        with open(db, 'rb') as f:
            before = f.read()
        cases = [  # CSV, the line and message the failure must name
            ('agee\n1\n', ':1: unknown field "agee"'),
            ('name,age\nbob,3\ncid,abc\n', ':3: field "age": "abc" is not a 32-bit integer'),
            ('name,age\nbob,99999999999\n', ':2: field "age"'),
            ('name,dept\nbob,1\ncid,2\n', ':3: field "dept": record 2 does not exist'),
            ('name,age\n"multi\nline",1\nbob\n', ':4: 1 fields where the header has 2'),
            ('name\n"never closed\n', ':2: quoted field not closed'),
        ]
        for text, message in cases:
            with self.subTest(csv=text):
                code, out, err = run('import', db, 'employee', self.write('bad.csv', text))
                self.assertEqual(code, 1)
                self.assertIn(self.path('bad.csv') + message, err)
                with open(db, 'rb') as f:
                    self.assertEqual(f.read(), before)
                self.assertEqual(sorted(os.listdir(self.dir)), ['bad.csv', 'd.csv', 'ok.csv', 'staff.xml'])

    def test_check_reports_line_and_column(self):
        db = self.staff()
        self.ok('import', db, 'employee', self.write('e.csv', 'name,age,dept\nann,0,1\n'))
        self.ok('format', '--indent', db, self.path('i.xml'))
        with open(self.path('i.xml')) as f:
            indented = f.read()
        cases = [  # document, position and message (positions as the library's loader gives them)
            ('<database><info/><data><t><record><a>1</b>', ':1:39: mismatched end tag </b>, expected </a>'),
            ('<database><info/><data>\r\n  <t>\r\n  <x', ':3:3: unterminated tag'),
            ('<database><info/><data>\r<t>\r<x', ':3:1: unterminated tag'),
            ('<database><info/><!-- open', ':1:18: unterminated comment'),
            ('<database><info/><data/></database>junk', ':1:36: text outside the root element'),
            ('<database><info/><data><t><record>', ':1:27: <record> is not closed'),
            ('<database><info/><data/></database><more/>', ':1:36: content after the database element'),
            ('<base><info/><data/></base>', ': not a database file'),
            # the <table> element of the second "dept"
            (indented.replace('<name>employee</name>', '<name>dept</name>', 1), ':15:7: repeated table name "dept"'),
        ]
        # In the indented file the position is that of the token marked by @.
        edits = [
            ('<type>Int</type>', '@<type>Float</type>', 'unknown field type "Float"'),
            ('<age>0</age>', '<age>@12abc</age>', 'field "age" of table "employee": "12abc" is not'),
            ('<dept>1</dept>', '<dept>@2</dept>',
             'relation "dept" of table "employee": record 2 does not exist in "dept" (2 records)'),
            ('<title>sales', '@<titel>sales</titel><title>', 'unknown field "titel"'),
        ]
        for old, new, message in edits:
            text = indented.replace(old, new, 1)
            before = text[:text.index('@')].split('\n')
            cases.append((text.replace('@', '', 1), f':{len(before)}:{len(before[-1]) + 1}: {message}'))
        for text, message in cases:
            with self.subTest(document=text[:60], message=message):
                broken = self.write('broken.xml', text)
                code, out, err = run('check', broken)
                self.assertEqual((code, out), (1, ''))
                self.assertIn(broken + message, err)

    def test_schemaless_sample_file(self):
        self.assertEqual(self.ok('schema', SAMPLE),
                         'table employee\n  name (inferred)\n  surname (inferred)\n  age (inferred)\n')
        self.assertIn('schema: no', self.ok('info', SAMPLE))
        self.assertEqual(json.loads(self.ok('export', '--format', 'json', SAMPLE, 'employee')),
                         [{'name': 'john', 'surname': 'doe', 'age': '12'}])
        code, _, err = run('import', self.path('copy.xml'), 'employee', '-')
        self.assertEqual(code, 1)

    def test_json_replaces_invalid_utf8_and_warns(self):
        db = self.staff()
        self.ok('import', db, 'employee', self.write('l1.csv', b'name\ncaf\xe9\n'))
        code, out, err = run('export', '--format', 'json', db, 'employee')
        self.assertEqual(code, 0)
        self.assertEqual(json.loads(out)[0]['name'], 'caf\ufffd')
        self.assertIn('1 byte', err)
        self.assertIn('U+FFFD', err)
        code, out, err = run('export', db, 'employee')  # CSV keeps every byte
        self.assertEqual((code, err), (0, ''))


if __name__ == '__main__':
    VELMORA = os.path.abspath(sys.argv.pop(1))
    unittest.main()
