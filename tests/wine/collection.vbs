' The collection DeviceNames returns, through late binding: the catalogue in
' order, VB Collection rules for keys and positions, and For Each.
' Ends with "N passed, N failed".

Dim lastNumber, lastDescription
Sub Remember()
  lastNumber = Err.Number
  lastDescription = Err.Description
  Err.Clear
End Sub

Dim o, names, again, item, text, i
Set o = CreateObject("Tavirex.clsTavirex")
Set names = o.DeviceNames
Dim catalogue
catalogue = Array("Capture iKoraiBlendo", "Review iKoraiBlendo", "Capture Vessara", _
    "Review Vessara", "Capture Corvana", "Review Corvana", "Capture iScopa", "Review iScopa", _
    "Capture iBlendo", "Review iBlendo", "Capture iPicta", "Review iPicta", "Capture iVitara", _
    "Review iVitara", "Capture iPedra", "Review iPedra")

CheckEqual names.Count, CLng(16), "sixteen device functions"
For i = 1 To 16
  CheckEqual names(i), catalogue(i - 1), "device function " & i
Next
CheckEqual names.Item(16), "Review iPedra", "Item by position"
i = 0
For Each item In names
  CheckEqual item, catalogue(i), "For Each item " & i
  i = i + 1
Next
CheckEqual i, 16, "For Each visits every item"

' Every read builds a new collection.
Set again = o.DeviceNames
Check Not (again Is names), "two reads give two collections"
names.Remove 1
CheckEqual names.Count, CLng(15), "Remove by position"
CheckEqual names(1), "Review iKoraiBlendo", "items move up after Remove"
CheckEqual again.Count, CLng(16), "the other collection keeps its items"

' Keys ignore case, also beyond the ANSI code page (Greek letters from the
' harness's UTF-16 file: Wine's VBScript has no ChrW); positions and keys
' fail as a VB Collection fails.
Dim c, greek
greek = Mid(CreateObject("Scripting.FileSystemObject").OpenTextFile("C:\tavirex-text.txt", 1, _
    False, -1).ReadAll, 2, 2)
Set c = o.DeviceNames
c.Add "first added", "Alpha"
c.Add 42, greek & "ta"
CheckEqual c("ALPHA"), "first added", "key without regard to case"
CheckEqual c.Item(LCase(greek) & "TA"), 42, "a number item by a Greek key in other case"
CheckEqual c.Count, CLng(18), "Count after Add"
On Error Resume Next
c.Add "duplicate", "alpha"
Remember
On Error GoTo 0
CheckEqual lastNumber, CLng(457), "duplicate key"
CheckEqual lastDescription, "This key is already associated with an element of this collection", _
    "duplicate key description"
CheckEqual c.Count, CLng(18), "nothing added for a duplicate key"
On Error Resume Next
item = c(19)
Remember
On Error GoTo 0
CheckEqual lastNumber, CLng(9), "position past the end"
On Error Resume Next
item = c(0)
Remember
On Error GoTo 0
CheckEqual lastNumber, CLng(9), "position 0"
On Error Resume Next
item = c("gamma")
Remember
On Error GoTo 0
CheckEqual lastNumber, CLng(5), "missing key"
CheckEqual lastDescription, "Invalid procedure call or argument", "missing key description"

c.Add "front", "front", 1
CheckEqual c(1), "front", "Add before position 1"
c.Add "after alpha", , , "alpha"
CheckEqual c(18), "first added", "Alpha stays in place"
CheckEqual c(19), "after alpha", "Add after a key"
CheckEqual c("ALPHA"), "first added", "keys follow their items after inserts"
c.Remove "Alpha"
CheckEqual c(18), "after alpha", "Remove by key"
CheckEqual c(greek & "ta"), 42, "other keys still found after Remove"
c.Add "alpha again", "ALPHA"
CheckEqual c("alpha"), "alpha again", "a removed key can be used again"

' Objects are kept as objects.
Dim dict
Set dict = CreateObject("Scripting.Dictionary")
c.Add dict, "dict"
Check c("dict") Is dict, "object item by key"

text = ""
For Each item In c
  If Not IsObject(item) Then text = text & item & ";"
Next
Check InStr(text, "front;Capture iKoraiBlendo;") = 1, "For Each in the new order: " & text

Report
