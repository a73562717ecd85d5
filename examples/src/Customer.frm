VERSION 5.00
Begin VB.Form frmCustomer 
   Caption         =   "ŒÚ‹q“o˜^"
   ClientHeight    =   1800
   ClientWidth     =   4800
   Begin VB.TextBox txtCustomerID 
      Height          =   330
      Left            =   1560
      Top             =   240
      Width           =   2000
   End
   Begin VB.CommandButton cmdSave 
      Caption         =   "•Û‘¶(&S)"
      Height          =   375
      Left            =   1560
      Top             =   960
      Width           =   1200
   End
End
Attribute VB_Name = "frmCustomer"
Option Explicit

' ŒÚ‹q‚ğ“o˜^‚·‚é‰æ–Ê
Private Sub cmdSave_Click()
    If txtCustomerID.Text = "" Then
        ShowError "ŒÚ‹qID‚ğ“ü—Í‚µ‚Ä‚­‚¾‚³‚¢B"
        Exit Sub
    End If
    SaveCustomer txtCustomerID.Text
    MsgBox "“o˜^‚µ‚Ü‚µ‚½B", vbInformation, "ŒÚ‹q“o˜^"
End Sub
