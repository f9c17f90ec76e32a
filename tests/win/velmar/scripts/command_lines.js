// Run on the DLL beside the signed installer stand-in, which reports its command line: the
// installer's path (upper case but its name), the descriptor URL when one was given, the saved
// descriptor copy when SaveXML is on (nothing between two spaces when none was saved), and the
// wait box's handle.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var got;
function control_OnUpdateError(code, text) { got = code + ":" + text; }
function control_OnUpdateCompleted() { got = "completed"; }
function run(url, save) {
  got = null;
  control.SaveXML = save;
  control.InstallerInfoXML = "start result:2100:%cmdline%";
  control.Update(url);
  return got;
}

var path = "^2100:[A-Z]:[^a-z]*\\\\KV3Installer\\.exe";
var url = " file:\\/\\/[^ ]*\\/scripts\\/";
var handle = " \\d+$";
var forms = [
  ["", false, path + handle],
  ["", true, path + handle],
  ["needs_update.xml", false, path + url + "needs_update\\.xml" + handle],
  ["needs_update.xml", true,
   path + url + "needs_update\\.xml [^ ]*\\\\\\\\KV3TempInstaller\\.xml" + handle],
  ["broken.xml", true, path + url + "broken\\.xml " + handle]
];
for (var i = 0; i < forms.length; ++i) {
  var line = run(forms[i][0], forms[i][1]);
  check(new RegExp(forms[i][2]).test(line), forms[i][0] + " " + forms[i][1] + ": " + line);
}
