sonvale_add_fuzzer(mp3play SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3play_fuzz.cpp LIBS sonvale_platform)
