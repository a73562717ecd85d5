VERSION 5.00
Begin VB.Form frmOrder 
   Caption         =   "ó’“ü—Í"
   ClientHeight    =   1800
   ClientWidth     =   4800
End
Attribute VB_Name = "frmOrder"
Option Explicit

' ó’‚ğŒÚ‹q‚ÉŒ‹‚Ñ•t‚¯‚é
Private Sub Form_Load()
    Dim CustomerID As String
    CustomerID = InputBox("ŒÚ‹qID:", "ó’“ü—Í")
    If CustomerID = "" Then ShowError "ŒÚ‹q‚ª‘I‚Î‚ê‚Ä‚¢‚Ü‚¹‚ñB"
End Sub
