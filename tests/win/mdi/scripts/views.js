// Views in creation order: events, cascade, bounds, focus, sizes, closing one or all.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnCreate(index) { heard.push("create " + index); }
function control_OnSetFocus(index) { heard.push("focus " + index); }
function errorOf(action) {
  try { action(); } catch (e) { return e.number; }
  return "none";
}
var E_INVALIDARG = -2147024809, E_FAIL = -2147467259;

for (var i = 0; i < 3; ++i) control.CreateView("about:blank", "view " + i, 0);
check(heard.join("|") === "focus 0|create 0|focus 1|create 1|focus 2|create 2",
      "each view is focused, then announced: " + heard);
var step = control.View(1).Left;
check(step > 0 && control.View(1).Top === step && control.View(2).Left === 2 * step &&
      control.View(2).Top === 2 * step, "cascade by one step: " + step);

// Old JScript: no comma after an array's last element (it would add an undefined one).
var bounds = [
  // Wine's JScript reports a failed indexed get as the member missing, not as our E_INVALIDARG.
  ["View(-1)", function () { control.View(-1); }, "any"],
  ["View(Count)", function () { control.View(3); }, "any"],
  ["Close(-1)", function () { control.Close(-1); }, E_INVALIDARG],
  ["Close(Count)", function () { control.Close(3); }, E_INVALIDARG]
];
for (var b = 0; b < bounds.length; ++b) {
  var error = errorOf(bounds[b][1]);
  check(bounds[b][2] === "any" ? error !== "none" : error === bounds[b][2],
        bounds[b][0] + " is refused: " + error);
}
check(control.Count === 3, "nothing changes");

heard = [];
var first = control.View(0);
first.Focus = true;
first.Focus = true;
check(heard.join("|") === "focus 0", "focus set twice is heard once: " + heard);
check(first.Focus === true && control.View(2).Focus === false &&
      control.Active.Caption === "view 0", "the focused view is the active one");

first.Left = 10;
first.Top = 20;
first.Width = 250;
first.Height = 150;
check(first.Left === 10 && first.Top === 20 && first.Width === 250 && first.Height === 150,
      "positions read back: " + [first.Left, first.Top, first.Width, first.Height]);
first.Caption = "renamed";
first.URL = "sub/page.html";
check(first.Caption === "renamed" && first.URL === "sub/page.html", "caption and URL read back");

heard = [];
var closing = control.View(1);
control.Close(1);
check(control.Count === 3, "Close takes effect from the message loop");
axrun.Pump(200);
check(control.Count === 2 && control.View(1).Caption === "view 2", "later views move down");
check(heard.join("|") === "focus 1" && control.Active.Caption === "view 2",
      "the last view becomes active: " + heard);
closing.Left = 5;
check(closing.Width === -1 && closing.Height === -1, "a closed view has no size");
check(errorOf(function () { return closing.Left; }) === E_FAIL &&
      errorOf(function () { return closing.Top; }) === E_FAIL, "nor a position");

control.View(0).Close();
axrun.Pump(200);
check(control.Count === 1 && control.View(0).Caption === "view 2", "a view closes itself");

heard = [];
control.CloseAll();
check(control.Count === 0 && heard.length === 0 && control.Active === undefined,
      "CloseAll fires nothing and leaves no active view: " + heard);
var flags = [[0, 0], [2, 2], [1, 1], [7, 0]];
for (var f = 0; f < flags.length; ++f) control.CreateView("about:blank", "flag", flags[f][0]);
check(control.View(0).Left === 0 && control.View(0).Top === 0, "CloseAll starts again at (0, 0)");
for (var f = 0; f < flags.length; ++f) {
  check(control.View(f).State === flags[f][1], "flag " + flags[f][0] + " shows state " +
        control.View(f).State);
}
