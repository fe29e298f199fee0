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

# Glob patterns of GoogleTest names ("Suite.Test", * and ? as wildcards) turned into one regular
# expression that matches a whole name.
function(vidorra_glob_regex out)
  set(alternatives)
  foreach(glob IN LISTS ARGN)
    string(REGEX REPLACE "([][.+^$(){}|\\])" "\\\\\\1" re "${glob}")
    string(REPLACE "*" ".*" re "${re}")
    string(REPLACE "?" "." re "${re}")
    list(APPEND alternatives "${re}")
  endforeach()
  list(JOIN alternatives "|" re)
  set(${out} "^(${re})$" PARENT_SCOPE)
endfunction()

# The tests that a test file defines, as GoogleTest names them: "Suite.Test"; "Suite/0.Test" for
# typed tests, "P/Suite.Test/0" for value-parameterized ones (prefix and index stand for any).
function(vidorra_test_names out file)
  file(STRINGS ${file} lines REGEX "^[ \t]*(TYPED_)?TEST(_F|_P)?[ \t]*\\(")
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES
        "(TYPED_)?TEST(_F|_P)?[ \t]*\\([ \t]*([A-Za-z0-9_]+)[ \t]*,[ \t]*([A-Za-z0-9_]+)")
      set(suite ${CMAKE_MATCH_3})
      if(CMAKE_MATCH_1)
        set(suite "${suite}/0")
      endif()
      if(CMAKE_MATCH_2 STREQUAL "_P")
        list(APPEND names "P/${suite}.${CMAKE_MATCH_4}/0")
      else()
        list(APPEND names "${suite}.${CMAKE_MATCH_4}")
      endif()
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# One GoogleTest executable per tested layer: every .cpp of the folder goes in.
# THREADS: the tests of the layer that exercise threads, those whose names match a pattern of
# VIDORRA_THREAD_TESTS, get the label "LABEL-threads" instead of "LABEL"; they are the ones that the
# ThreadSanitizer build (VIDORRA_TSAN) builds and runs, and it compiles only the files that hold
# one of them (and the files that define no test: shared helpers).
function(vidorra_tests name dir)
  cmake_parse_arguments(ARG "SERIAL;THREADS" "LABEL" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(threads_filter "")
  if(ARG_THREADS AND VIDORRA_THREAD_TESTS)
    list(JOIN VIDORRA_THREAD_TESTS ":" threads_filter)
    vidorra_glob_regex(threads_re ${VIDORRA_THREAD_TESTS})
    set(threaded_sources)
    foreach(src IN LISTS sources)
      vidorra_test_names(names ${src})
      if(NOT names)
        list(APPEND threaded_sources ${src})
        continue()
      endif()
      set(threaded FALSE)
      foreach(test IN LISTS names)
        if(test MATCHES "${threads_re}")
          set(threaded TRUE)
        endif()
        # Which patterns name a test here, for the check in vidorra_check_thread_tests.
        foreach(glob IN LISTS VIDORRA_THREAD_TESTS)
          vidorra_glob_regex(re ${glob})
          if(test MATCHES "${re}")
            set_property(GLOBAL APPEND PROPERTY VIDORRA_THREAD_PATTERNS_FOUND "${glob}")
          endif()
        endforeach()
      endforeach()
      if(threaded)
        list(APPEND threaded_sources ${src})
      endif()
    endforeach()
    if(VIDORRA_TSAN)
      set(sources ${threaded_sources})
    endif()
  elseif(VIDORRA_TSAN)
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
  if(threads_filter)
    # One label, since the discovered tests' properties cannot carry a list: ctest -L takes a
    # regular expression, so -L threads selects these and -L platform still does too.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "${threads_filter}-*Long*"
      PROPERTIES LABELS "${ARG_LABEL}-threads" TIMEOUT 600 RUN_SERIAL ${serial}
      DISCOVERY_TIMEOUT 60)
    if(VIDORRA_TSAN)
      return()
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      TEST_FILTER "-${threads_filter}:*Long*"
      PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600 RUN_SERIAL ${serial}
      DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "-*Long*"
      PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600 RUN_SERIAL ${serial}
      DISCOVERY_TIMEOUT 60)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "*Long*"
    PROPERTIES LABELS long TIMEOUT 3600
    DISCOVERY_TIMEOUT 60)
endfunction()

# Every pattern of VIDORRA_THREAD_TESTS must name a test of a THREADS layer: a pattern left
# behind by a renamed or moved test would quietly take that test out of the ThreadSanitizer run.
function(vidorra_check_thread_tests)
  get_property(found GLOBAL PROPERTY VIDORRA_THREAD_PATTERNS_FOUND)
  set(missing)
  foreach(glob IN LISTS VIDORRA_THREAD_TESTS)
    if(NOT glob IN_LIST found)
      list(APPEND missing "${glob}")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing " " missing)
    message(FATAL_ERROR "VIDORRA_THREAD_TESTS: no test of the platform's suites matches "
      "${missing}; name the suites or tests that exercise threads now (tests/CMakeLists.txt)")
  endif()
endfunction()
