' Lists the installed products named Tavirex, as Windows Installer knows
' them: one line "product: {ProductCode} VERSION" and one "icon: PATH" (its
' icon in Apps & Features) each, then the count.
'   cscript //nologo products.vbs COUNT [VERSION [PACKAGE FOLDER]]
' checks that there are COUNT of them and, given VERSION, that one has it;
' given PACKAGE and FOLDER, that each file of the package's File table is in
' FOLDER with the version Windows reads from it.
' Ends with "N passed, N failed".

Dim installer, product, count, versions
Set installer = CreateObject("WindowsInstaller.Installer")
count = 0
versions = " "
For Each product In installer.Products
  If installer.ProductInfo(product, "ProductName") = "Tavirex" Then
    count = count + 1
    versions = versions & installer.ProductInfo(product, "VersionString") & " "
    WScript.Echo "product: " & product & " " & installer.ProductInfo(product, "VersionString")
    WScript.Echo "icon: " & installer.ProductInfo(product, "ProductIcon")
  End If
Next

Check count = CLng(WScript.Arguments(0)), count & " products named Tavirex, expected " & _
    WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then
  Check InStr(versions, " " & WScript.Arguments(1) & " ") > 0, "no product of version " & _
      WScript.Arguments(1) & " (have" & versions & ")"
End If

If WScript.Arguments.Count > 3 Then
  Dim files, view, record, name, path, version
  Set files = CreateObject("Scripting.FileSystemObject")
  Set view = installer.OpenDatabase(WScript.Arguments(2), 0).OpenView( _
      "SELECT `FileName`, `Version` FROM `File`")
  view.Execute
  Set record = view.Fetch
  Do Until record Is Nothing
    ' A long name follows its short one after "|".
    name = Mid(record.StringData(1), InStr(record.StringData(1), "|") + 1)
    version = record.StringData(2)
    path = files.BuildPath(WScript.Arguments(3), name)
    If files.FileExists(path) Then
      Check version <> "" And version = files.GetFileVersion(path), name & ": File table " & _
          version & ", the file " & files.GetFileVersion(path)
    Else
      Check False, "no " & path
    End If
    Set record = view.Fetch
  Loop
End If

Report
