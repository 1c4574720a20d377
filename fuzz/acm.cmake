sonvale_add_fuzzer(acm SOURCES ${CMAKE_CURRENT_LIST_DIR}/acm_fuzz.cpp LIBS sonvale_platform)
