// The page the list benchmarks draw: shaped like the program's, with a list
// table of many rows, and a sheet like the program's. Shared by the native
// benchmarks and the frame timing under Wine.
#pragma once

#include <string>

namespace vorlix_bench {

// A page shaped like ours: header with tabs, panels, and a list table of
// `rows` rows, each with a checkbox, an icon, a name and a size.
inline std::string page(int rows) {
  std::string html =
      "<!DOCTYPE html><html><head><meta charset=utf-8><title>Vorlix</title></head><body>"
      "<header class=topbar><img id=btn-about src=logo.svg><div class=tabs>"
      "<div id=tab-home class='tab active'>Home</div><div id=tab-startup class=tab>Startup</div>"
      "<div id=tab-cleanup class=tab>Cleanup</div><div id=tab-bundle class=tab>Bundle</div></div></header>"
      "<main><div id=panel-cleanup class='panel active'><div class=list><div class=body id=list-cleanup>"
      "<table class=list-table><colgroup><col style='width:28px'>"
      "<col class=col-fill><col style='width:70px'></colgroup><thead id=list-cleanup-head><tr>"
      "<th data-resize>Name</th><th>Size</th><th>State</th></tr></thead><tbody>";
  for (int i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    html += "<tr class=row data-index=" + n +
            "><td><input type=checkbox checked></td>"
            "<td class=col-fill><img src='exe1:C:\\Program Files\\App" +
            n +
            "\\app.exe'><span>Application &amp; "
            "cache " +
            n + "</span></td><td class=num>12.5 MB</td></tr>";
  }
  html += "</tbody></table></div></div></div></main></body></html>";
  return html;
}

// A sheet shaped like the program's: variables, a dark theme, tabs, buttons and list tables.
inline constexpr char list_sheet[] = R"css(
:root { --bg: #ffffff; --text: #000000; --select-bg: #cce8ff; --select-border: #99d1ff; --hover-bg: #e5f3ff;
        --head-sep: #e5e5e5; --text-muted: #888888; --menu-accent: #3d84dd; --on-accent: #fff; --radius: 3px;
        font-size: 12px }
@media (prefers-color-scheme: dark) {
  :root:not([data-theme="light"]) { --bg: #1e1e1e; --text: #e0e0e0; --select-bg: #26395a; --hover-bg: #2a2d2e }
}
* { box-sizing: border-box }
body { margin: 0; font: 12px "Segoe UI", system-ui, sans-serif; background: var(--bg); color: var(--text);
       display: flex; flex-direction: column; user-select: none }
.topbar { height: 50px; padding: 0 5px 0 10px; display: flex; align-items: center }
.tab { min-width: 70px; height: 30px; margin-right: 1px; background: transparent; border: 0;
       transition: background-color 120ms, color 120ms }
.tab:hover, .tab.active { background: var(--menu-accent); color: var(--on-accent) }
html, body { height: 100% }
main { flex: 1; display: flex; flex-direction: column; min-height: 0 }
.panel { display: none } .panel.active { display: flex; flex-direction: column; flex: 1; min-height: 0 }
.list { flex: 1; display: flex; flex-direction: column; min-height: 0 } .list > .body { flex: 1; overflow: auto }
.hidden { display: none !important }
.list-table { width: 100%; table-layout: fixed; border-collapse: separate; border-spacing: 0 }
.list-table td, .list-table th { height: 24px; padding: 0 8px; text-align: left; white-space: nowrap;
       overflow: hidden; text-overflow: ellipsis }
.list-table th { position: sticky; top: 0; height: 20px; font-weight: normal; border-right: 1px solid var(--head-sep) }
.list-table th.col-fill { border-right: 0; padding: 0 }
.list-table td { border-top: 1px solid transparent; border-bottom: 1px solid transparent }
.list-table td:first-child { border-left: 1px solid transparent }
.list-table td:last-child { border-right: 1px solid transparent }
.list-table tr:hover td { background: var(--hover-bg) }
.list-table tr.active td { background: var(--select-bg); border-color: var(--select-border) }
.list-table tr.off td { color: var(--text-muted) }
.list-table img.ic { width: 16px; height: 16px; margin-right: 6px; vertical-align: middle }
.btn { height: 30px; padding: 0 12px; border: 1px solid var(--menu-accent); border-radius: var(--radius) }
.btn:hover { background: #5190e0; color: var(--on-accent) }
.btn:disabled { border-color: #d7d7d7; color: #b2b2b2 }
)css";

}  // namespace vorlix_bench
