// The stylesheet and the script of the paste pages, served from fixed paths
// so that the pages need neither inline style nor inline script.
#include "pages.h"

namespace quarnd::pages {

const std::string_view kStyleSheet = R"css(/* quarnd paste pages */
:root {
    color-scheme: light dark;
    --bg: #fbfbfa; --fg: #1d1f21; --muted: #62676d; --rule: #d5d8dc;
    --code-bg: #f3f4f5; --link: #0a58a8;
    --kw: #9a2a98; --str: #2c6e2f; --com: #6d7177; --num: #a34f00;
    --title: #1a56b0; --type: #7a5f00; --meta: #a8321f;
}
@media (prefers-color-scheme: dark) {
    :root {
        --bg: #16181b; --fg: #e2e4e7; --muted: #a0a5ab; --rule: #353a40;
        --code-bg: #1e2125; --link: #80b8ff;
        --kw: #dc92f2; --str: #9fd493; --com: #949aa1; --num: #f2a866;
        --title: #86b6ff; --type: #e8c770; --meta: #ff9181;
    }
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
    margin: 0 auto; max-width: 75rem; padding: 1rem;
    background: var(--bg); color: var(--fg);
    font: 1rem/1.5 system-ui, -apple-system, "Segoe UI", sans-serif;
}
h1 { font-size: 1.4rem; line-height: 1.3; margin: 0 0 .3rem; overflow-wrap: anywhere; }
a { color: var(--link); }
.info { color: var(--muted); margin: 0 0 1rem; }
.info a { margin-left: 1em; white-space: nowrap; }

/* Two columns that scroll as one vertically: the numbers stay put while
   a long line scrolls sideways inside its own box, never the page. */
.code {
    display: flex; align-items: stretch;
    background: var(--code-bg); border: 1px solid var(--rule); border-radius: 4px;
}
.code pre {
    margin: 0; padding: .6rem .8rem;
    font: .875rem/1.45 ui-monospace, "DejaVu Sans Mono", "Liberation Mono", monospace;
    tab-size: 4; -moz-tab-size: 4;
}
.code code { font: inherit; background: none; padding: 0; }
.nr {
    flex: none; text-align: right; color: var(--muted);
    border-right: 1px solid var(--rule);
    -webkit-user-select: none; user-select: none;
}
.src { flex: 1 1 auto; min-width: 0; overflow-x: auto; }

form p { margin: 0 0 1rem; }
label { display: block; font-weight: 600; margin-bottom: .25rem; }
input, select, textarea, button { font: inherit; color: inherit; }
input, select, textarea {
    width: 100%; max-width: 40rem; padding: .4rem .5rem;
    background: var(--code-bg); border: 1px solid var(--rule); border-radius: 4px;
}
textarea {
    max-width: none; min-height: 16rem;
    font: .875rem/1.45 ui-monospace, "DejaVu Sans Mono", "Liberation Mono", monospace;
}
button { padding: .45rem 1.4rem; }

/* highlight.js, in both schemes */
.hljs-comment, .hljs-quote { color: var(--com); font-style: italic; }
.hljs-keyword, .hljs-selector-tag, .hljs-literal, .hljs-doctag { color: var(--kw); }
.hljs-string, .hljs-regexp, .hljs-addition, .hljs-selector-attr { color: var(--str); }
.hljs-number, .hljs-symbol, .hljs-bullet, .hljs-link { color: var(--num); }
.hljs-title, .hljs-section, .hljs-selector-id, .hljs-selector-class { color: var(--title); }
.hljs-type, .hljs-built_in, .hljs-builtin-name, .hljs-params { color: var(--type); }
.hljs-meta, .hljs-tag, .hljs-name, .hljs-attr, .hljs-attribute, .hljs-variable,
.hljs-template-variable, .hljs-deletion { color: var(--meta); }
.hljs-emphasis { font-style: italic; }
.hljs-strong { font-weight: bold; }
)css";

const std::string_view kScript =
    R"js(/* quarnd: colours the paste when the server offers highlight.js. */
(function () {
    "use strict";
    var code = document.getElementById("code");
    // Guessing the language of a huge paste would stall the tab.
    if (!code || typeof hljs === "undefined" || code.textContent.length > 100000) {
        return;
    }
    // Debian keeps its copy patched; the notice of upstream's end of support
    // only fills the console.
    hljs.configure({hideUpgradeWarningAcceptNoSupportOrSecurityUpdates: true});
    hljs.highlightBlock(code);
}());
)js";

}  // namespace quarnd::pages
