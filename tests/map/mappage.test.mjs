// The map page's logic (resources/map/mappage.js) under Node's test runner,
// with a fake map library and a fake program: no browser, no network.
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";

const pageSource = fs.readFileSync(path.join(process.env.QV_SOURCE_DIR ?? ".", "resources/map/mappage.js"), "utf8");

function fakeLeaflet() {
  class Layer {
    constructor(kind, at, opts) { Object.assign(this, { kind, at, opts: opts || {}, handlers: {} }); }
    addTo(m) { m.layers.add(this); return this; }
    on(ev, f) { this.handlers[ev] = f; return this; }
  }
  class FakeMap {
    constructor(el, opts) { Object.assign(this, { el, opts, layers: new Set(), panes: {}, panned: null }); }
    getPane(n) { return this.panes[n]; }
    createPane(n) { return (this.panes[n] = { style: {} }); }
    removeLayer(l) { this.layers.delete(l); }
    panTo(p, o) { this.panned = p; this.panOptions = o; }
    remove() { this.removed = true; }
    of(kind) { return [...this.layers].filter((l) => l.kind === kind); }
  }
  return {
    map: (el, o) => new FakeMap(el, o),
    polyline: (pts, o) => new Layer("line", pts, o),
    marker: (at, o) => new Layer("marker", at, o),
    icon: (o) => ({ icon: o }),
    tileLayer: (u, o) => new Layer("tiles", u, o),
    control: { scale: () => ({ addTo() {} }) },
  };
}

// A page of flavour `flavour` with a program that answers from `prog`.
function loadPage(flavour = 103) {
  const inputs = { map_lat: { value: "" }, map_lng: { value: "" }, map_status: { value: "ready" } };
  const body = {
    scripts: [],
    appendChild(s) { s.parentNode = body; body.scripts.push(s); },
    removeChild(s) { s.parentNode = null; body.scripts = body.scripts.filter((x) => x !== s); },
  };
  const calls = [];
  const prog = { connect: true, relJpgNum: "-1", gps: null, grid: null };
  const host = {
    JS2C_ConnectTest: () => { calls.push(["ConnectTest"]); return prog.connect; },
    JS2C_GetMapURL: () => "qrc:/map/leaflet/leaflet.js?key=",
    JS2C_OnInitHtml: () => calls.push(["OnInitHtml"]),
    JS2C_GetGPSData: () => prog.gps,
    JS2C_GetGridData: (n) => { calls.push(["GetGridData", n]); return prog.grid; },
    JS2C_GetRelJpgNum: () => prog.relJpgNum,
    JS2C_OnClickCrashPoint: (...a) => calls.push(["Click", ...a]),
    JS2C_SetSend: () => calls.push(["SetSend"]),
  };
  const ctx = {
    g_flavour: flavour,
    L: fakeLeaflet(),
    Math, parseFloat, parseInt, isFinite, String, Array,
    window: { location: { href: "qrc:/map/page103.html#x" }, setTimeout() {} },
    document: {
      body,
      getElementById: (id) => inputs[id] || (id === "map_canvas" ? { style: {} } : null),
      createElement: () => ({ parentNode: null }),
    },
    qvBridge: {
      state: { tileUrl: "" },
      icons: Array(13).fill("data:image/png;base64,AA"),
      refreshes: 0,
      // As bridge.js: a new state is followed at once.
      setState(s) {
        this.state = s;
        if (this.onState) this.onState(s);
      },
      refresh(f) {
        ++this.refreshes;
        this.setState({ tileUrl: "", connect: prog.connect ? 1 : 0 });
        f();
      },
    },
  };
  vm.createContext(ctx);
  vm.runInContext(pageSource, ctx);
  vm.runInContext("qvBridge.onState = FollowState", ctx);
  ctx.g_host = host;
  const page = {
    ctx, inputs, body, calls, prog,
    // One cycle, then the library's script loads.
    connect() {
      ctx.Cycle();
      const s = body.scripts.at(-1);
      s.onload();
      return s;
    },
    map: () => ctx.g_map,
    run: (code) => vm.runInContext(code, ctx),
  };
  return page;
}

const plain = (x) => JSON.parse(JSON.stringify(x));
const triples = (pts) => [...pts.flatMap(([la, ln, n]) => [la, ln, n]), pts.length * 3];

test("GPS arrays: the count is never a point; one element draws nothing", () => {
  const p = loadPage();
  const list = p.run("new PointList()");
  list.GetPoints([0]);
  assert.equal(list.points.length, 0);
  list.GetPoints(triples([[35, 139, 0], [35.0001, 139, 10]]));
  assert.deepEqual(plain((list.points)), [[35, 139], [35.0001, 139]]);
  assert.deepEqual(plain((list.JpgNumList)), [0, 10]);
});

