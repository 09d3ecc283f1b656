# The skinned window toolkit and its images.
qv_test(skin_geometry_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_geometry_test.cpp LIBS qv_skin)
qv_test(skin_images_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_images_test.cpp LIBS qv_skin)
