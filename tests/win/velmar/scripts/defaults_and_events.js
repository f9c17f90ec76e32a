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

// No installer program beside the control: its publisher cannot be checked. The user is told,
// and the page hears nothing.
axrun.AnswerBoxes("ok");
control.Update("update.xml");
check(heard.length === 0, "no event, heard " + heard);
var boxes = axrun.BoxesSeen;
check(boxes.indexOf("Error: KV3Installer.exe \uD30C\uC77C\uB85C\uBD80\uD130") === 0 &&
      boxes.split("Error: ").length === 2, "one error box: " + boxes);
