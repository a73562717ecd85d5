Attribute VB_Name = "Util"
Option Explicit

' •¶š—ñ‚Ì‘OŒã‚Ì‹ó”’‚ğæ‚èœ‚­
Public Function TrimAll(ByVal text As String) As String
    TrimAll = Trim$(text)
End Function
