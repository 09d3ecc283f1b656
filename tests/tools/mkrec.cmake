qv_test(mkrec_test SOURCES blockwriter_test.cpp LIBS qv_mkrec_core qv_recording)
qv_test(mkrec_fixture_test SOURCES fixture_test.cpp LIBS qv_mkrec_core FIXTURES)
target_compile_definitions(mkrec_fixture_test PRIVATE QV_MKREC="$<TARGET_FILE:mkrec>")
add_dependencies(mkrec_fixture_test mkrec)
