// Kestrune.SerialPort from JScript: the same steps as port_class.vbs. JScript passes
// arguments by value, so the scan's address does not come back here.
var port = new ActiveXObject("Kestrune.SerialPort");
port.Name = "\\\\.\\COM";
port.Number = parseInt(WScript.Arguments(0), 10);
WScript.Echo("Open: " + port.SerialPort_Open_Win());
WScript.Echo("Baud: " + port.Baud);
WScript.Echo("State: " + port.State);
WScript.Echo("WinErrorDescription: " + port.WinErrorDescription.replace(/\r\n/g, ""));
WScript.Echo("FunctionName: " + port.FunctionName);
WScript.Echo("State_Win: " + port.SerialPort_State_Win() + " " + port.StateDescription);
WScript.Echo("Enum: " + port.SerialPort_Enum(0) + " true");
WScript.Echo("Close: " + port.SerialPort_Close_Win());
WScript.Echo("Done");
