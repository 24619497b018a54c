// Counts every mousedown, mouseup and contextmenu the page receives, per
// button (event.button: 0 left, 1 middle, 2 right), and shows the counts in
// the title, which the window manager's name of the window carries:
//   tovi-page md=L,M,R mu=L,M,R cm=N
// The title reads "tovi-page loading" until the map is shown.
"use strict";
const counts = { md: [0, 0, 0], mu: [0, 0, 0], cm: 0 };
let ready = false;

function show() {
  if (!ready) return;
  document.title = "tovi-page md=" + counts.md.join(",") + " mu=" + counts.mu.join(",") + " cm=" + counts.cm;
}

function count(list, e) {
  if (e.button >= 0 && e.button < list.length) list[e.button]++;
  show();
}

// Capture phase on the window: nothing on the page can stop an event first.
window.addEventListener("mousedown", (e) => count(counts.md, e), true);
window.addEventListener("mouseup", (e) => count(counts.mu, e), true);
// The context menu is left to open as it would on a map site that keeps it.
window.addEventListener("contextmenu", () => { counts.cm++; show(); }, true);

const map = document.getElementById("map");
function placed() {
  // The red square sits just below the map's bottom-left corner; it shows
  // only once it stands there.
  const mark = document.getElementById("mark");
  mark.style.top = map.naturalHeight + "px";
  mark.style.display = "block";
  ready = true;
  show();
}
if (map.complete && map.naturalWidth) placed();
else map.addEventListener("load", placed);
