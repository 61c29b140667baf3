' Kestrune.SerialPort from VBScript: port COM<n> (n on the command line) through its native
' handle, what the record then says, a scan, the close.
Dim port, address
Set port = CreateObject("Kestrune.SerialPort")
port.Name = "\\.\COM"
port.Number = CLng(WScript.Arguments(0))
WScript.Echo "Open: " & port.SerialPort_Open_Win
WScript.Echo "Baud: " & port.Baud
WScript.Echo "State: " & port.State
WScript.Echo "WinErrorDescription: " & Replace(port.WinErrorDescription, vbCrLf, "")
WScript.Echo "FunctionName: " & port.FunctionName
WScript.Echo "State_Win: " & port.SerialPort_State_Win & " " & port.StateDescription
address = 0
WScript.Echo "Enum: " & port.SerialPort_Enum(address) & " " & LCase(CStr(address <> 0))
WScript.Echo "Close: " & port.SerialPort_Close_Win
WScript.Echo "Done"
