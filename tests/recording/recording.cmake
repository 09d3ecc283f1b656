qv_test(recording_test
  SOURCES recordingname_test.cpp drivedata_test.cpp drivedatareader_test.cpp
  LIBS qv_recording)
