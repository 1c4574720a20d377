# Dialog services: the interface, its helpers and the scripted implementation
# used by the tests.
target_sources(sonvale_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/UiServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptedUiServices.cpp)
