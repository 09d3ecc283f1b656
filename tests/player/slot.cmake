# Player slots and the player layer: rules on fake players (no pipeline).
qv_test(qv_slot_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slot_test.cpp ${CMAKE_CURRENT_LIST_DIR}/../recording/mp4testfiles.cpp
  LIBS qv_player TIMEOUT 60)

# The same layer on the fixture recordings through GStreamer: open and drive
# data, and the in-step runs at rate codes 1, 2 and 4 (separate programs, so that
# CTest can run them side by side).
foreach(rate 0 1 2 4)
  if(rate EQUAL 0)
    set(name qv_slotpair_test)
  else()
    set(name qv_slotpair_rate${rate}_test)
  endif()
  qv_test(${name} QT FIXTURES
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/slotpair_test.cpp ${CMAKE_CURRENT_LIST_DIR}/testmovies.cpp
            ${CMAKE_CURRENT_LIST_DIR}/../recording/mp4testfiles.cpp
    LIBS qv_player TIMEOUT 60)
  if(TARGET ${name})
    target_compile_definitions(${name} PRIVATE QV_SLOT_RATE=${rate})
    if(NOT rate EQUAL 0)
      # Two pipelines decoding in real time: keep CTest from putting more on
      # their cores than a two-core machine has.
      set_tests_properties(${name} PROPERTIES PROCESSORS 2)
    endif()
  endif()
endforeach()
