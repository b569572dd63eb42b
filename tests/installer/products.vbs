' Lists the installed products named Tavirex, as Windows Installer knows
' them: one line "product: {ProductCode} VERSION" each, then the count.
'   cscript //nologo products.vbs COUNT [VERSION]
' checks that there are COUNT of them and, given VERSION, that one has it.
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
  End If
Next

Check count = CLng(WScript.Arguments(0)), count & " products named Tavirex, expected " & _
    WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then
  Check InStr(versions, " " & WScript.Arguments(1) & " ") > 0, "no product of version " & _
      WScript.Arguments(1) & " (have" & versions & ")"
End If

Report
