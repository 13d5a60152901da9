Function F(n)
 Select Case n Mod 2
 Case 0
  For i = 1 To 1
   If True Then
    Do
     F = F(n + 1) & ""
     Exit Do
    Loop
   End If
  Next
 Case Else
  While True
   F = Len(Mid(F(n + 1), 1))
  Wend
 End Select
End Function
x = F(0)
