Sub Main(p, q)
  Dim sql
  sql = "select * from Mmst411 where Inv_No = '" & p & "'"
  While q < 3
    q = q + 1
    sql = sql & Chr(32) & Trim(Left("  ab  ", 4)) & FormatNumber(q / 3, 2)
  Wend
  MsgBox sql, 64, "t"
End Sub
