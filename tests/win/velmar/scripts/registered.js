// Run on the registered DLL (by its ProgID) beside the signed installer stand-in. The
// descriptors list Velmar's own class: the version registered for it decides.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnUpdateCompleted() { heard.push("completed"); }
function control_OnUpdateError(code, text) { heard.push(code + ":" + text); }
control.InstallerInfoXML = "start result:2100:%cmdline%";
control.Update("velmar_older.xml");
check(heard.join("|") === "completed", "an older version required: heard " + heard);

heard = [];
control.Update("velmar_newer.xml");
check(heard.length === 1 &&
      /^2100:[A-Z]:[^a-z]*\\VELMAR_HANDOFF\\MAKER\\KV3Installer\.exe file:/.test(heard[0]),
      "a newer version required: heard " + heard);

heard = [];
control.InstallerInfoXML = "start succeed";
control.Update("");
check(heard.join("|") === "completed", "no descriptor: heard " + heard);
