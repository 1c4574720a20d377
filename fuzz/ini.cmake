sonvale_add_fuzzer(ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp LIBS sonvale_ini sonvale_core)
