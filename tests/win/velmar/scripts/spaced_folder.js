// Run on the DLL in a folder whose name has a space, beside an unsigned decoy where the system
// would look first for the unquoted path: the verified installer is what starts, with the
// command line as always.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var got = "";
function control_OnUpdateError(code, text) { got = code + ":" + text; }
control.InstallerInfoXML = "start result:2100:%self%|%cmdline%";
control.Update("");
check(/^2100:.*\\SPACED DIR\\KV3Installer\.exe\|[A-Z]:[^a-z]*\\SPACED DIR\\KV3Installer\.exe \d+$/
          .test(got), "started: " + got);
