qv_test(platform_core_test SOURCES numtext_test.cpp civiltime_test.cpp filesource_test.cpp LIBS qv_platform_core)
