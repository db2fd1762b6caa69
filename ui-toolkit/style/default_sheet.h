// The built-in style sheet every document starts from, in the manner of a
// browser's: structural tags are blocks, tables and form controls look like
// controls, and the toolkit's own pop-ups have a look of their own.
#pragma once

#include <string_view>

namespace ostrel::style {

inline constexpr std::string_view default_sheet = R"css(
html, body, div, header, main, footer, nav, section, article, aside, form, p, ul, ol, pre,
h1, h2, h3, h4, h5, h6, hr, address, blockquote, figure, figcaption, fieldset, legend, details, summary { display: block }
head, meta, title, link, style, script, base, template, [hidden] { display: none }
li { display: list-item }
body { margin: 8px }
p { margin: 1em 0 }
ul, ol { margin: 1em 0; padding-left: 40px }
ol { list-style-type: decimal }
h1 { font-size: 2em; font-weight: bold; margin: 0.67em 0 }
h2 { font-size: 1.5em; font-weight: bold; margin: 0.83em 0 }
h3 { font-size: 1.17em; font-weight: bold; margin: 1em 0 }
h4 { font-weight: bold; margin: 1.33em 0 }
h5 { font-size: 0.83em; font-weight: bold; margin: 1.67em 0 }
h6 { font-size: 0.67em; font-weight: bold; margin: 2.33em 0 }
hr { border: 1px inset gray; margin: 0.5em auto; color: gray }
pre { white-space: pre; font-family: monospace }
b, strong { font-weight: bold }
i, em { font-style: italic }
small { font-size: smaller }
code { font-family: monospace }
a[href] { color: #0000ee; text-decoration: underline; cursor: pointer }
table { display: table; border-spacing: 2px; border-collapse: separate; box-sizing: border-box }
caption { display: table-caption; text-align: center }
thead { display: table-header-group; vertical-align: middle }
tbody { display: table-row-group; vertical-align: middle }
tfoot { display: table-footer-group; vertical-align: middle }
tr { display: table-row; vertical-align: inherit }
td, th { display: table-cell; vertical-align: inherit; padding: 1px }
th { font-weight: bold; text-align: center }
col { display: table-column }
colgroup { display: table-column-group }
img { display: inline-block }
svg { display: inline-block }
input, button, select, textarea { display: inline-block; font: 13.333px sans-serif; color: black }
button, select, input[type="button"], input[type="submit"], input[type="reset"], input[type="checkbox"],
input[type="radio"] { box-sizing: border-box }
input[type="hidden"] { display: none }
input { padding: 1px 2px; border: 2px inset #767676; background-color: white; cursor: text; width: 150px }
input[type="checkbox"], input[type="radio"] {
  width: 13px; height: 13px; margin: 3px 3px 3px 4px; padding: 0; border: 1px solid #767676; cursor: default
}
input[type="radio"] { border-radius: 50% }
input[type="checkbox"]:checked, input[type="radio"]:checked { background-color: #0075ff; border-color: #0075ff }
input[type="button"], input[type="submit"], input[type="reset"], button {
  padding: 1px 6px; border: 2px outset #767676; background-color: #efefef; cursor: default; text-align: center
}
textarea { padding: 2px; border: 1px solid #767676; background-color: white; white-space: pre-wrap }
select { padding: 1px 2px; border: 1px solid #767676; background-color: white; white-space: nowrap }
option { display: block; white-space: nowrap; padding: 0 2px 1px }
button:disabled, input:disabled, select:disabled, textarea:disabled, option:disabled { opacity: 0.5; cursor: default }
.ui-tooltip {
  position: fixed; z-index: 2147483647; padding: 4px 8px; max-width: 400px;
  font: 12px sans-serif; color: #1e1e1e; background-color: #ffffe1; border: 1px solid #767676;
  white-space: normal; pointer-events: none
}
.ui-select-popup {
  position: fixed; z-index: 2147483646; display: block; overflow-y: auto;
  background-color: white; border: 1px solid #767676; color: black; font: 13.333px sans-serif
}
.ui-select-option { display: block; padding: 2px 6px; white-space: nowrap; cursor: default }
.ui-select-option.active { background-color: #0078d7; color: white }
)css";

}  // namespace ostrel::style
