# Run-time library loading (dlopen/dlsym).
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/LibraryLoader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryLoader.h)
