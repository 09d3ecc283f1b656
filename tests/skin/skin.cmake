# The skinned window toolkit and its images.
qv_test(skin_geometry_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_geometry_test.cpp LIBS qv_skin)
qv_test(skin_images_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_images_test.cpp LIBS qv_skin)
if(QV_WITH_QT)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  qv_test(skin_widgets_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_widgets_test.cpp LIBS qv_skin Qt6::Test)
endif()

# The screenshot sheet of every skin image: build/skin-sheet.png.
if(TARGET qv_skinsheet)
  add_test(NAME skin_sheet COMMAND qv_skinsheet ${CMAKE_BINARY_DIR}/skin-sheet.png)
  set_tests_properties(skin_sheet PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
