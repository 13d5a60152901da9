Set re = New RegExp
re.Pattern = "(\w+)-(\d+)"
re.Global = True
re.IgnoreCase = True
For Each m In re.Execute("MI-1 mo-22")
 r = r & m.SubMatches(1) & m.FirstIndex
Next
r = re.Replace("a-1", "$2$1$&")
If re.Test("x") Then r = -3^2 Else r = &hFFFF& End If
Dim a(1, 1)
For Each v In a
Next
On Error Resume Next
Err.Raise &h8007000E&, , , "h", 1
If 1/0 Then Stop
