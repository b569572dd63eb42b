' clsTavirex through late binding, as a script host sees it: the state of a
' new object, Let/Get and Set/Get of every kind of member, the constant
' members and fun_sFixString. Every member is spelled out: Wine's VBScript
' has no Eval or Execute. Ends with "N passed, N failed".

Dim o, value
Set o = CreateObject("Tavirex.clsTavirex")

' A new object.
Check o.mobjPatient Is Nothing, "new mobjPatient"
Check o.mobjKRVisTestsDataObject Is Nothing, "new mobjKRVisTestsDataObject"
Check o.mobjUAVAKRTestsDataObject Is Nothing, "new mobjUAVAKRTestsDataObject"
Check o.mobjRTSubjDataObject Is Nothing, "new mobjRTSubjDataObject"
Check o.mobjRTFinalDataObject Is Nothing, "new mobjRTFinalDataObject"
Check o.mobjTrailCLDataObject Is Nothing, "new mobjTrailCLDataObject"
Check o.mobjLMDataObject Is Nothing, "new mobjLMDataObject"
Check o.mobjRMDataObject Is Nothing, "new mobjRMDataObject"
Check o.mobjKMDataObject Is Nothing, "new mobjKMDataObject"
Check o.mobjARDataObject Is Nothing, "new mobjARDataObject"
Check o.mobjVLDataObject Is Nothing, "new mobjVLDataObject"
Check o.mobjLXDataObject Is Nothing, "new mobjLXDataObject"
Check o.mobjPresentingCLDataObject Is Nothing, "new mobjPresentingCLDataObject"
CheckEqual o.gblnShouldWriteToLog, False, "new gblnShouldWriteToLog"
CheckEqual o.Look4EndOfTransChar, False, "new Look4EndOfTransChar"
CheckEqual o.HaveRTSubjData, False, "new HaveRTSubjData"
CheckEqual o.HaveRTFinalData, False, "new HaveRTFinalData"
CheckEqual o.HaveTrailCLData, False, "new HaveTrailCLData"
CheckEqual o.HavePresentingCLData, False, "new HavePresentingCLData"
CheckEqual o.HaveKMData, False, "new HaveKMData"
CheckEqual o.HaveBinoVisTestData, False, "new HaveBinoVisTestData"
CheckEqual o.HaveRMData, False, "new HaveRMData"
CheckEqual o.HaveRM_PD_Data, False, "new HaveRM_PD_Data"
CheckEqual o.HaveLMData, False, "new HaveLMData"
CheckEqual o.HaveLXData, False, "new HaveLXData"
CheckEqual o.HaveARData, False, "new HaveARData"
CheckEqual o.HaveVAAidedData, False, "new HaveVAAidedData"
CheckEqual o.HaveVAUnAidedData, False, "new HaveVAUnAidedData"
CheckEqual o.DataIsSaved, False, "new DataIsSaved"
CheckEqual o.UseOtherCommCtrl, False, "new UseOtherCommCtrl"
CheckEqual o.UseSerialPort, False, "new UseSerialPort"
CheckEqual o.CompanyName, "", "new CompanyName"
CheckEqual o.Model, "", "new Model"
CheckEqual o.ExamDate, "", "new ExamDate"
CheckEqual o.CharsAtEndOfData2Look4, "", "new CharsAtEndOfData2Look4"
CheckEqual o.DataSource, "", "new DataSource"
CheckEqual o.PATIENTID, "", "new PATIENTID"
CheckEqual o.LastName, "", "new LastName"
CheckEqual o.FirstName, "", "new FirstName"
CheckEqual o.MiddleName, "", "new MiddleName"
CheckEqual o.Gender, "", "new Gender"
CheckEqual o.DateOfBirth, "", "new DateOfBirth"
CheckEqual o.ProviderName, "", "new ProviderName"
CheckEqual o.IrisCatagory, "", "new IrisCatagory"
CheckEqual o.EquipDataPath, "", "new EquipDataPath"
CheckEqual o.EquipDataFileStartChars, "", "new EquipDataFileStartChars"
CheckEqual o.EquipDataFileEndChars, "", "new EquipDataFileEndChars"
CheckEqual o.EquipProgPathFName, "", "new EquipProgPathFName"
CheckEqual o.SQLString2Execute, "", "new SQLString2Execute"
CheckEqual o.CommPort, "", "new CommPort"
CheckEqual o.BaudRate, "", "new BaudRate"
CheckEqual o.DataBits, "", "new DataBits"
CheckEqual o.Parity, "", "new Parity"
CheckEqual o.StopBits, "", "new StopBits"
CheckEqual o.CommEvent, "", "new CommEvent"
CheckEqual o.FirstChar, "", "new FirstChar"
CheckEqual o.LastChar, "", "new LastChar"
CheckEqual o.Handshaking, "", "new Handshaking"
CheckEqual o.LogoToolTip, "", "new LogoToolTip"
CheckEqual o.ConnectStringParams, "me", "new ConnectStringParams"
CheckEqual o.ExamRecNum, CLng(0), "new ExamRecNum"
CheckEqual o.MaxCharsFromThisDevice, CLng(0), "new MaxCharsFromThisDevice"
CheckEqual o.NumDataSegments, CInt(0), "NumDataSegments"

