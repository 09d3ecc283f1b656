# The skinned window toolkit and its images.
qv_test(skin_geometry_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_geometry_test.cpp LIBS qv_skin)
qv_test(skin_images_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_images_test.cpp LIBS qv_skin)
if(QV_WITH_QT)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  qv_test(skin_widgets_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_widgets_test.cpp LIBS qv_skin Qt6::Test)
endif()
