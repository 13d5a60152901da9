# Prints what a reader of the workbook sees, one fact per line.
import re, sys, zipfile, openpyxl
from openpyxl.utils import get_column_letter
path = sys.argv[1]
wb = openpyxl.load_workbook(path)
out = ["SHEETS " + "|".join(wb.sheetnames)]
for ws in wb.worksheets:
    out.append("SHEET " + ws.title)
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            out.append("CELL %s %s %r fmt=%r bold=%d size=%g align=%s/%s" % (
                c.coordinate, c.data_type, c.value, c.number_format, 1 if c.font.b else 0,
                c.font.sz or 0, c.alignment.horizontal, c.alignment.vertical))
    for m in sorted(str(r) for r in ws.merged_cells.ranges):
        out.append("MERGE " + m)
    for dim in sorted(ws.column_dimensions.values(), key=lambda d: d.min or 0):
        if dim.customWidth:
            for i in range(dim.min, dim.max + 1):
                out.append("WIDTH %s %g" % (get_column_letter(i), dim.width))
    if ws.page_setup.orientation:
        out.append("ORIENTATION " + ws.page_setup.orientation)
for dn in wb.defined_names.definedName:
    out.append("NAME %s %s" % (dn.name, dn.attr_text))
with zipfile.ZipFile(path) as z:
    styles = z.read("xl/styles.xml").decode("utf-8")
    for fid, code in re.findall(r'<numFmt numFmtId="(\d+)" formatCode="([^"]*)"', styles):
        out.append("NUMFMT %s %r" % (fid, code))
    for name in sys.argv[2:]:
        out.append("PART %s %s" % (name, z.read(name).decode("utf-8") if name in z.namelist() else "<missing>"))
print("\n".join(out))
