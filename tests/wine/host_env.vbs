' The host's environment through the object: the INI files in the Windows
' folder (the harness writes DataDir=C:\TavirexHost\Data\ and asks for the
' log), and the log beside the registered DLL, whose folder is the argument.
Dim o, fso, logPath
Set o = CreateObject("Tavirex.clsTavirex")
Set fso = CreateObject("Scripting.FileSystemObject")
logPath = WScript.Arguments(0) & "\KR_Tavirex.log"
CheckEqual o.GetPraxoDBPath(), "C:\TavirexHost\Data\", "GetPraxoDBPath from praxo32.ini"
CheckEqual o.ShouldWriteToLog(), True, "ShouldWriteToLog from PXEquip.ini"
o.gblnShouldWriteToLog = True
o.WriteToLog "Capture started for 4711"
Check fso.FileExists(logPath), "KR_Tavirex.log beside the DLL"
If fso.FileExists(logPath) Then Check InStr(fso.OpenTextFile(logPath).ReadAll, _
    "Capture started for 4711") > 0, "the entry in KR_Tavirex.log"
Report
