// The script and JSON text the program hands the map page.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/jsonholder.h"
#include "map/mapscript.h"
#include "testsupport.h"

namespace qv {
namespace {

GpsSample Fix(double lat, double lng, int32_t time, int32_t valid = 1) {
  GpsSample g;
  g.latitude = lat;
  g.longitude = lng;
  g.time = time;
  g.valid = valid;
  return g;
}

TEST(MapScript, GpsArrayKeepsValidFiniteSamplesAndEndsWithTheCount) {
  EXPECT_EQ(GpsArray({}), std::vector<double>{0.0});
  EXPECT_EQ(GpsArray({Fix(35.0, 139.0, 5, 0)}), std::vector<double>{0.0});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto a = GpsArray({Fix(35.5, 139.25, 0), Fix(nan, 139.0, 1), Fix(-33.9, -151.2, 2),
                           Fix(1.0, std::numeric_limits<double>::infinity(), 3)});
  EXPECT_EQ(a, (std::vector<double>{35.5, 139.25, 0, -33.9, -151.2, 2, 6}));
  EXPECT_EQ(ScriptArray(a), "[35.5,139.25,0,-33.9,-151.2,2,6]");
  EXPECT_EQ(ScriptArray(std::nullopt), "null");
}

TEST(MapScript, ScriptsAreLocaleFreeAndFinite) {
  // A decimal-comma locale must not reach the page's numbers.
  const qvtest::DecimalCommaLocale comma;
  CrashPosArgs a;
  a.icolor = 8;
  a.levelX = 0.25;
  a.levelY = -1.5;
  a.levelZ = std::numeric_limits<double>::quiet_NaN();
  a.igrid = 3;
  a.ipos = 120;
  a.lat = 35.681236;
  a.lng = 139.767125;
  a.valid = 1;
  a.speed = 42.5;
  EXPECT_EQ(AddCrashPosScript(a), "cplist.AddCrashPos(8,0.25,-1.5,0,0,3,120,35.681236,139.767125,1,42.5,0)");
  a.lat = std::numeric_limits<double>::infinity();
  EXPECT_EQ(AddCrashPosScript(a), "cplist.AddCrashPos(8,0.25,-1.5,0,0,3,120,1000,139.767125,0,42.5,0)");
  EXPECT_EQ(HiddenInputsScript(-33.5, std::nan(""), "pause"), "qvBridge.setInputs(\"-33.5\",\"1000\",\"pause\");");
  EXPECT_EQ(CreateGridLineScript(-1), "orbitgrplist.CreateGridLine(-1)");
}

TEST(MapScript, StringsAreEscapedForScriptsAndJson) {
  EXPECT_EQ(ScriptString("a\"b\\c\n\x01</script>"), "\"a\\\"b\\\\c\\n\\u0001\\u003c/script>\"");
  EXPECT_EQ(ScriptString("\xE2\x80\xA8x"), "\"\\u2028x\"");
  EXPECT_EQ(ScriptString("急加速"), "\"急加速\"");
  MapPageState s;
  s.connect = true;
  s.relJpgNum = 42;
  s.mapUrl = "qrc:/x.js?key=";
  s.markNames = {"a", "b\"c"};
  EXPECT_EQ(PageStateJson(s),
            "{\"connect\":1,\"relJpgNum\":\"42\",\"mapUrl\":\"qrc:/x.js?key=\",\"tileUrl\":\"\","
            "\"markNames\":[\"a\",\"b\\\"c\"]}");
}

TEST(MapScript, SmallRules) {
  EXPECT_EQ(MarkNameTextNumber(2), 72);
  EXPECT_EQ(PlayStatusText(2), std::string("stop"));
  EXPECT_FALSE(PlayStatusText(3).has_value());
  EXPECT_EQ(PageZoomPercent(1.15f), 115);  // not 114.99 cut to 114
  EXPECT_EQ(ClampPointPosition(-7, 20000), 0);
  EXPECT_EQ(ClampPointPosition(5, 0), 0);
  // The key is rebuilt with the host name cycling; none stored gives "key=".
  EXPECT_EQ(DecodeMapKey({'a' ^ 'x', 'b' ^ 'y', 'c' ^ 'x'}, "xy"), "abc");
  EXPECT_EQ(MapLibraryUrl("qrc:/map/l.js", {}, "host"), "qrc:/map/l.js?key=&v=3&sensor=false&callback=loadLibs");
}

TEST(JsonHolder, SerializesInKeyOrderWithEscapes) {
  CJsonHolder h;
  h.Add("b", "2", ",");
  h.Add("a", "1", ",");
  h.Add("c", "", "");
  EXPECT_EQ(h.Serialize(), "{\"a\":\"1\",\"b\":\"2\",\"c\":\"\"}");
  h.Add("a", "say \"hi\"\\\n", ",");
  CJsonHolder back;
  back.Parse(h.Serialize());
  EXPECT_EQ(back.Value("a"), "say \"hi\"\\\n");

  const std::string m = UpdateMessageJson(35.681236, 139.767125, "pause");
  EXPECT_EQ(m.size(), 103u);
  EXPECT_EQ(m, "{\"map_lat\":\"35.681236\",\"map_lng\":\"139.767125\",\"map_status\":\"pause\","
               "\"val_command\":\"update\",\"val_end\":\"\"}");
  EXPECT_NE(UpdateMessageJson(std::nan(""), 1.0, "").find("\"map_lat\":\"1000.000000\""), std::string::npos);
}

TEST(JsonHolder, ParseKeepsQuotedSeparatorsAndRestartsAtBrace) {
  CJsonHolder h;
  h.Parse("{\"map_lat\":\"35.5\",\"map_status\":\"stop\"}");
  ASSERT_EQ(h.Entries().size(), 2u);
  EXPECT_EQ(h.Entries().at("map_lat").separator, ",");
  EXPECT_EQ(h.Entries().at("map_status").separator, "");
  h.Parse("{\"t\":\"12:30, ok\", \"k{\":\"\\u00e9\\ud83d\\ude00\"}");
  EXPECT_EQ(h.Value("t"), "12:30, ok");
  EXPECT_EQ(h.Value("k{"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(h.Value("map_lat"), "35.5");  // parsing adds to what is there
  CJsonHolder n;
  n.Parse("{\"a\":{\"b\":\"1\"}}");
  EXPECT_EQ(n.Value("b"), "1");
  EXPECT_EQ(n.Value("a"), "");
  n.Parse("{\"x\":\"unterminated");
  EXPECT_EQ(n.Value("x"), "");
}

}  // namespace
}  // namespace qv
