Attribute VB_Name = "Main"
Option Explicit

' 共通処理
Public Sub ShowError(ByVal msg As String)
    MsgBox msg, vbCritical, "エラー"
End Sub

Public Sub SaveCustomer(ByVal CustomerID As String)
    ' 顧客データを保存する
    Debug.Print "保存: " & CustomerID
End Sub
