#!/usr/bin/env bash
# Time per MB of the reading layout on large files in Word's XML formats,
# written here from the corpus's big documents' text (a Word 2007+ package
# and a Word 2003 XML document of about 4 MB of text each, with lists and
# tables), and on the wild corpus's xml and docx files. Markdown table.
#
#   bench/bench-wordml/bench-wordml.sh [--runs N]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=5
[ "${1:-}" = --runs ] && runs=$2
bin="$root/build/native/bench/bench-wordml/bench-wordml"
if [ ! -x "$bin" ]; then
  cmake --preset native -S "$root" >/dev/null
  cmake --build "$root/build/native" --target bench-wordml -j2 >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import sys, zipfile, random
from xml.sax.saxutils import escape
work = sys.argv[1]
random.seed(7)
words = ("reading layout package paragraph table numbering footnote header section "
         "document text word list cell row style field result").split()
paras = [" ".join(random.choice(words) for _ in range(random.randint(4, 40))) for _ in range(30000)]
W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
def body(listed, row):
    out = []
    for i, p in enumerate(paras):
        t = escape(p)
        if i % 50 == 10:
            out.append(row(t))
        elif i % 7 == 0:
            out.append(listed(t))
        else:
            out.append(f'<w:p><w:r><w:rPr><w:lang w:val="en-GB"/></w:rPr><w:t xml:space="preserve">{t}</w:t></w:r></w:p>')
    return "".join(out)
cell = lambda t: f'<w:tc><w:p><w:r><w:t>{t}</w:t></w:r></w:p></w:tc>'
row = lambda t: f'<w:tbl><w:tr>{cell(t)}{cell(t)}</w:tr></w:tbl>'
docx_list = lambda t: f'<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr></w:pPr><w:r><w:t>{t}</w:t></w:r></w:p>'
doc = f'<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="{W}"><w:body>{body(docx_list, row)}</w:body></w:document>'
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
with zipfile.ZipFile(f"{work}/big.docx.doc", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
    z.writestr("_rels/.rels", f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r1" Type="{R}officeDocument" Target="word/document.xml"/></Relationships>')
    z.writestr("word/_rels/document.xml.rels", f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r2" Type="{R}numbering" Target="numbering.xml"/></Relationships>')
    z.writestr("word/numbering.xml", f'<w:numbering xmlns:w="{W}"><w:abstractNum w:abstractNumId="0"><w:lvl w:ilvl="0"><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/></w:lvl></w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>')
    z.writestr("word/document.xml", doc)
W3 = "http://schemas.microsoft.com/office/word/2003/wordml"
xml_list = lambda t: f'<w:p><w:pPr><w:listPr><w:ilvl w:val="0"/><w:ilfo w:val="1"/></w:listPr></w:pPr><w:r><w:t>{t}</w:t></w:r></w:p>'
with open(f"{work}/big.xml.doc", "w") as f:
    f.write(f'<?xml version="1.0" encoding="UTF-8"?><?mso-application progid="Word.Document"?><w:wordDocument xmlns:w="{W3}">'
            '<w:lists><w:listDef w:listDefId="0"><w:lvl w:ilvl="0"><w:nfc w:val="0"/><w:lvlText w:val="%1."/></w:lvl></w:listDef>'
            f'<w:list w:ilfo="1"><w:ilst w:val="0"/></w:list></w:lists><w:body>{body(xml_list, row)}</w:body></w:wordDocument>')
PY
"$bin" --runs "$runs" "$work"/big.docx.doc "$work"/big.xml.doc "$root"/../shared/corpus/wild/*.docx.doc "$root"/../shared/corpus/wild/*.xml.doc
