# Qt implementation of the dialog services.
target_sources(sonvale_platform_qt PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/QtUiServices.cpp)
