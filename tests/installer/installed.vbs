'   cscript //nologo installed.vbs COUNT ERROR [VERSION [PACKAGE FOLDER]]
' prints "product: {ProductCode} VERSION" and "icon: PATH" for each installed
' product named Tavirex; checks there are COUNT, that one has VERSION, that
' each file of PACKAGE's feature Tavirex is in FOLDER with its version, and that
' creating Tavirex.clsTavirex fails with ERROR (0: it works).
Dim installer, product, count, versions, o, number, files, view, record, name, path
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
  Check InStr(versions, " " & WScript.Arguments(2) & " ") > 0, "version " & WScript.Arguments(2)
End If

If WScript.Arguments.Count > 4 Then
  Set files = CreateObject("Scripting.FileSystemObject")
  Set view = installer.OpenDatabase(WScript.Arguments(3), 0).OpenView( _
      "SELECT `FileName`, `Version` FROM `File`, `FeatureComponents` WHERE " & _
      "`File`.`Component_` = `FeatureComponents`.`Component_` AND `Feature_` = 'Tavirex'")
  view.Execute
  Set record = view.Fetch
  Do Until record Is Nothing
    ' A long name follows its short one after "|".
    name = Mid(record.StringData(1), InStr(record.StringData(1), "|") + 1)
    path = files.BuildPath(WScript.Arguments(4), name)
    Check record.StringData(2) <> "", name & " has no version in the File table"
    If files.FileExists(path) Then path = files.GetFileVersion(path)
    CheckEqual path, record.StringData(2), name & ": the installed file's version"
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
