qv_test(skin_scale_helpers_test QT
  SOURCES ../platform/plat_qt_main.cpp scalefonts_test.cpp helpers_test.cpp
  LIBS qv_skin)
