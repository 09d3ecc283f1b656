// The map page's own logic, shared by both pages (g_flavour 103: the page
// with the window.external stand-in; 373: the page with the host object and
// the update message).  It draws with Leaflet, which the page loads from the
// address the program gives (the bundled copy), and reaches the program only
// through g_host, the synchronous stand-in that bridge.js builds.
"use strict";

var g_lastJpgNum = -1;          // last position number read from the program
var g_isStartInitConnect = false;  // the library script has been requested
var g_isInitConnect = false;    // the library loaded and the map exists
var g_isInit = false;           // the start without a position has been handled
var g_map = null;
var g_script = null;
var g_marker = null;
var g_newlat = 0.0;
var g_newlng = 0.0;
var g_iconurl = [];
var g_shadow = null;
var g_host = null;

// Image numbers of the event-point icons by icolor, and of their shadow.
var ICON_NUMBERS = [183, 183, 183, 183, 183, 185, 182, 216, 221, 184, 180, 181];
var ICON_SHADOW = 186;
// Two consecutive samples farther apart than this (degrees) split the track.
var JUMP_LIMIT = 0.001385;

// A coordinate a map can show (south and west are negative).
function IsValidPosition(lat, lng) {
  return typeof lat === "number" && typeof lng === "number" && isFinite(lat) && isFinite(lng) &&
         Math.abs(lat) <= 90 && Math.abs(lng) <= 180;
}

// The program's GPS array as a plain script array (null for none).
function ToScriptArray(data) {
  if (data === null || data === undefined) return null;
  return Array.prototype.slice.call(data);
}

// Polylines go into one map pane per z-index, stacked above the tiles.
function ZPane(index) {
  var name = "qvz" + index;
  if (!g_map.getPane(name)) g_map.createPane(name).style.zIndex = String(400 + index);
  return name;
}

function InputValue(id) {
  var el = document.getElementById(id);
  return el ? String(el.value) : "";
}

function SetInputValue(id, value) {
  var el = document.getElementById(id);
  if (el) el.value = value;
}

// ------------------------------------------------------------------ points

function PointList() {
  this.points = [];
  this.JpgNumList = [];
}

PointList.prototype.GetPoints = function (data) {
  var a = ToScriptArray(data);
  if (!a || a.length <= 1) return;
  // Triples (lat, lng, position number); the last element is the count.
  for (var i = 0; i + 2 < a.length - 1; i += 3) {
    if (!IsValidPosition(a[i], a[i + 1])) continue;
    this.points.push([a[i], a[i + 1]]);
    this.JpgNumList.push(a[i + 2]);
  }
};

PointList.prototype.ReleasePoints = function () {
  this.points = [];
  this.JpgNumList = [];
};

// A polyline over the points start..end, both ends included, so that pieces
// drawn side by side meet.
PointList.prototype.DrawGridLine = function (start, end, color, opacity, index) {
  if (!g_map) return null;
  var pts = this.points.slice(start, end + 1);
  if (pts.length < 1) return null;
  return L.polyline(pts, {color: color, opacity: opacity, weight: 3, pane: ZPane(index), interactive: false})
      .addTo(g_map);
};

function OrbitGrp(start, end) {
  this.start = start;
  this.end = end;
}

// ------------------------------------------------------------------ track

function OrbitGrpList() {
  this.orbitlist = [];
  this.grpline = [];
  this.histline = [];
  this.schline = [];
  this.grplist = new PointList();
  this.gridlist = new PointList();
}

// Splits the points into continuous pieces at every jump; an empty list
// leaves no piece.
OrbitGrpList.prototype.GetOrbitGroup = function (points) {
  this.orbitlist = [];
  if (!points || points.length === 0) return;
  var start = 0;
  for (var i = 1; i < points.length; i++) {
    var dlat = points[i][0] - points[i - 1][0];
    var dlng = (points[i][1] - points[i - 1][1]) * Math.cos(points[i][0] * Math.PI / 180);
    if (Math.sqrt(dlat * dlat + dlng * dlng) > JUMP_LIMIT) {
      this.orbitlist.push(new OrbitGrp(start, i - 1));
      start = i;
    }
  }
  this.orbitlist.push(new OrbitGrp(start, points.length - 1));
};

