' Kestrune.SerialPort as an installed package registers it: the class lists the ports it can
' reach, COM1 ... COM16, with the result of opening each (0 free, 5 held by another program);
' names that lead nowhere (error 2) are left out. Then one scan through the class.
Dim port, n, result, address
For n = 1 To 16
    Set port = CreateObject("Kestrune.SerialPort")
    port.Name = "\\.\COM"
    port.Number = n
    result = port.SerialPort_Open_Win
    If result <> 2 Then WScript.Echo "COM" & n & " " & result
    If result = 0 Then port.SerialPort_Close_Win
    Set port = Nothing
Next
Set port = CreateObject("Kestrune.SerialPort")
address = 0
WScript.Echo "Enum: " & port.SerialPort_Enum(address) & " " & LCase(CStr(address <> 0))
WScript.Echo "Done"
