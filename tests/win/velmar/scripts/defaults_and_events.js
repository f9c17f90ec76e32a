// A fresh control's properties, then Update's outcome heard by a script handler.
function check(ok, what) { if (!ok) axrun.Fail(what); }

var heard = [];
function control_OnUpdateError(code, text) { heard.push(code + ":" + text); }
function control_OnUpdateCompleted() { heard.push("completed"); }

check(control.ShowWaitDialog === true, "ShowWaitDialog starts true");
check(control.SaveXML === false, "SaveXML starts false");
check(control.DownloadTitleText === "Downloading ...", "DownloadTitleText default");
check(control.XMLUrl === "" && control.TrustZone === "" && control.InstallerInfoXML === "",
      "text properties start empty");
control.ShowWaitDialog = 0;
check(control.ShowWaitDialog === false, "ShowWaitDialog takes 0");
control.ShowWaitDialog = 1;
check(control.ShowWaitDialog === true, "ShowWaitDialog takes 1");
control.TrustZone = "a.example;b.example";
check(control.TrustZone === "a.example;b.example", "TrustZone keeps its text");
control.Execute("C:\\nothing.exe");
control.Execute("C:\\nothing.exe", "/quiet");

// Without the external installer beside the control, Update reports that it could not run it.
control.Update("update.xml");
check(heard.length === 1, "one event, heard " + heard.length);
check(heard[0].indexOf("1001:Installer") === 0, "error 1001 with its text: " + heard[0]);
axrun.Echo(heard[0]);
