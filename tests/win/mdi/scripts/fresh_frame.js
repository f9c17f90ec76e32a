// A fresh frame's properties; views asked for before the control has its window; the first view.
function check(ok, what) { if (!ok) axrun.Fail(what); }
var heard = [];
function control_OnCreate(index) { heard.push("create " + index); }
function control_OnSetFocus(index) { heard.push("focus " + index); }

check(control.Count === 0, "Count starts 0");
check(control.DefaultWidth === 300 && control.DefaultHeight === 200, "default size 300x200");
check(control.MaxCaption === false, "MaxCaption starts false");
check(control.Border === true, "Border starts true");
check(control.BgColor === "darkgray", "BgColor starts darkgray");
check(control.BackImage === "", "BackImage starts empty");
check(control.Active === undefined, "no active view: Active leaves its result empty");

control.CreateView("about:blank", "early", 0);
check(control.Count === 0 && heard.length === 0, "no window yet: nothing made, heard " + heard);

control.BgColor = "navy";
control.BackImage = "back.png";
control.Border = false;
control.DefaultWidth = -5;
control.MaxCaption = true;
check(control.BgColor === "navy" && control.BackImage === "back.png" && control.Border === false &&
      control.DefaultWidth === -5 && control.MaxCaption === true, "puts read back");
control.DefaultWidth = 300;

check(axrun.Activate(), "activates");
control.CreateView("about:blank", "first", 0);
check(heard.join("|") === "focus 0|create 0", "first view: heard " + heard);
var view = control.View(0);
check(view.Left === 0 && view.Top === 0 && view.Width === 300 && view.Height === 200,
      "first view at (0, 0), 300x200: " + [view.Left, view.Top, view.Width, view.Height]);
check(control.Active.Caption === "first", "the new view is active");
