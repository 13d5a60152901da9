Function Main(a, b)
  Dim i, s
  s = ""
  For i = 1 To 5 Step 2
    s = s & Mid(a, 1, 1) & CStr(i * b)
  Next
  Select Case Len(s)
    Case 1, 2: Main = "short"
    Case Else: Main = UCase(s)
  End Select
End Function
