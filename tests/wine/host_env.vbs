' The members that reach the host's INI files and the plug-in's folder, and a
' failure raised by the core as the script sees it.
'   cscript host_env.vbs <folder of the DLL> <True|False: WriteReceiveDataLog asks for the log>
' The harness writes praxo32.ini with DataDir=C:\TavirexHost\Data\ and cleans
' the DLL's folder of logs first. Ends with "N passed, N failed".

Dim o, fso, folder, logPath, text, content, stamp, lines, name
Set o = CreateObject("Tavirex.clsTavirex")
Set fso = CreateObject("Scripting.FileSystemObject")
folder = WScript.Arguments(0)
logPath = folder & "\KR_Tavirex.log"

CheckEqual o.GetPraxoDBPath(), "C:\TavirexHost\Data\", "GetPraxoDBPath keeps the trailing backslash"
CheckEqual o.ShouldWriteToLog(), WScript.Arguments(1) = "True", "ShouldWriteToLog"
CheckEqual o.gblnShouldWriteToLog, False, "ShouldWriteToLog leaves gblnShouldWriteToLog alone"

' The host's log: written only while gblnShouldWriteToLog is set, whatever
' the INI says.
o.WriteToLog "before the switch"
Check Not fso.FileExists(logPath), "WriteToLog writes nothing while gblnShouldWriteToLog is False"
o.gblnShouldWriteToLog = True
text = "Capture started for 4711"
o.WriteToLog text
CheckEqual text, "Capture started for 4711", "WriteToLog leaves its argument alone"
Check fso.FileExists(logPath), "KR_Tavirex.log beside the DLL"
If fso.FileExists(logPath) Then
  content = fso.OpenTextFile(logPath).ReadAll
  stamp = Right("0" & Month(Now), 2) & "-" & Right("0" & Day(Now), 2) & "-" & Year(Now)
  lines = Split(content, vbCrLf)
  CheckEqual UBound(lines), CLng(3), "an empty line, the entry, an empty line: " & content
  If UBound(lines) = 3 Then
    CheckEqual lines(0), "", "the entry starts with an empty line"
    CheckEqual Left(lines(1), 12), stamp & "  ", "the date, month first, then two blanks"
    CheckEqual Right(lines(1), Len(text)), text, "the text ends the line"
    CheckEqual lines(2), "", "an empty line follows the entry"
  End If
End If

'' ParseFileName: the exam record number goes after the first field.
o.ExamRecNum = 42
name = "P1_A_B.jpg"
CheckEqual o.ParseFileName(name, "C:\store"), "C:\store\P1_42_A_B.jpg", "ParseFileName"
CheckEqual name, "P1_A_B.jpg", "ParseFileName leaves its argument alone"
CheckEqual o.ParseFileName("A.jpg", "C:\store"), "C:\store\42_A.jpg", "a name without underscore"
CheckEqual o.ParseFileName(Empty, "C:\store"), "C:\store\42_", "Empty is an empty name"
CheckEqual o.ParseFileName(7, "C:\store"), "C:\store\42_7", "a number is taken as its text"

'' The image count: the files in EquipDataPath whose first field is the
' patient key. Without an entry of the Review function in PXEquip.ini the
' property keeps the folder the host gave it.
Dim images, count
images = folder & "\images"
If Not fso.FolderExists(images) Then fso.CreateFolder images
For Each name In Array("4711_1042_a.jpg", "4711_1043_b.jpg", "47110_1_c.jpg", "0815_1_d.jpg")
  fso.CreateTextFile(images & "\" & name, True).Close
Next
o.DeviceName = "Capture Corvana"
o.EquipDataPath = images
o.PATIENTID = "47-11"
count = o.NumPatientImageFiles()
CheckEqual count, CLng(2), "NumPatientImageFiles counts 4711_ files only"
CheckEqual Left(o.LogoToolTip, 14), "Last Session: ", "LogoToolTip begins with the session"
CheckEqual Right(o.LogoToolTip, 10), "  Images=2", "LogoToolTip ends with the count"

' DoDeviceFunction runs nothing for a name without "Capture" or "Review".
o.DeviceName = "capture corvana"
CheckEqual o.DoDeviceFunction(), "", "DoDeviceFunction for a name in lower case"
o.DeviceName = ""
CheckEqual o.DoDeviceFunction(), "", "DoDeviceFunction without a device name"

' A failure raised by the core arrives as VB's error number and text.
Dim number, description, source
On Error Resume Next
name = o.ParseFileName(Null, "C:\store")
number = Err.Number
description = Err.Description
source = Err.Source
On Error GoTo 0
CheckEqual number, CLng(94), "Null file name"
CheckEqual description, "Invalid use of Null", "its description"
CheckEqual source, "Tavirex.clsTavirex", "its source"
CheckEqual o.ConnectStringParams, "me", "the object still works after the failure"

Report
