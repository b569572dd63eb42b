' Counters and checks shared by the VBScript clients. The harnesses put this
' file in front of each client script, so a client starts with its own code.
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Check(condition, what)
  If condition Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

Sub CheckEqual(actual, expected, what)
  Check TypeName(actual) = TypeName(expected) And actual = expected, what & ": got " & _
      TypeName(actual) & " [" & actual & "], expected " & TypeName(expected) & " [" & expected & "]"
End Sub

' The error a statement under On Error Resume Next left; clears it.
Sub CheckRaised(number, description, what)
  CheckEqual Err.Number, CLng(number), what
  If description <> "" Then CheckEqual Err.Description, description, what & ": description"
  Err.Clear
End Sub

' The last line a harness requires, since Wine's cscript exits 0 even when a
' script dies half-way.
Sub Report()
  WScript.Echo passed & " passed, " & failed & " failed"
End Sub
