# One static library per layer. Sources are picked up from the layer's folder, so adding a
# file needs no edit here; a layer with no source yet is an interface library. The folder is on
# the include path of the layers that depend on this one; the program reaches the platform only
# through vidorra_platform, which shows none of the platform's folders (platform/CMakeLists.txt).
function(vidorra_layer name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  set(cpp ${sources})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${dir})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${dir})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One GoogleTest executable per tested layer: every .cpp of the folder goes in.
function(vidorra_tests name dir)
  cmake_parse_arguments(ARG "SERIAL" "LABEL" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  # Suites or tests whose name contains "Long" (files of many GiB and the like) get the label
  # "long", which scripts/test leaves out unless asked.
  # SERIAL: the suite's tests run alone (real-time sources whose every frame is checked: a
  # test beside them on the same cores would starve them into dropping frames).
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "-*Long*"
    PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600 RUN_SERIAL ${serial}
    DISCOVERY_TIMEOUT 60)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "*Long*"
    PROPERTIES LABELS long TIMEOUT 3600
    DISCOVERY_TIMEOUT 60)
endfunction()
