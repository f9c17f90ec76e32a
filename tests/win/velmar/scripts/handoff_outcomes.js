// Run on the DLL beside the signed installer stand-in: a descriptor needing an update starts it,
// and each outcome it reports reaches the page as its event and text. The stand-in does what
// InstallerInfoXML says; the last column bounds how long the update may take, in ms.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnUpdateCompleted() { heard.push("completed"); }
function control_OnUpdateError(code, text) { heard.push(code + ":" + text); }

var cases = [
  ["start succeed", "completed", 0, 7000],
  ["start notify succeed", "completed", 0, 7000],
  ["start result:0:fine", "completed", 0, 7000],
  ["start result:-2:nothing", "completed", 0, 7000],
  ["start end-silent", "", 0, 7000],
  ["start result:-1:quiet", "", 0, 7000],
  ["start result:2500:installer says no", "2500:installer says no", 0, 7000],
  ["start unterminated:2600:cut short", "2600:cut short", 0, 7000],
  ["start null-data:2700", "2700:", 0, 7000],
  ["result:2800:before the start message", "2800:before the start message", 0, 7000],
  ["start result:1002:ignored", "1002:\uC0AC\uC6A9\uC790\uC5D0 \uC758\uD574 \uCDE8\uC18C \uB418\uC5C8\uC2B5\uB2C8\uB2E4.", 0, 7000],
  ["start result:1006:ignored", "1006:\uC5C5\uB370\uC774\uD2B8\uB97C \uC9C4\uD589\uD558\uC9C0 \uBABB\uD588\uC2B5\uB2C8\uB2E4.", 0, 7000],
  ["start result:1010:no such string", "1010:", 0, 7000],
  ["start-bogus", "1004:Installer\uC758 \uC708\uB3C4\uC6B0", 0, 7000],
  // Dies after announcing itself: found gone by the next look at its window (every 5 s).
  ["start exit", "1004:Installer\uC758 \uC708\uB3C4\uC6B0", 0, 7000],
  // Alive but silent: 8 s after its start.
  ["", "1003:Installer\uB85C \uBD80\uD130", 7900, 12000]
];
for (var i = 0; i < cases.length; ++i) {
  heard = [];
  control.InstallerInfoXML = cases[i][0];
  var started = new Date().getTime();
  control.Update("needs_update.xml");
  var took = new Date().getTime() - started;
  check(took >= cases[i][2] && took < cases[i][3], cases[i][0] + ": took " + took + " ms");
  var expected = cases[i][1];
  var got = heard.join("|");
  // The control's own messages go on past the part compared.
  var matches = expected === "" ? got === "" : got.indexOf(expected) === 0 &&
      (expected.indexOf("Installer") < 0 ? got === expected : heard.length === 1);
  check(matches, cases[i][0] + ": heard [" + got + "], expected [" + expected + "]");
}

// The installer asks for the page's base: the folder of this page.
heard = [];
control.InstallerInfoXML = "start base result:2100:%base%";
control.Update("");
check(/^2100:file:\/\/.*\/scripts\/$/.test(heard.join("|")), "base: " + heard);
