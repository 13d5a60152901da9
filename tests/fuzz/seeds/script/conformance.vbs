If False Then
 Function Twice(n) Twice = n * 2 End Function
End If
Class C : Public x : Const k = 3 : Function F : F = k + x : End Function End Class
Const g = -7
Sub Main(a, b)
 On Error Resume Next
 Set o = New C
 o.x = &h10& + &hffFF& + &O17&
 Select Case a
 Case 1 / 0
  r = Me.Twice(o.F) & Round(True) & CByte(True) & Not "#FALSE#"
 End Select
 For Each v In b
  r = r & Rnd(-1) & Chr(&HD6D0) & Asc("中")
 Next
 With Nothing
  .y = g
 End With
 Call (((Twice))) (b)
 CInt 5
 Randomize 100
 r = r & Rnd & Mid(Empty, 1) & Join(Array(1, Null)) & Replace("a", "a", True)
 Set re = New RegExp
 re.Pattern = "a" : r = re.Replace("abc", True) & re.Global
End Sub
