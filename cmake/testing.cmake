# Test flavour: GoogleTest from Debian's sources, and CTest running every Windows test program
# under Wine through cmake/wine-run.sh (its own prefix in the build tree).
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(KOVA_WINE_MAIN_PREFIX "${CMAKE_BINARY_DIR}/wine/main")
set(KOVA_SOURCE_DIR "${CMAKE_SOURCE_DIR}")
set(KOVA_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run.sh")
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${KOVA_WINE_RUN} @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KOVA_WINE_RUN}")
include(GoogleTest)

# kova_add_gtest(name SOURCES ... [LIBS ...] [PREFIX name] [ENV k=v ...] [LOCK name])
# One CTest entry per test case, discovered under Wine before the tests run.
#   PREFIX  the Wine prefix (under build/wine/) the program runs in; default "main"
#   LOCK    a CTest resource lock for tests sharing machine-wide state in one prefix
#   ENV     k=v pairs for this program only; a ";" inside a value is written "\\;"
#           (e.g. "WINEDLLOVERRIDES=mscoree,mshtml=\\;iphlpapi=n,b")
function(kova_add_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 A "" "PREFIX;LOCK;TIMEOUT" "SOURCES;LIBS;ENV")
  if(NOT A_PREFIX)
    set(A_PREFIX main)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/common/test_main.cpp)
  kova_target_defaults(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  target_link_libraries(${name} PRIVATE ${A_LIBS} gtest gmock)
  # run-tests.sh prepares every prefix named here before CTest starts (see kova_write_prefix_list).
  set_property(GLOBAL APPEND PROPERTY KOVA_WINE_PREFIXES ${A_PREFIX})
  # gtest_discover_tests passes a property of several values on as separate words, so only one
  # ENVIRONMENT entry survives: the program's own variables go into a runner of its own instead.
  set(props ENVIRONMENT "KOVA_WINE_PREFIX=${CMAKE_BINARY_DIR}/wine/${A_PREFIX}" TIMEOUT ${A_TIMEOUT})
  if(A_ENV)
    set(runner "${CMAKE_BINARY_DIR}/wine-run-${name}.sh")
    set(script "#!/bin/bash\n")
    foreach(kv IN LISTS A_ENV)
      string(REPLACE "\\;" ";" kv "${kv}")
      string(REPLACE "'" "'\\''" kv "${kv}")
      string(APPEND script "export '${kv}'\n")
    endforeach()
    string(APPEND script "exec '${KOVA_WINE_RUN}' \"$@\"\n")
    file(WRITE "${runner}.tmp" "${script}")
    file(COPY_FILE "${runner}.tmp" "${runner}" ONLY_IF_DIFFERENT)
    file(CHMOD "${runner}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${runner}")
  endif()
  if(A_LOCK)
    list(APPEND props RESOURCE_LOCK ${A_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    DISCOVERY_EXTRA_ARGS ""
    PROPERTIES ${props})
endfunction()

# Writes the names of all Wine prefixes the tests use to build/<preset>/wine-prefixes.txt, so
# that run-tests.sh can create them and start their persistent wineservers outside CTest.
function(kova_write_prefix_list)
  get_property(prefixes GLOBAL PROPERTY KOVA_WINE_PREFIXES)
  list(APPEND prefixes main)
  list(REMOVE_DUPLICATES prefixes)
  list(JOIN prefixes "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/wine-prefixes.txt "${text}\n")
endfunction()
