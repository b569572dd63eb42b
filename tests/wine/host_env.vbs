' What a script sees of the host's environment through the object: the INI
' files in the Windows folder, and the log written beside the registered DLL.
'   cscript host_env.vbs <folder of the DLL>
' The harness writes DataDir=C:\TavirexHost\Data\ to praxo32.ini and asks
' for the log in PXEquip.ini. Ends with "N passed, N failed".
Dim o, fso, logPath
Set o = CreateObject("Tavirex.clsTavirex")
Set fso = CreateObject("Scripting.FileSystemObject")
logPath = WScript.Arguments(0) & "\KR_Tavirex.log"

CheckEqual o.GetPraxoDBPath(), "C:\TavirexHost\Data\", "GetPraxoDBPath from praxo32.ini"
CheckEqual o.ShouldWriteToLog(), True, "ShouldWriteToLog from PXEquip.ini"
o.gblnShouldWriteToLog = True
o.WriteToLog "Capture started for 4711"
Check fso.FileExists(logPath), "KR_Tavirex.log beside the DLL"
If fso.FileExists(logPath) Then
  Check InStr(fso.OpenTextFile(logPath).ReadAll, "Capture started for 4711") > 0, "the entry"
End If
Report