test("the track splits where two samples lie farther apart than the jump limit", () => {
  const p = loadPage();
  const g = p.run("new OrbitGrpList()");
  // At 60 degrees a longitude step counts half: 0.0025 deg is within the limit.
  g.GetOrbitGroup([[60, 10], [60, 10.0025], [60.0014, 10.0025], [60.0015, 10.0025]]);
  assert.deepEqual(plain(g.orbitlist.map((o) => [o.start, o.end])), [[0, 1], [2, 3]]);
  g.GetOrbitGroup([]);
  assert.equal(g.orbitlist.length, 0);
});

test("the page loads the library when connected, retries a failed load, and reports ready", () => {
  const p = loadPage();
  p.ctx.Cycle();  // no position yet: one connection test
  assert.equal(p.body.scripts.length, 1);
  assert.match(p.body.scripts[0].src, /^qrc:\/map\/leaflet\/leaflet\.js/);
  p.body.scripts[0].onerror();
  assert.equal(p.body.scripts.length, 0);
  p.ctx.Cycle();
  assert.equal(p.body.scripts.length, 1, "a failed library load is tried again");
  p.body.scripts[0].onload();
  assert.ok(p.map());
  assert.equal(p.map().opts.zoom, 16);
  assert.deepEqual(p.calls.filter((c) => c[0] === "OnInitHtml"), [["OnInitHtml"]]);
  assert.equal(p.ctx.g_isInitConnect, true);
  assert.match(p.ctx.g_iconurl[7], /^qrc:\/map\/PNG\/216\.svg$/);
  // Losing the connection drops the map; its return loads the library again.
  p.inputs.map_lat.value = "35";
  p.inputs.map_lng.value = "139";
  p.prog.connect = false;
  p.ctx.Cycle();
  p.ctx.Cycle();
  assert.equal(p.ctx.g_map, null);
  assert.equal(p.body.scripts.length, 0);
  p.prog.connect = true;
  p.ctx.Cycle();
  assert.equal(p.body.scripts.length, 1);
});

test("the marker splits the pair's track into driven and remaining lines that meet", () => {
  const p = loadPage();
  p.connect();
  p.prog.grid = triples([[35, 139, 0], [35.0001, 139, 10], [35.0002, 139, 20], [35.0003, 139, 30]]);
  p.prog.relJpgNum = "25";
  p.run("orbitgrplist.CreateGridLine(4)");
  assert.deepEqual(p.calls.find((c) => c[0] === "GetGridData"), ["GetGridData", 4]);
  const lines = p.map().of("line");
  const blue = lines.find((l) => l.opts.color === "#0000FF");
  const red = lines.find((l) => l.opts.color === "#FF0000");
  assert.deepEqual(plain((blue.at)), [[35, 139], [35.0001, 139], [35.0002, 139]]);
  assert.deepEqual(plain((red.at)), [[35.0002, 139], [35.0003, 139]]);
  assert.equal(red.opts.opacity, 0.9);
  assert.equal(p.map().panes[blue.opts.pane].style.zIndex, "402");
  assert.deepEqual(plain(p.map().panned), [35.0002, 139]);
  // Before the first point: index 0; past the last: the last point.
  p.prog.relJpgNum = "0";
  assert.equal(p.run("orbitgrplist.GetIndex()"), 0);
  p.prog.relJpgNum = "999";
  assert.equal(p.run("orbitgrplist.GetIndex()"), 3);
  p.prog.relJpgNum = "-1";
  assert.equal(p.run("orbitgrplist.GetIndex()"), -1);
  // A pair without GPS leaves nothing of this one.
  p.prog.grid = null;
  p.run("orbitgrplist.CreateGridLine(5)");
  assert.equal(p.map().of("line").length, 0);
  assert.equal(p.ctx.orbitgrplist.orbitlist.length, 0);
});

