// State changes from script are asked of the page first; a restore happens at once.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
var answer;
function control_OnStateChange(index, state) {
  heard.push(index + ":" + state);
  return answer;
}
control.CreateView("about:blank", "a", 0);
control.CreateView("about:blank", "b", 0);
var view = control.View(1);

var cases = [
  // [state asked, page's answer, state after, what]
  [1, false, 0, "a refused maximise"],
  [2, false, 0, "a refused minimise"],
  [2, true, 2, "an allowed minimise"],
  [1, undefined, 1, "an answer that is no boolean allows"]
];
for (var c = 0; c < cases.length; ++c) {
  heard = [];
  answer = cases[c][1];
  view.State = cases[c][0];
  check(heard.length === 0, cases[c][3] + ": asked only from the message loop");
  axrun.Pump(200);
  check(heard.join("|") === "1:" + cases[c][0] && view.State === cases[c][2],
        cases[c][3] + ": heard " + heard + ", state " + view.State);
}

heard = [];
answer = false;
view.State = 0;
check(view.State === 0, "State 0 restores a maximised view at once");
axrun.Pump(200);
check(heard.join("|") === "1:0" && view.State === 0, "and the page hears of it after: " + heard);
