# Test executables run under Wine through the wrapper below (ctest's cross-compiling emulator).
find_program(KAVRINDEL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
find_program(KAVRINDEL_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KAVRINDEL_WINEPREFIX "${CMAKE_BINARY_DIR}/wine")
configure_file("${CMAKE_SOURCE_DIR}/cmake/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
set(KAVRINDEL_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run")

# A Unix path as Wine sees it through its Z: drive.
function(kavrindel_windows_path out unix_path)
  string(REPLACE "/" "\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# GoogleTest for the target, from Debian's source package.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL SYSTEM)

# kavrindel_add_test_executable(<target> SOURCES ... [LIBS ...] [RESOURCES])
#   A GoogleTest executable linked with the installer's code. RESOURCES links the installer's
#   resource script into it, so string table, bitmaps and icon are the test's own.
function(kavrindel_add_test_executable target)
  cmake_parse_arguments(T "RESOURCES;CONSOLE" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE kavrindel_core kavrindel_test_support GTest::gtest_main ${T_LIBS})
  if(T_RESOURCES)
    target_link_libraries(${target} PRIVATE kavrindel_resources)
  endif()
  kavrindel_warnings(${target})
endfunction()

# kavrindel_add_test_run(<name> <target> [LANG <locale>] [TIMEOUT s] [ENV VAR=VALUE ...] [ARGS ...] [LABELS ...])
#   One ctest test: the executable under Wine with the given UI locale (en_US.UTF-8 by default).
function(kavrindel_add_test_run name target)
  cmake_parse_arguments(T "" "LANG;TIMEOUT" "ENV;ARGS;LABELS" ${ARGN})
  if(NOT T_LANG)
    set(T_LANG en_US.UTF-8)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${target} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "LANG=${T_LANG};LC_ALL=${T_LANG};${T_ENV}"
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}")
endfunction()

# kavrindel_add_test(<target> SOURCES ... [LIBS ...] [RESOURCES] [LANG l] [TIMEOUT s] [ENV ...])
#   The common case: one executable, one run.
function(kavrindel_add_test target)
  cmake_parse_arguments(T "RESOURCES" "LANG;TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  set(res)
  if(T_RESOURCES)
    set(res RESOURCES)
  endif()
  kavrindel_add_test_executable(${target} SOURCES ${T_SOURCES} LIBS ${T_LIBS} ${res})
  set(args)
  if(T_LANG)
    list(APPEND args LANG ${T_LANG})
  endif()
  if(T_TIMEOUT)
    list(APPEND args TIMEOUT ${T_TIMEOUT})
  endif()
  kavrindel_add_test_run(${target} ${target} ${args} ENV ${T_ENV} LABELS ${T_LABELS})
endfunction()
include(KavrindelBucket)
