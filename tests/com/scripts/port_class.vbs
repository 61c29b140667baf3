' Kestrune.SerialPort from VBScript: open port COM<n> (n on the command line) through its
' native handle, show what the record says, scan, close.
Dim port, result, address
Set port = CreateObject("Kestrune.SerialPort")
port.Name = "\\.\COM"
port.Number = CLng(WScript.Arguments(0))
result = port.SerialPort_Open_Win
WScript.Echo "Open: " & result
WScript.Echo "Baud: " & port.Baud
WScript.Echo "State: " & port.State
WScript.Echo "StateDescription: " & port.StateDescription
WScript.Echo "WinErrorDescription: " & port.WinErrorDescription
WScript.Echo "FunctionName: " & port.FunctionName
address = 0
result = port.SerialPort_Enum(address)
WScript.Echo "Enum: " & result & " " & (address <> 0)
WScript.Echo "Close: " & port.SerialPort_Close_Win
WScript.Echo "State: " & port.State & " " & port.StateDescription
