// BgColor from the page's PARAM and Sort driven from script.
function check(ok, what) { if (!ok) axrun.Fail(what); }
function places() {
  var all = [];
  for (var i = 0; i < control.Count; ++i) {
    var v = control.View(i);
    all.push([v.Left, v.Top, v.Width, v.Height].join(","));
  }
  return all.join(" ");
}

check(control.BgColor === "navy", "BgColor from the PARAM: " + control.BgColor);
control.BgColor = "fuchsia";
check(control.BgColor === "fuchsia", "a text that names no colour reads back as it was");

control.DefaultWidth = 150;
control.DefaultHeight = 80;
for (var i = 0; i < 3; ++i) control.CreateView("about:blank", "view " + i, 0);
var s = control.View(1).Left;
control.View(1).Focus = true;
control.Sort(1);
check(places() === ["0,0,150,80", 2 * s + "," + 2 * s + ",150,80", s + "," + s + ",150,80"]
      .join(" "), "cascade with the active view last: " + places());

control.Sort(2);  // three views: one column of three
var w = control.View(0).Width, h = control.View(0).Height, column = [];
for (var k = 0; k < 3; ++k) column.push([0, k * h, w, h].join(","));
check(places() === column.join(" "), "one column of three: " + places());
var before = places();
control.Sort(9);
check(places() === before, "any other method leaves the views as they are: " + places());