' Let and Get. Every member has a slot of its own: all are assigned first and
' read back afterwards. By-reference members get a variable, which a script
' passes as a reference to a variant. Every text carries characters outside
' the ANSI code page, which come back as assigned: Greek, Polish, Japanese, an
' emoji (a surrogate pair) and a lone surrogate, from the harness's UTF-16
' file (Wine's VBScript has no ChrW).
Dim u
u = CreateObject("Scripting.FileSystemObject").OpenTextFile("C:\tavirex-text.txt", 1, False, -1).ReadAll
CheckEqual Len(u), CLng(16), "the text outside the code page"
o.CompanyName = "CompanyName value" & u
o.Model = "Model value" & u
o.ExamDate = "ExamDate value" & u
value = "CharsAtEndOfData2Look4 value" & u
o.CharsAtEndOfData2Look4 = value
value = "DataSource value" & u
o.DataSource = value
value = "PATIENTID value" & u
o.PATIENTID = value
value = "LastName value" & u
o.LastName = value
value = "FirstName value" & u
o.FirstName = value
value = "MiddleName value" & u
o.MiddleName = value
value = "Gender value" & u
o.Gender = value
value = "DateOfBirth value" & u
o.DateOfBirth = value
value = "ProviderName value" & u
o.ProviderName = value
value = "IrisCatagory value" & u
o.IrisCatagory = value
value = "EquipDataPath value" & u
o.EquipDataPath = value
value = "EquipDataFileStartChars value" & u
o.EquipDataFileStartChars = value
value = "EquipDataFileEndChars value" & u
o.EquipDataFileEndChars = value
value = "EquipProgPathFName value" & u
o.EquipProgPathFName = value
o.gblnShouldWriteToLog = True
o.Look4EndOfTransChar = False
o.HaveRTSubjData = True
o.HaveRTFinalData = False
o.HaveTrailCLData = True
o.HavePresentingCLData = False
o.HaveKMData = True
o.HaveBinoVisTestData = False
o.HaveRMData = True
o.HaveRM_PD_Data = False
o.HaveLMData = True
o.HaveLXData = False
o.HaveARData = True
o.HaveVAAidedData = False
o.HaveVAUnAidedData = True
o.DataIsSaved = False
CheckEqual o.CompanyName, "CompanyName value" & u, "CompanyName round trip"
CheckEqual o.Model, "Model value" & u, "Model round trip"
CheckEqual o.ExamDate, "ExamDate value" & u, "ExamDate round trip"
CheckEqual o.CharsAtEndOfData2Look4, "CharsAtEndOfData2Look4 value" & u, "CharsAtEndOfData2Look4 round trip"
CheckEqual o.DataSource, "DataSource value" & u, "DataSource round trip"
CheckEqual o.PATIENTID, "PATIENTID value" & u, "PATIENTID round trip"
CheckEqual o.LastName, "LastName value" & u, "LastName round trip"
CheckEqual o.FirstName, "FirstName value" & u, "FirstName round trip"
CheckEqual o.MiddleName, "MiddleName value" & u, "MiddleName round trip"
CheckEqual o.Gender, "Gender value" & u, "Gender round trip"
CheckEqual o.DateOfBirth, "DateOfBirth value" & u, "DateOfBirth round trip"
CheckEqual o.ProviderName, "ProviderName value" & u, "ProviderName round trip"
CheckEqual o.IrisCatagory, "IrisCatagory value" & u, "IrisCatagory round trip"
CheckEqual o.EquipDataPath, "EquipDataPath value" & u, "EquipDataPath round trip"
CheckEqual o.EquipDataFileStartChars, "EquipDataFileStartChars value" & u, "EquipDataFileStartChars round trip"
CheckEqual o.EquipDataFileEndChars, "EquipDataFileEndChars value" & u, "EquipDataFileEndChars round trip"
CheckEqual o.EquipProgPathFName, "EquipProgPathFName value" & u, "EquipProgPathFName round trip"
CheckEqual o.gblnShouldWriteToLog, True, "gblnShouldWriteToLog round trip"
CheckEqual o.Look4EndOfTransChar, False, "Look4EndOfTransChar round trip"
CheckEqual o.HaveRTSubjData, True, "HaveRTSubjData round trip"
CheckEqual o.HaveRTFinalData, False, "HaveRTFinalData round trip"
CheckEqual o.HaveTrailCLData, True, "HaveTrailCLData round trip"
CheckEqual o.HavePresentingCLData, False, "HavePresentingCLData round trip"
CheckEqual o.HaveKMData, True, "HaveKMData round trip"
CheckEqual o.HaveBinoVisTestData, False, "HaveBinoVisTestData round trip"
CheckEqual o.HaveRMData, True, "HaveRMData round trip"
CheckEqual o.HaveRM_PD_Data, False, "HaveRM_PD_Data round trip"
CheckEqual o.HaveLMData, True, "HaveLMData round trip"
CheckEqual o.HaveLXData, False, "HaveLXData round trip"
CheckEqual o.HaveARData, True, "HaveARData round trip"
CheckEqual o.HaveVAAidedData, False, "HaveVAAidedData round trip"
CheckEqual o.HaveVAUnAidedData, True, "HaveVAUnAidedData round trip"
CheckEqual o.DataIsSaved, False, "DataIsSaved round trip"
o.gblnShouldWriteToLog = False
CheckEqual o.gblnShouldWriteToLog, False, "gblnShouldWriteToLog back to False"
value = True
o.Look4EndOfTransChar = value
CheckEqual o.Look4EndOfTransChar, True, "Look4EndOfTransChar from a variable"
o.HaveRTSubjData = False
CheckEqual o.HaveRTSubjData, False, "HaveRTSubjData back to False"
value = True
o.HaveRTFinalData = value
CheckEqual o.HaveRTFinalData, True, "HaveRTFinalData from a variable"
o.HaveTrailCLData = False
CheckEqual o.HaveTrailCLData, False, "HaveTrailCLData back to False"
value = True
o.HavePresentingCLData = value
CheckEqual o.HavePresentingCLData, True, "HavePresentingCLData from a variable"
o.HaveKMData = False
CheckEqual o.HaveKMData, False, "HaveKMData back to False"
value = True
o.HaveBinoVisTestData = value
CheckEqual o.HaveBinoVisTestData, True, "HaveBinoVisTestData from a variable"
o.HaveRMData = False
CheckEqual o.HaveRMData, False, "HaveRMData back to False"
value = True
o.HaveRM_PD_Data = value
CheckEqual o.HaveRM_PD_Data, True, "HaveRM_PD_Data from a variable"
o.HaveLMData = False
CheckEqual o.HaveLMData, False, "HaveLMData back to False"
value = True
o.HaveLXData = value
CheckEqual o.HaveLXData, True, "HaveLXData from a variable"
o.HaveARData = False
CheckEqual o.HaveARData, False, "HaveARData back to False"
value = True
o.HaveVAAidedData = value
CheckEqual o.HaveVAAidedData, True, "HaveVAAidedData from a variable"
o.HaveVAUnAidedData = False
CheckEqual o.HaveVAUnAidedData, False, "HaveVAUnAidedData back to False"
value = True
o.DataIsSaved = value
CheckEqual o.DataIsSaved, True, "DataIsSaved from a variable"

