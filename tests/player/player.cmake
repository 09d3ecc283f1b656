qv_test(qv_player_scheduler_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scheduler_test.cpp ${CMAKE_CURRENT_LIST_DIR}/presentengine_test.cpp
  LIBS qv_player TIMEOUT 60)
qv_test(qv_player_test QT FIXTURES
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/player_test.cpp ${CMAKE_CURRENT_LIST_DIR}/testmovies.cpp
  LIBS qv_player TIMEOUT 180)
