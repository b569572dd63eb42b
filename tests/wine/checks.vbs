' The checks the VBScript clients share; the harnesses put this file in front
' of each client, which ends with Report: the line the harness requires, since
' Wine's cscript exits 0 even when a script dies half-way.
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Check(condition, what)
  If condition Then passed = passed + 1 Else failed = failed + 1 : WScript.Echo "FAIL: " & what
End Sub

Sub CheckEqual(actual, expected, what)
  Check TypeName(actual) = TypeName(expected) And actual = expected, what & ": got " & _
      TypeName(actual) & " [" & actual & "], expected " & TypeName(expected) & " [" & expected & "]"
End Sub

' The error a statement under On Error Resume Next left; clears it.
Sub CheckRaised(number, description, what)
  CheckEqual Err.Number, CLng(number), what
  If description <> "" Then CheckEqual Err.Description, description, what
  Err.Clear
End Sub

Sub Report()
  WScript.Echo passed & " passed, " & failed & " failed"
End Sub
