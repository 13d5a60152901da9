Class Doc
 Private m_no
 Public Default Property Get No
  No = m_no
 End Property
 Public Property Let No(v)
  m_no = v
 End Property
 Private Sub Class_Terminate()
  x = 1
 End Sub
End Class
Set d = New Doc
d.No = "MI-1"
With d
 r = .No & d
End With
Set d = Nothing
