' The installed products named Tavirex as Windows Installer knows them, and
' the installed object.
'   cscript //nologo installed.vbs COUNT ERROR [VERSION [PACKAGE FOLDER]]
' prints "product: {ProductCode} VERSION" and "icon: PATH" (its icon in Apps
' & Features) for each, and checks that there are COUNT of them, that
' creating Tavirex.clsTavirex fails with ERROR (0: the object works); given
' VERSION, that one has it; given PACKAGE and FOLDER, that each file of the
' package's File table is in FOLDER with the version Windows reads from it.
Dim installer, product, count, versions, o, number
Set installer = CreateObject("WindowsInstaller.Installer")
count = CLng(0)
versions = " "
For Each product In installer.Products
  If installer.ProductInfo(product, "ProductName") = "Tavirex" Then
    count = count + 1
    versions = versions & installer.ProductInfo(product, "VersionString") & " "
    WScript.Echo "product: " & product & " " & installer.ProductInfo(product, "VersionString")
    WScript.Echo "icon: " & installer.ProductInfo(product, "ProductIcon")
  End If
Next
CheckEqual count, CLng(WScript.Arguments(0)), "products named Tavirex"
If WScript.Arguments.Count > 2 Then
  Check InStr(versions, " " & WScript.Arguments(2) & " ") > 0, "no product of version " & _
      WScript.Arguments(2) & " (have" & versions & ")"
End If

If WScript.Arguments.Count > 4 Then
  Dim files, view, record, name, path, version
  Set files = CreateObject("Scripting.FileSystemObject")
  Set view = installer.OpenDatabase(WScript.Arguments(3), 0).OpenView( _
      "SELECT `FileName`, `Version` FROM `File`")
  view.Execute
  Set record = view.Fetch
  Do Until record Is Nothing
    ' A long name follows its short one after "|".
    name = Mid(record.StringData(1), InStr(record.StringData(1), "|") + 1)
    version = record.StringData(2)
    path = files.BuildPath(WScript.Arguments(4), name)
    Check files.FileExists(path), "no " & path
    If files.FileExists(path) Then CheckEqual files.GetFileVersion(path), version, name & _
        ": the version of the file (its File table row has " & version & ")"
    Check version <> "", name & ": no version in the File table"
    Set record = view.Fetch
  Loop
End If

On Error Resume Next
Set o = CreateObject("Tavirex.clsTavirex")
number = Err.Number
On Error GoTo 0
CheckEqual number, CLng(WScript.Arguments(1)), "the error creating Tavirex.clsTavirex"
If number = 0 Then CheckEqual o.DeviceNames.Count, CLng(16), "DeviceNames.Count"

Report
