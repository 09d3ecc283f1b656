qv_test(uistrings_test SOURCES uistrings_test.cpp LIBS qv_uistrings)
