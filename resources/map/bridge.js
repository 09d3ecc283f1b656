// The page's side of the bridge to the program.
//
// The page's calls into the program are synchronous (JS2C_GetGPSData()
// returns the array), but the channel to the program (QWebChannel) is not.
// So the program keeps the page supplied instead of being asked:
//   - every script the program runs starts with qvBridge.setState({...})
//     (connection, current position, library and tile addresses, mark
//     names), and a track redraw carries its GPS arrays in the same script
//     (setGpsData / setGridData) ahead of the call that reads them;
//   - each one-second cycle first asks the program for the state
//     (host.PageState, answered by callback) and runs the cycle's step in
//     the answer, so the step reads a fresh state in the page's own order;
//   - what the page tells the program (page ready, event point clicked,
//     connection test, send request, trace texts) travels as one-way calls.
// The stand-in g_host answers the JS2C_ calls from that state.
"use strict";

var qvBridge = (function () {
  var b = {
    state: {connect: 0, relJpgNum: "-1", mapUrl: "", tileUrl: "", markNames: []},
    gps: null,
    grid: null,
    icons: [],
    host: null,
    onState: null,
    listeners: []
  };

  // The page follows each new state at once (b.onState), before the
  // script that came with it runs.
  b.setState = function (s) {
    if (!s) return;
    b.state = s;
    if (b.onState) b.onState(s);
  };
  b.setGpsData = function (a) { b.gps = a; };
  b.setGridData = function (a) { b.grid = a; };
  b.setInputs = function (lat, lng, status) {
    var set = function (id, v) {
      var el = document.getElementById(id);
      if (el) el.value = v;
    };
    set("map_lat", lat);
    set("map_lng", lng);
    set("map_status", status);
  };
  b.onMessage = function (f) { b.listeners.push(f); };

  // Fetches the state, then runs `then`.
  b.refresh = function (then) {
    if (!b.host) {
      then();
      return;
    }
    b.host.PageState(function (json) {
      try {
        b.setState(JSON.parse(json));
      } catch (e) {
        // keep the last state
      }
      then();
    });
  };

  function call(name, args) {
    if (b.host && typeof b.host[name] === "function") b.host[name].apply(b.host, args || []);
  }

  function standIn(flavour) {
    var h = {
      JS2C_ConnectTest: function () {
        call("JS2C_ConnectTest");
        return !!b.state.connect;
      },
      JS2C_GetMapURL: function () { return b.state.mapUrl; },
      JS2C_OnInitHtml: function () { call("JS2C_OnInitHtml"); },
      JS2C_GetGPSData: function () { return b.gps; },
      JS2C_GetGridData: function () { return b.grid; },
      JS2C_GetRelJpgNum: function () { return b.state.relJpgNum; },
      JS2C_OnClickCrashPoint: function (ifile, igrid, ipos, valid, lat, lng, speed, direction) {
        call("JS2C_OnClickCrashPoint", [Number(ifile), Number(igrid), Number(ipos), Number(valid), Number(lat),
                                        Number(lng), Number(speed), Number(direction)]);
      }
    };
    if (flavour === 373) {
      h.JS2C_SetSend = function () { call("JS2C_SetSend"); };
    } else {
      h.JS2C_GetMarkName = function (i) { return b.state.markNames[i] || ""; };
      h.JS2C_DEBLOG = function (text) { call("JS2C_DEBLOG", [String(text)]); };
    }
    return h;
  }

  // Connects to the program's object `name`, then hands `ready` the stand-in.
  b.start = function (name, ready) {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      b.host = channel.objects[name] || null;
      var flavour = name === "sample" ? 373 : 103;
      var h = standIn(flavour);
      if (flavour === 103) {
        try {
          Object.defineProperty(window, "external", {value: h, configurable: true});
        } catch (e) {
          // the page reaches the stand-in through g_host alone
        }
      }
      if (b.host && b.host.webMessage) {
        b.host.webMessage.connect(function (json) {
          var m;
          try {
            m = JSON.parse(json);
          } catch (e) {
            return;
          }
          b.listeners.forEach(function (f) { f(m); });
        });
      }
      var go = function () { b.refresh(function () { ready(h); }); };
      if (b.host && b.host.Icons) {
        b.host.Icons(function (list) {
          b.icons = list || [];
          go();
        });
      } else {
        go();
      }
    });
  };

  return b;
})();
