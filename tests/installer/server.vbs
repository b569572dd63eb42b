' Whether the installed Tavirex.clsTavirex can be created.
'   cscript //nologo server.vbs present   the object works and lists its catalogue
'   cscript //nologo server.vbs absent    creating it fails with 429
' Ends with "N passed, N failed".

Dim expected, o, number, description
expected = WScript.Arguments(0)

On Error Resume Next
Set o = CreateObject("Tavirex.clsTavirex")
number = Err.Number
description = Err.Description
Err.Clear
On Error GoTo 0

If expected = "present" Then
  Check number = 0, "CreateObject failed: " & number & " " & description
  If number = 0 Then
    Check o.DeviceNames.Count = 16, "DeviceNames.Count is " & o.DeviceNames.Count
    Check o.DeviceNames(1) = "Capture iKoraiBlendo", "first device function " & o.DeviceNames(1)
    Check o.ConnectStringParams = "me", "ConnectStringParams"
  End If
Else
  Check number = 429, "CreateObject: expected 429, got " & number & " " & description
End If

Report
