// Run on the DLL beside the signed installer stand-in: a descriptor whose component is
// registered (the system's XML parser) and, in mode NotExist, needs nothing; the page hears
// that the update completed, and the installer never starts (it would report 2100).
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnUpdateCompleted() { heard.push("completed"); }
function control_OnUpdateError(code, text) { heard.push(code + ":" + text); }
control.InstallerInfoXML = "start result:2100:started";
control.Update("nothing_to_update.xml");
check(heard.join("|") === "completed", "heard " + heard);

// The same with nothing but other elements in the list.
heard = [];
control.Update("only_notes.xml");
check(heard.join("|") === "completed", "heard " + heard);

// And one that needs an update starts it.
heard = [];
control.Update("needs_update.xml");
check(heard.join("|") === "2100:started", "heard " + heard);