function RemoveLines(lines) {
  for (var i = 0; i < lines.length; i++) {
    if (lines[i] && g_map) g_map.removeLayer(lines[i]);
  }
}

OrbitGrpList.prototype.RemoveLineList = function () {
  RemoveLines(this.histline);
  RemoveLines(this.schline);
  this.histline = [];
  this.schline = [];
  this.shownPlace = null;  // the next MoveMarker draws again
};

// The point of the pair's track at the program's current position: the
// point before the first whose number reaches it, kept inside the list; -1
// when the program has no position.
OrbitGrpList.prototype.GetIndex = function () {
  var num = parseInt(g_host.JS2C_GetRelJpgNum(), 10);
  if (!(num >= 0)) return -1;
  g_lastJpgNum = num;
  var list = this.gridlist.JpgNumList;
  var index = list.length;
  for (var i = 0; i < list.length; i++) {
    if (list[i] >= num) {
      index = i;
      break;
    }
  }
  if (index > 0) {
    index -= 1;
    if (index > list.length - 1) index = list.length - 1;
  }
  return index;
};

// The marker jumps to its new place: an animated pan would have the page
// drawn many times a second, every second, while a pair plays.
var kNoAnimation = {animate: false};

function PushLine(lines, line) {
  if (line) lines.push(line);
}

OrbitGrpList.prototype.MoveMarker = function () {
  if (!g_isInitConnect || !g_map) return;
  var index = this.GetIndex();
  if (index < 0) return;
  var grid = this.gridlist;
  var at = index < grid.points.length ? grid.points[index] : [g_newlat, g_newlng];
  // Asked each second and on every seek: a map that already shows this
  // place is left alone.
  var place = index + "," + at[0] + "," + at[1];
  if (place === this.shownPlace && g_map === this.shownMap) return;
  this.RemoveLineList();
  for (var k = 0; k < this.orbitlist.length; k++) {
    var p = this.orbitlist[k];
    if (p.end <= index) {
      PushLine(this.histline, grid.DrawGridLine(p.start, p.end, "#0000FF", 1.0, 2));
    } else if (p.start < index) {
      PushLine(this.histline, grid.DrawGridLine(p.start, index, "#0000FF", 1.0, 2));
      PushLine(this.schline, grid.DrawGridLine(index, p.end, "#FF0000", 0.9, 2));
    } else {
      PushLine(this.schline, grid.DrawGridLine(p.start, p.end, "#FF0000", 0.9, 2));
    }
  }
  if (!IsValidPosition(at[0], at[1])) return;
  if (g_flavour === 373) {
    loadMarker(at, null);
  } else {
    g_map.panTo(at, kNoAnimation);
    if (g_marker) g_map.removeLayer(g_marker);
    g_marker = L.marker(at).addTo(g_map);
  }
  this.shownPlace = place;
  this.shownMap = g_map;
};

OrbitGrpList.prototype.CreateLine = function () {
  g_lastJpgNum = -1;
  this.grplist = new PointList();
  if (!g_script || !g_isInitConnect) return;
  var data = g_host.JS2C_GetGPSData();
  RemoveLines(this.grpline);
  this.grpline = [];
  if (!data) return;
  this.grplist.GetPoints(data);
  this.GetOrbitGroup(this.grplist.points);
  for (var k = 0; k < this.orbitlist.length; k++) {
    var p = this.orbitlist[k];
    PushLine(this.grpline, this.grplist.DrawGridLine(p.start, p.end, "#FF0000", 0.5, 1));
  }
};

OrbitGrpList.prototype.CreateGridLine = function (n) {
  g_lastJpgNum = -1;
  this.gridlist = new PointList();
  this.shownPlace = null;
  if (!g_script || !g_isInitConnect) return;
  var data = g_host.JS2C_GetGridData(g_flavour === 373 ? 0 : n);
  if (data) this.gridlist.GetPoints(data);
  // A pair without samples leaves no piece of the previous pair behind.
  this.GetOrbitGroup(this.gridlist.points);
  if (this.orbitlist.length === 0) {
    this.RemoveLineList();
    return;
  }
  this.MoveMarker();
};

