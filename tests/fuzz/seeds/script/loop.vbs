Dim n
n = 0
Do
  n = n + 1
  If n > 3 Then Exit Do
Loop
On Error Resume Next
x = 1 / 0
If Err.Number <> 0 Then y = Err.Description
Dim arr(3)
ReDim Preserve arr(5)
arr(5) = Replace("a,b,c", ",", ";")
