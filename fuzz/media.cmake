sonvale_add_fuzzer(media SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_fuzz.cpp LIBS sonvale_platform)