// ------------------------------------------------------------------ event points

function CrashPoint(marker, icolor, levelx, levely, levelz, ifile, igrid, ipos, lat, lng, valid, speed, direction) {
  this.marker = marker;
  this.icolor = icolor;
  this.levelx = levelx;
  this.levely = levely;
  this.levelz = levelz;
  this.ifile = ifile;
  this.igrid = igrid;
  this.ipos = ipos;
  this.lat = lat;
  this.lng = lng;
  this.valid = valid;
  this.speed = speed;
  this.direction = direction;
}

function CpList() {
  this.markers = [];
}

CpList.prototype.ClearCrashPos = function () {
  for (var i = 0; i < this.markers.length; i++) {
    if (this.markers[i].marker && g_map) g_map.removeLayer(this.markers[i].marker);
  }
  this.markers = [];
};

CpList.prototype.AddCrashPos = function (icolor, levelx, levely, levelz, ifile, igrid, ipos, lat, lng, valid, speed,
                                         direction) {
  var marker = CreateCPMarker([lat, lng], icolor, levelx, levely, levelz);
  if (!marker) return;
  var cp = new CrashPoint(marker, icolor, levelx, levely, levelz, ifile, igrid, ipos, lat, lng, valid, speed,
                          direction);
  var self = this;
  marker.on("click", function () {
    var i = self.markers.indexOf(cp);
    if (i >= 0) self.SetCrashPos(i);
  });
  this.markers.push(cp);
};

CpList.prototype.SetCrashPos = function (i) {
  var e = this.markers[i];
  if (!e) return;
  g_host.JS2C_OnClickCrashPoint(e.ifile, e.igrid, e.ipos, e.valid, e.lat, e.lng, e.speed, e.direction);
  if (IsValidPosition(e.lat, e.lng) && ConnectTest()) orbitgrplist.MoveMarker();
};

function CreateCPMarker(at, icolor, levelx, levely, levelz) {
  if (!g_map || !IsValidPosition(at[0], at[1])) return null;
  var options = {};
  var url = g_iconurl[icolor];
  if (url) {
    options.icon = L.icon({iconUrl: url, iconSize: [32, 32], iconAnchor: [16, 32], shadowUrl: g_shadow,
                           shadowSize: [49, 32], shadowAnchor: [16, 32]});
  }
  if (g_host && g_host.JS2C_GetMarkName) options.title = String(g_host.JS2C_GetMarkName(icolor));
  return L.marker(at, options).addTo(g_map);
}

var orbitgrplist = new OrbitGrpList();
var cplist = new CpList();

// ------------------------------------------------------------------ start and cycle

// Asks the program whether the map can be shown; requests the library when
// it can and none is loaded or loading.
function ConnectTest() {
  if (g_host.JS2C_ConnectTest()) {
    if (!g_isInitConnect && !g_isStartInitConnect) {
      if (g_script && g_script.parentNode) g_script.parentNode.removeChild(g_script);
      var s = document.createElement("script");
      s.type = "text/javascript";
      s.src = g_host.JS2C_GetMapURL();
      s.onload = function () {
        if (g_script === s) loadLibs();
      };
      s.onerror = function () {
        // Try again on the next cycle rather than leave the map blank.
        if (g_script !== s) return;
        if (s.parentNode) s.parentNode.removeChild(s);
        g_script = null;
        g_isStartInitConnect = false;
        g_isInit = false;
      };
      document.body.appendChild(s);
      g_script = s;
      g_isStartInitConnect = true;
    }
    return g_isInitConnect;
  }
  g_isStartInitConnect = false;
  g_isInitConnect = false;
  return false;
}

function IconBase() {
  var here = String(window.location.href).split("#")[0];
  return here.substring(0, here.lastIndexOf("/") + 1);
}

