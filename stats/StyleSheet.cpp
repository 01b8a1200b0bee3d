#include "StyleSheet.h"

QByteArray styleSheet()
{
    return QByteArrayLiteral(R"css(:root {
  color-scheme: light dark;
  --bg: #f6f7f9; --fg: #1d232b; --muted: #5d6773; --card: #ffffff; --line: #dde1e6;
  --accent: #0b63c5; --accent-bg: #e4effc; --rating: #0b63c5; --mu: #9aa5b1;
  --side-a: #1f5fbf; --side-b: #b5541c;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #12161b; --fg: #e6e9ed; --muted: #9aa4af; --card: #1b2128; --line: #2c343d;
    --accent: #6cb2ff; --accent-bg: #1d3044; --rating: #6cb2ff; --mu: #5d6773;
    --side-a: #7fb4ff; --side-b: #f0a36b;
  }
}
* { box-sizing: border-box; }
body {
  margin: 0; background: var(--bg); color: var(--fg);
  font: 16px/1.45 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", sans-serif;
}
a { color: var(--accent); text-decoration: none; }
a:hover, a:focus { text-decoration: underline; }
header {
  display: flex; flex-wrap: wrap; align-items: center; gap: .4rem 1.2rem;
  padding: .7rem 1rem; background: var(--card); border-bottom: 1px solid var(--line);
}
header .brand { font-weight: 700; color: var(--fg); }
header nav { display: flex; flex-wrap: wrap; gap: .2rem .9rem; }
header nav a[aria-current] { font-weight: 700; color: var(--fg); }
main { max-width: 72rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.6rem; margin: .4rem 0 .6rem; overflow-wrap: anywhere; }
h2 { font-size: 1.15rem; margin: 1.6rem 0 .5rem; }
.sub, small, .explain, .legend, footer { color: var(--muted); }
small { display: block; font-size: .8rem; overflow-wrap: anywhere; }
.chips { display: flex; flex-wrap: wrap; gap: .4rem; margin: .4rem 0; }
.chips a {
  padding: .15rem .65rem; border: 1px solid var(--line); border-radius: 1rem;
  background: var(--card); font-size: .9rem;
}
.chips a[aria-current] { background: var(--accent-bg); border-color: var(--accent); }
.search { display: flex; gap: .4rem; margin: .8rem 0; max-width: 28rem; }
.search input {
  flex: 1; min-width: 0; padding: .45rem .6rem; font: inherit; color: var(--fg);
  background: var(--card); border: 1px solid var(--line); border-radius: .4rem;
}
.search button {
  padding: .45rem .9rem; font: inherit; color: #fff; background: var(--accent);
  border: 0; border-radius: .4rem;
}
.scroll { overflow-x: auto; background: var(--card); border: 1px solid var(--line); border-radius: .5rem; }
table { border-collapse: collapse; width: 100%; font-size: .95rem; }
th, td { padding: .45rem .65rem; text-align: left; border-bottom: 1px solid var(--line); vertical-align: top; }
th { font-size: .8rem; text-transform: uppercase; letter-spacing: .03em; color: var(--muted); white-space: nowrap; }
tbody tr:last-child td { border-bottom: 0; }
td a { overflow-wrap: break-word; }
.num { text-align: right; font-variant-numeric: tabular-nums; }
.pages { display: flex; gap: 1rem; align-items: center; justify-content: center; margin: 1rem 0; }
.notice { padding: .6rem .8rem; background: var(--accent-bg); border-radius: .4rem; }
.empty { color: var(--muted); font-style: italic; }
.tag { font-size: .75rem; padding: 0 .35rem; border-radius: .3rem; background: var(--accent-bg); }
.chart { width: 100%; height: auto; background: var(--card); border: 1px solid var(--line); border-radius: .5rem; }
.chart .grid { stroke: var(--line); stroke-width: 1; }
.chart text { fill: var(--muted); font-size: 11px; }
.chart polyline { fill: none; stroke-width: 2.5; stroke-linejoin: round; }
.chart .rating { stroke: var(--rating); }
.chart .mu { stroke: var(--mu); stroke-dasharray: 5 4; }
.chart circle.rating { fill: var(--rating); stroke: none; }
.chart circle.mu { fill: var(--mu); stroke: none; }
.key { display: inline-block; width: 1.2rem; height: .2rem; margin: 0 .3rem .2rem .6rem; vertical-align: middle; }
.key.rating { background: var(--rating); }
.key.mu { background: var(--mu); }
.chart .bar { fill: var(--rating); }
.score { font-size: 1.6rem; margin: .4rem 0; }
.side-a { color: var(--side-a); }
.side-b { color: var(--side-b); }
.strip { display: flex; flex-wrap: wrap; gap: .25rem; list-style: none; padding: 0; margin: .6rem 0; }
.strip li { min-width: 2rem; padding: .15rem .25rem; text-align: center; border-radius: .3rem; border: 1px solid var(--line); background: var(--card); font-size: .85rem; }
.strip li b { display: block; font-size: .7rem; color: var(--muted); font-weight: 400; }
.strip li.side-a { border-color: var(--side-a); }
.strip li.side-b { border-color: var(--side-b); }
.strip li.swap { min-width: 0; align-self: center; border: 0; background: none; color: var(--muted); font-size: .75rem; }
.sr { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); white-space: nowrap; }
details { margin: 1rem 0; }
summary { cursor: pointer; color: var(--accent); }
footer { text-align: center; padding: 1.5rem 1rem; font-size: .85rem; }
@media (max-width: 40rem) {
  main { padding: .6rem; }
  th, td { padding: .35rem .4rem; }
  table { font-size: .88rem; }
}
)css");
}

QByteArray favicon()
{
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\">"
        "<rect width=\"16\" height=\"16\" rx=\"3\" fill=\"#0b63c5\"/>"
        "<polyline points=\"3,12 6,8 9,10 13,4\" fill=\"none\" stroke=\"#fff\" stroke-width=\"2\"/>"
        "</svg>");
}
