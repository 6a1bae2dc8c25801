#!/usr/bin/python3
# Writes draws.xls, the small Excel 97-2003 workbook the import tests read: run once with python3-xlwt
# (Debian package python3-xlwt), "/usr/bin/python3 make_xls.py" in this folder; the file is kept beside it.
# The issues are a number, a text and a number with a fraction part of zero; the dice three number cells.
import xlwt

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("开奖")
for col, title in enumerate(["开奖日期", "期号", "百位", "十位", "个位"]):
    sheet.write(0, col, title)
rows = [("2019-10-27", 20191027001, (1, 3, 5)),
        ("2019-10-27", "20191027002", (2, 4, 6)),
        ("2019-10-27", 20191027003.0, (6, 1, 1)),
        ("2019-10-28", 20191028001, (2, 2, 2))]
for r, (date, issue, dice) in enumerate(rows, start=1):
    sheet.write(r, 0, date)
    sheet.write(r, 1, issue)
    for k, d in enumerate(dice):
        sheet.write(r, 2 + k, d)
# A second sheet, never read.
book.add_sheet("其他").write(0, 0, "20191027009 666")
book.save("draws.xls")
