' The collection DeviceNames returns, through late binding: the VB Collection
' rules for positions, keys, inserts, removal, For Each and errors.
Dim o, c, again, item, i, greek, dict, text
Set o = CreateObject("Tavirex.clsTavirex")
Set c = o.DeviceNames
Set again = o.DeviceNames
CheckEqual c.Count, CLng(16), "Count"
CheckEqual c.Item(16), "Review iPedra", "Item by position"
c.Remove 1
CheckEqual c(1), "Review iKoraiBlendo", "items move up after Remove"
CheckEqual again.Count, CLng(16), "every read builds a new collection"

' Keys ignore case, also beyond the ANSI code page (Greek letters from the
' harness's UTF-16 file).
greek = CreateObject("Scripting.FileSystemObject").OpenTextFile("C:\tavirex-text.txt", 1, _
    False, -1).ReadAll
c.Add "first added", "Alpha"
c.Add 42, greek & "ta"
CheckEqual c("ALPHA"), "first added", "key without regard to case"
CheckEqual c.Item(LCase(greek) & "TA"), 42, "a number item by a Greek key in other case"
On Error Resume Next
c.Add "duplicate", "alpha"
CheckRaised 457, "This key is already associated with an element of this collection", "duplicate key"
item = c(18)
CheckRaised 9, "", "position past the end"
item = c(0)
CheckRaised 9, "", "position 0"
item = c("gamma")
CheckRaised 5, "Invalid procedure call or argument", "missing key"
On Error GoTo 0
CheckEqual c.Count, CLng(17), "nothing added for a duplicate key"

c.Add "front", "front", 1
c.Add "after alpha", , , "alpha"
CheckEqual c(1), "front", "Add before position 1"
CheckEqual c(18), "after alpha", "Add after a key"
CheckEqual c("ALPHA"), "first added", "keys follow their items"
c.Remove "Alpha"
CheckEqual c(17), "after alpha", "Remove by key"
c.Add "alpha again", "ALPHA"
CheckEqual c("alpha"), "alpha again", "a removed key can be used again"
Set dict = CreateObject("Scripting.Dictionary")
c.Add dict, "dict"
Check c("dict") Is dict, "objects are kept as objects"
text = ""
i = CLng(0)
For Each item In c
  i = i + 1
  If Not IsObject(item) Then text = text & item & ";"
Next
CheckEqual i, c.Count, "For Each visits every item"
Check InStr(text, "front;Review iKoraiBlendo;") = 1, "For Each in order: " & text
Report