test("pause and stop hold the marker; a click still seeks and moves it; no position stops updates", () => {
  const p = loadPage(373);
  p.connect();
  assert.ok(p.calls.some((c) => c[0] === "SetSend"));
  p.prog.grid = triples([[-33.9, -151.2, 0], [-33.9001, -151.2, 10]]);
  p.prog.relJpgNum = "10";
  p.run("orbitgrplist.CreateGridLine(0)");
  assert.deepEqual(p.calls.find((c) => c[0] === "GetGridData"), ["GetGridData", 0]);
  p.map().panned = null;
  p.inputs.map_lat.value = "-33.9";
  p.inputs.map_lng.value = "-151.2";
  p.inputs.map_status.value = "PAUSE";
  p.ctx.Cycle();
  assert.equal(p.map().panned, null);
  // South and west are negative: the event point still counts as a place.
  p.run("cplist.AddCrashPos(1, 0.5, 0.1, 0, 0, 0, 1234, -33.9001, -151.2, 1, 40.0, 0)");
  const marker = p.map().of("marker").find((m) => m.opts.icon);
  p.prog.relJpgNum = "999";  // where the program's seek to the point takes it
  marker.handlers.click();
  assert.deepEqual(p.calls.find((c) => c[0] === "Click"), ["Click", 0, 0, 1234, 1, -33.9001, -151.2, 40, 0]);
  assert.ok(p.map().panned);
  p.run("cplist.ClearCrashPos()");
  assert.equal(p.map().of("marker").filter((m) => m.opts.icon).length, 0);

  p.inputs.map_status.value = "";
  p.inputs.map_lat.value = "1000";
  p.map().panned = null;
  p.ctx.Cycle();
  assert.equal(p.map().panned, null);
  p.inputs.map_lat.value = "-33.9";
  p.prog.relJpgNum = "0";
  p.ctx.Cycle();
  assert.ok(p.map().panned);
});

test("the marker is drawn only when the place it shows changes; a hidden page does nothing", () => {
  const p = loadPage(373);
  p.connect();
  p.prog.grid = triples([[35, 139, 0], [35.0001, 139, 10], [35.0002, 139, 20]]);
  p.prog.relJpgNum = "0";
  p.run("orbitgrplist.CreateGridLine(0)");
  p.inputs.map_lat.value = "35";
  p.inputs.map_lng.value = "139";
  const cycle = () => {
    p.map().panned = null;
    p.ctx.Cycle();
    return p.map().panned && plain(p.map().panned);
  };
  assert.equal(cycle(), null, "the same place: nothing redrawn");
  assert.equal(p.run("orbitgrplist.MoveMarker(); 0"), 0);
  assert.equal(p.map().panned, null);
  p.prog.relJpgNum = "15";
  assert.deepEqual(cycle(), [35.0001, 139]);
  assert.deepEqual(plain(p.map().panOptions), { animate: false }, "one drawing per move, not an animation");
  assert.equal(cycle(), null);
  p.run("orbitgrplist.RemoveLineList()");  // the program redraws the track
  assert.deepEqual(cycle(), [35.0001, 139]);
  assert.equal(p.map().of("line").length, 2);

  let timers = 0;
  p.ctx.window.setTimeout = () => ++timers;
  p.ctx.document.hidden = true;
  const before = p.calls.length;
  p.prog.relJpgNum = "25";
  p.map().panned = null;
  p.ctx.show();
  assert.equal(p.calls.length, before, "no call to the program");
  assert.equal(p.map().panned, null);
  assert.equal(timers, 1, "the cycle goes on");
  p.ctx.document.hidden = false;
  p.ctx.show();
  assert.deepEqual(plain(p.map().panned), [35.0002, 139]);
});

test("told that the map cannot show, the page drops it before the script that came along draws", () => {
  const p = loadPage(373);
  p.connect();
  p.prog.grid = triples([[35, 139, 0], [35.0001, 139, 10]]);
  p.prog.relJpgNum = "0";
  p.run("orbitgrplist.CreateGridLine(0)");
  const map = p.map();
  assert.ok(map.of("marker").length > 0);
  // The display goes off: the program's next script carries the state first.
  p.run("qvBridge.setState({connect: 0, tileUrl: ''});" +
        "orbitgrplist.CreateGridLine(0); cplist.AddCrashPos(1, 0, 0, 0, 0, 0, 5, 35.0001, 139, 1, 10, 0)");
  assert.ok(map.removed);
  assert.equal(p.map(), null);
  assert.equal(p.body.scripts.length, 0, "no library script left to load a map");
  assert.equal(p.ctx.cplist.markers.length, 0);

  // Hidden, the page asks for nothing while it holds no map; holding one,
  // it reads the state each second and lets go of the map when told.
  p.ctx.window.setTimeout = () => {};
  p.ctx.document.hidden = true;
  p.ctx.show();
  assert.equal(p.ctx.qvBridge.refreshes, 0);
  p.prog.connect = true;
  p.connect();
  p.prog.connect = false;
  p.ctx.show();
  assert.equal(p.ctx.qvBridge.refreshes, 1);
  assert.equal(p.map(), null);
});