function loadLibs() {
  var center = g_flavour === 373 ? [0.0, 0.0] : [-90.0, 0.0];
  var canvas = document.getElementById("map_canvas");
  if (g_flavour !== 373) canvas.style.background = "white";
  if (g_map) g_map.remove();
  g_map = null;
  try {
    g_map = L.map(canvas, {center: center, zoom: 16, zoomControl: true, attributionControl: true});
  } catch (e) {
    g_map = null;
  }
  if (!g_map) {
    g_isStartInitConnect = false;  // the next cycle loads the library again
    g_isInit = false;
    return;
  }
  var tiles = qvBridge.state.tileUrl;
  if (tiles) {
    L.tileLayer(tiles, {maxZoom: 19, attribution: "&copy; OpenStreetMap contributors"}).addTo(g_map);
  }
  L.control.scale().addTo(g_map);
  if (g_flavour === 373) {
    g_iconurl = qvBridge.icons.slice(0, 12);
    g_shadow = qvBridge.icons[12] || null;
    loadMarker(center, null);
  } else {
    window.onerror = function () { return true; };  // the library's script errors stay quiet
    var base = IconBase();
    g_iconurl = ICON_NUMBERS.map(function (n) { return base + "PNG/" + n + ".svg"; });
    g_shadow = base + "PNG/" + ICON_SHADOW + ".svg";
  }
  g_host.JS2C_OnInitHtml();
  g_isInitConnect = true;
}

// Pans to the position and puts the one position marker there.
function loadMarker(at, icon) {
  if (!g_map) return;
  g_map.panTo(at, kNoAnimation);
  if (g_marker) g_map.removeLayer(g_marker);
  g_marker = icon ? L.marker(at, {icon: icon}).addTo(g_map) : L.marker(at).addTo(g_map);
}

// The program says that the map cannot show (the display is off or the
// tile host does not answer): the page is offline at once, as after a failed
// connection test, and holds no map that a later script could move.
function FollowState(state) {
  if (state.connect || (!g_map && !g_script)) return;
  g_isStartInitConnect = false;
  g_isInitConnect = false;
  DropMap();
}

// Drops the map and the library script, ready for a new connection.
function DropMap() {
  g_isInit = false;
  if (g_map) g_map.remove();
  g_map = null;
  g_marker = null;
  if (g_script && g_script.parentNode) g_script.parentNode.removeChild(g_script);
  g_script = null;
}

// One step of the one-second cycle.
function Cycle() {
  if (g_flavour === 373) g_host.JS2C_SetSend();
  g_newlat = parseFloat(InputValue("map_lat"));
  g_newlng = parseFloat(InputValue("map_lng"));
  if (g_newlat < 1000.0 && g_newlng < 1000.0) {
    if (ConnectTest()) {
      var status = InputValue("map_status").toLowerCase();
      if (status !== "pause" && status !== "stop" && ((g_newlng !== 0 && g_newlat !== 0) || g_lastJpgNum === -1)) {
        orbitgrplist.MoveMarker();
      }
    } else if (!g_isStartInitConnect) {
      DropMap();
    }
  } else if (!g_isInit) {
    ConnectTest();
    g_isInit = true;
  }
}

function show() {
  // A hidden page (the map pop-out closed) draws nothing and asks only for
  // the state while it holds a map, so that it lets go of it when the map
  // cannot show; it takes up the cycle when it shows again.
  if (document.hidden) {
    if (g_map || g_script) {
      qvBridge.refresh(function () { window.setTimeout(show, 1000); });
    } else {
      window.setTimeout(show, 1000);
    }
    return;
  }
  qvBridge.refresh(function () {
    try {
      Cycle();
    } finally {
      window.setTimeout(show, 1000);
    }
  });
}

function initialize() {
  g_lastJpgNum = -1;
  qvBridge.onState = FollowState;
  if (g_flavour === 373) {
    qvBridge.onMessage(function (m) {
      if (!m || m.val_command !== "update") return;
      SetInputValue("map_lat", m.map_lat);
      SetInputValue("map_lng", m.map_lng);
      SetInputValue("map_status", m.map_status);
    });
  }
  qvBridge.start(g_flavour === 373 ? "sample" : "external", function (host) {
    g_host = host;
    show();
  });
}

