qv_test(recording_files_test
  SOURCES recording_files_test.cpp
  LIBS qv_recording)