Dim muller
muller = "M" & Chr(252) & "ller-O'Brien"    ' a letter of the ANSI code page
value = muller
o.LastName = value
CheckEqual o.LastName, muller, "LastName with a Latin letter and an apostrophe"
CheckEqual value, muller, "caller's variable after a by-reference Let"
o.FirstName = ""
CheckEqual o.FirstName, "", "FirstName set back to empty"

value = 1042
o.ExamRecNum = value
CheckEqual o.ExamRecNum, CLng(1042), "ExamRecNum from a variable"
o.ExamRecNum = 2147483647
CheckEqual o.ExamRecNum, CLng(2147483647), "ExamRecNum at its maximum"
o.MaxCharsFromThisDevice = -7
CheckEqual o.MaxCharsFromThisDevice, CLng(-7), "MaxCharsFromThisDevice negative"
CheckEqual o.ExamRecNum, CLng(2147483647), "ExamRecNum unchanged by MaxCharsFromThisDevice"

' Object fields: the object assigned comes back; Nothing empties the field.
Dim dict, other
Set dict = CreateObject("Scripting.Dictionary")
dict.Add "eye", "OD"
Set other = CreateObject("Scripting.Dictionary")
Set o.mobjPatient = dict
Set o.mobjKRVisTestsDataObject = dict
Set o.mobjUAVAKRTestsDataObject = dict
Set o.mobjRTSubjDataObject = dict
Set o.mobjRTFinalDataObject = dict
Set o.mobjTrailCLDataObject = dict
Set o.mobjLMDataObject = dict
Set o.mobjRMDataObject = dict
Set o.mobjKMDataObject = dict
Set o.mobjARDataObject = dict
Set o.mobjVLDataObject = dict
Set o.mobjLXDataObject = dict
Set o.mobjPresentingCLDataObject = dict
Check o.mobjPatient Is dict, "mobjPatient returns the object assigned"
Check o.mobjKRVisTestsDataObject Is dict, "mobjKRVisTestsDataObject returns the object assigned"
Check o.mobjUAVAKRTestsDataObject Is dict, "mobjUAVAKRTestsDataObject returns the object assigned"
Check o.mobjRTSubjDataObject Is dict, "mobjRTSubjDataObject returns the object assigned"
Check o.mobjRTFinalDataObject Is dict, "mobjRTFinalDataObject returns the object assigned"
Check o.mobjTrailCLDataObject Is dict, "mobjTrailCLDataObject returns the object assigned"
Check o.mobjLMDataObject Is dict, "mobjLMDataObject returns the object assigned"
Check o.mobjRMDataObject Is dict, "mobjRMDataObject returns the object assigned"
Check o.mobjKMDataObject Is dict, "mobjKMDataObject returns the object assigned"
Check o.mobjARDataObject Is dict, "mobjARDataObject returns the object assigned"
Check o.mobjVLDataObject Is dict, "mobjVLDataObject returns the object assigned"
Check o.mobjLXDataObject Is dict, "mobjLXDataObject returns the object assigned"
Check o.mobjPresentingCLDataObject Is dict, "mobjPresentingCLDataObject returns the object assigned"
CheckEqual o.mobjPatient.Item("eye"), "OD", "calling through a stored object"
Set o.mobjKMDataObject = other
Check o.mobjKMDataObject Is other, "mobjKMDataObject replaced"
Check o.mobjLMDataObject Is dict, "mobjLMDataObject untouched by the replacement"
Set o.mobjPatient = Nothing
Set o.mobjKRVisTestsDataObject = Nothing
Set o.mobjUAVAKRTestsDataObject = Nothing
Set o.mobjRTSubjDataObject = Nothing
Set o.mobjRTFinalDataObject = Nothing
Set o.mobjTrailCLDataObject = Nothing
Set o.mobjLMDataObject = Nothing
Set o.mobjRMDataObject = Nothing
Set o.mobjKMDataObject = Nothing
Set o.mobjARDataObject = Nothing
Set o.mobjVLDataObject = Nothing
Set o.mobjLXDataObject = Nothing
Set o.mobjPresentingCLDataObject = Nothing
Check o.mobjPatient Is Nothing, "mobjPatient emptied by Nothing"
Check o.mobjKRVisTestsDataObject Is Nothing, "mobjKRVisTestsDataObject emptied by Nothing"
Check o.mobjUAVAKRTestsDataObject Is Nothing, "mobjUAVAKRTestsDataObject emptied by Nothing"
Check o.mobjRTSubjDataObject Is Nothing, "mobjRTSubjDataObject emptied by Nothing"
Check o.mobjRTFinalDataObject Is Nothing, "mobjRTFinalDataObject emptied by Nothing"
Check o.mobjTrailCLDataObject Is Nothing, "mobjTrailCLDataObject emptied by Nothing"
Check o.mobjLMDataObject Is Nothing, "mobjLMDataObject emptied by Nothing"
Check o.mobjRMDataObject Is Nothing, "mobjRMDataObject emptied by Nothing"
Check o.mobjKMDataObject Is Nothing, "mobjKMDataObject emptied by Nothing"
Check o.mobjARDataObject Is Nothing, "mobjARDataObject emptied by Nothing"
Check o.mobjVLDataObject Is Nothing, "mobjVLDataObject emptied by Nothing"
Check o.mobjLXDataObject Is Nothing, "mobjLXDataObject emptied by Nothing"
Check o.mobjPresentingCLDataObject Is Nothing, "mobjPresentingCLDataObject emptied by Nothing"

