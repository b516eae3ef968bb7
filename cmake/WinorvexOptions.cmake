# One target that carries the language level, warnings and sanitizers for all our code.
add_library(winorvex_options INTERFACE)
target_compile_features(winorvex_options INTERFACE cxx_std_20)
target_compile_options(winorvex_options INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual)
if(WINORVEX_WERROR)
  target_compile_options(winorvex_options INTERFACE -Werror)
endif()
if(WINORVEX_LANGUAGE STREQUAL "en")
  target_compile_definitions(winorvex_options INTERFACE WINORVEX_DEFAULT_ENGLISH=1)
else()
  target_compile_definitions(winorvex_options INTERFACE WINORVEX_DEFAULT_ENGLISH=0)
endif()
if(WINORVEX_SANITIZE)
  target_compile_options(winorvex_options INTERFACE -fsanitize=${WINORVEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(winorvex_options INTERFACE -fsanitize=${WINORVEX_SANITIZE})
endif()
find_package(Threads REQUIRED)
target_link_libraries(winorvex_options INTERFACE Threads::Threads)

# add_winorvex_library(name SOURCES files... LIBS libs...): one static library per source folder,
# linking only the libraries below it.
function(add_winorvex_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC winorvex_options ${L_LIBS})
endfunction()

# add_winorvex_test(name sources... LIBS libs...): one GoogleTest executable, each test visible to CTest.
function(add_winorvex_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} winorvex_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "TZ=Europe/Paris" TIMEOUT 120)
endfunction()

# add_winorvex_tz_variant(name tz): runs an already declared test executable a second time under another TZ.
function(add_winorvex_tz_variant name tz prefix)
  gtest_discover_tests(${name} TEST_PREFIX "${prefix}." DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "TZ=${tz}" TIMEOUT 120)
endfunction()
