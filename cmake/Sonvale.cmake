# Project-wide compiler settings and helpers.

add_compile_options(-Wall -Wextra)

if(SONVALE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SONVALE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SONVALE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SONVALE_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(SONVALE_BUILD_FUZZ)
  # Everything is built with the sanitizers; coverage for the fuzz engine only
  # in the sources the targets test (fuzz/coverage-allow.txt, less the
  # standard library's templates), so the engine's work per input stays
  # small. Only the fuzz targets link the driver.
  set(_allow ${PROJECT_SOURCE_DIR}/fuzz/coverage-allow.txt)
  set(_ignore ${PROJECT_SOURCE_DIR}/fuzz/coverage-ignore.txt)
  # An edited list reconfigures, and its digest in the flags rebuilds everything.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_allow} ${_ignore})
  file(MD5 ${_allow} _allowSum)
  file(MD5 ${_ignore} _ignoreSum)
  string(SUBSTRING "${_allowSum}${_ignoreSum}" 0 12 _listsSum)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fsanitize-coverage-allowlist=${_allow}
                      -fsanitize-coverage-ignorelist=${_ignore}
                      -DSONVALE_COVERAGE_LISTS=${_listsSum})
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)

# sonvale_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ENV ...])
# One GoogleTest executable per folder, registered with CTest as one test.
function(sonvale_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
