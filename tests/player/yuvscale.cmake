# The YUV to BGRx scaler of the present engine (against GStreamer's converter).
qv_test(qv_yuvscale_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/yuvscale_test.cpp
  LIBS qv_player TIMEOUT 60)
