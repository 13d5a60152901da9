# A template as a user would finish it in a spreadsheet program: title,
# header, detail row with names and formats, a total row below the band.
import sys, zipfile, openpyxl
from openpyxl.styles import Font, Alignment
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "mmss40BGrid1"
ws["A1"] = "领料单明细"
ws.merge_cells("A1:D1")
ws["A1"].font = Font(b=True, sz=18)
ws["A1"].alignment = Alignment(horizontal="center", vertical="center")
for col, text in zip("ABCD", ["序号", "物料编号", "数量", "单价(元)"]):
    ws[col + "2"] = text
    ws[col + "2"].font = Font(b=True)
ws["A3"].number_format = "0_ "
ws["B3"].number_format = "@"
ws["C3"].number_format = "0.0000_ "
ws["D3"] = "=C3*2"
ws["D3"].alignment = Alignment(horizontal="right")
ws["A5"] = "合计"
ws["C5"] = "=SUM(C3:C4)"
ws.column_dimensions["B"].width = 20
ws.page_setup.orientation = "landscape"
for name, ref in [("DetailBegin", "$A$3"), ("AbsolutePosition", "$A$3"), ("物料编号", "$B$3"),
                  ("数量", "$C$3"), ("单价元", "$B$2"), ("合计", "$C$5")]:
    wb.defined_names.append(DefinedName(name, attr_text="'mmss40BGrid1'!" + ref))
notes = wb.create_sheet("Notes")
notes["A1"] = "keep me"
wb.save(sys.argv[1])
with zipfile.ZipFile(sys.argv[1], "a") as z:
    z.writestr("customXml/item1.xml", "<root>保留 &amp; keep</root>")
