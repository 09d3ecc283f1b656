# Player slots and the player layer: rules on fake players (no pipeline).
qv_test(qv_slot_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slot_test.cpp ${CMAKE_CURRENT_LIST_DIR}/../recording/mp4testfiles.cpp
  LIBS qv_player TIMEOUT 60)
