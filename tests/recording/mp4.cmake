# MP4 reading, the movie-index helpers, the completeness test and the join.
qv_test(mp4_test SOURCES mp4movie_test.cpp movieindex_test.cpp mp4testfiles.cpp LIBS qv_recording FIXTURES TIMEOUT 120)
qv_test(mp4join_test SOURCES mp4join_test.cpp mp4testfiles.cpp LIBS qv_recording FIXTURES TIMEOUT 300)
