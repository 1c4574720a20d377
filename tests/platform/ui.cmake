# User-interface service tests: message windows and the dialog services
# (plain and scripted implementations).
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/MessageWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UiServicesTest.cpp)
