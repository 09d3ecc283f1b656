qv_test(platform_layer_test
  SOURCES rect_test.cpp inifile_test.cpp atomicwrite_test.cpp drives_test.cpp trash_test.cpp apphelpers_test.cpp
  LIBS qv_platform_core)
qv_test(platform_qt_layer_test QT
  SOURCES plat_qt_main.cpp appmessage_test.cpp wintimer_test.cpp monitor_test.cpp
  LIBS qv_platform)