' DeviceName has no Get.
o.DeviceName = "Capture iPedra"
Dim number
On Error Resume Next
value = o.DeviceName
number = Err.Number
On Error GoTo 0
Check number <> 0, "reading the write-only DeviceName fails"

' LoadEquipProps fills the device properties; the constants stay constant.
value = "Review Vessara"
o.LoadEquipProps value
CheckEqual value, "Review Vessara", "LoadEquipProps leaves its argument alone"
CheckEqual o.DataSource, "File", "DataSource after LoadEquipProps"
CheckEqual o.EquipDataFileStartChars, "op_", "EquipDataFileStartChars after LoadEquipProps"
CheckEqual o.EquipDataFileEndChars, ".jpg", "EquipDataFileEndChars after LoadEquipProps"
CheckEqual o.EquipProgPathFName, "C:\KSOCTVIEW\bin\CreatePatient.exe", "EquipProgPathFName"
CheckEqual o.EquipDataPath, "C:\TavirexHost\Programs", "EquipDataPath is the host programs folder"
CheckEqual o.Look4EndOfTransChar, False, "Look4EndOfTransChar after LoadEquipProps"
CheckEqual o.SQLString2Execute, "", "SQLString2Execute after LoadEquipProps"
CheckEqual o.CommPort, "", "CommPort after LoadEquipProps"
CheckEqual o.BaudRate, "", "BaudRate after LoadEquipProps"
CheckEqual o.DataBits, "", "DataBits after LoadEquipProps"
CheckEqual o.Parity, "", "Parity after LoadEquipProps"
CheckEqual o.StopBits, "", "StopBits after LoadEquipProps"
CheckEqual o.CommEvent, "", "CommEvent after LoadEquipProps"
CheckEqual o.FirstChar, "", "FirstChar after LoadEquipProps"
CheckEqual o.LastChar, "", "LastChar after LoadEquipProps"
CheckEqual o.Handshaking, "", "Handshaking after LoadEquipProps"
CheckEqual o.ConnectStringParams, "me", "ConnectStringParams after LoadEquipProps"
CheckEqual o.GetIDFromEquipFName(value, value), "", "GetIDFromEquipFName"

' fun_sFixString quotes for SQL and leaves the caller's variable alone.
value = "O'Brien"
CheckEqual o.fun_sFixString(value), "O''Brien", "one apostrophe doubled"
CheckEqual value, "O'Brien", "caller's variable unchanged"
CheckEqual o.fun_sFixString("Zo" & Chr(235) & "'s" & u), "Zo" & Chr(235) & "''s" & u, _
    "every other character kept, also outside the code page"
value = "a''b'"
CheckEqual o.fun_sFixString(value), "a''''b''", "apostrophes in a row and at the end"
CheckEqual o.fun_sFixString(""), "", "empty text"
CheckEqual o.fun_sFixString("no quotes"), "no quotes", "text without apostrophes"

' Two objects share nothing.
Dim second
Set second = CreateObject("Tavirex.clsTavirex")
CheckEqual second.LastName, "", "a second object starts empty"
second.LastName = "Second"
CheckEqual o.LastName, muller, "the first object keeps its value"

Report
