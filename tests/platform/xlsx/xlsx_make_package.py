# A package written part by part, with what other writers produce: a
# prefixed main namespace, inline strings, shared formulas, formatted runs,
# booleans, errors and escaped control characters.
import sys, zipfile
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
parts = {
"[Content_Types].xml": '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
  '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
  '<Default Extension="xml" ContentType="application/xml"/>'
  '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
  '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
  '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
  '</Types>',
"_rels/.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
  '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
  '</Relationships>',
"xl/_rels/workbook.xml.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
  '<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/sheet1.xml"/>'
  '<Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
  '</Relationships>',
"xl/workbook.xml": '<?xml version="1.0"?><x:workbook xmlns:x="%s" xmlns:rel="%s"><x:sheets>'
  '<x:sheet name="Data" sheetId="3" rel:id="rId7"/></x:sheets></x:workbook>' % (MAIN, REL),
"xl/sharedStrings.xml": '<?xml version="1.0"?><sst xmlns="%s"><si><r><rPr><b/></rPr><t>bold</t></r>'
  '<r><t xml:space="preserve"> plain</t></r></si><si><t>tab_x0009_here _x005F_x0041_</t></si></sst>' % MAIN,
"xl/worksheets/sheet1.xml": '<?xml version="1.0"?><x:worksheet xmlns:x="%s"><x:sheetData>'
  '<x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>inline 文本</x:t></x:is></x:c>'
  '<x:c r="B1" t="b"><x:v>1</x:v></x:c><x:c r="C1" t="e"><x:v>#N/A</x:v></x:c></x:row>'
  '<x:row r="2"><x:c r="A2"><x:v>1</x:v></x:c><x:c r="B2"><x:f t="shared" ref="B2:B4" si="0">A2*10</x:f><x:v>10</x:v></x:c>'
  '<x:c r="C2" t="s"><x:v>0</x:v></x:c><x:c r="D2" t="s"><x:v>1</x:v></x:c></x:row>'
  '<x:row r="3"><x:c r="A3"><x:v>2.5</x:v></x:c><x:c r="B3"><x:f t="shared" si="0"/><x:v>25</x:v></x:c></x:row>'
  '<x:row r="4"><x:c><x:v>3</x:v></x:c><x:c><x:f t="shared" si="0"/><x:v>30</x:v></x:c></x:row>'
  '</x:sheetData><x:pageMargins left="0.5" right="0.5" top="1" bottom="1" header="0.3" footer="0.3"/></x:worksheet>' % MAIN,
}
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for name, text in parts.items():
        z.writestr(name, text.encode("utf-8"))
