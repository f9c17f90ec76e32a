// Run on a DLL beside an installer that is modified, unsigned or signed by another name: it is
// not started (it would report 2100); the user is told once, and the page hears nothing.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnUpdateCompleted() { heard.push("completed"); }
function control_OnUpdateError(code, text) { heard.push(code + ":" + text); }
axrun.AnswerBoxes("ok");
control.InstallerInfoXML = "start result:2100:started";
control.Update("needs_update.xml");
check(heard.length === 0, "heard " + heard);
var boxes = axrun.BoxesSeen;
check(boxes.indexOf("Error: KV3Installer.exe \uD30C\uC77C\uB85C\uBD80\uD130") === 0 &&
      boxes.split("Error: ").length === 2, "one error box: " + boxes);
