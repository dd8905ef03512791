# Tests that run against the local bucket (tools/local-bucket/with_bucket.py).
#
# kavrindel_add_bucket_test(<name> <target> [RELEASE "<make_release.py options>"] [NO_RELEASE]
#                           [FIXED_PORT] [RATE_LIMIT bytes_per_s] [CHECK_SIGNATURES]
#                           [EXPECT_VALID_SIGNATURES] [LANG l] [TIMEOUT s]
#                           [ENV VAR=VALUE ...] [ARGS ...] [LABELS ...])
#   Runs the test executable under Wine while a fresh emulator serves a fresh sample release;
#   the executable finds the bucket through the KAV_BUCKET_* environment variables.
#   FIXED_PORT listens on the installer's default port; such tests never run at the same time.
#   CHECK_SIGNATURES has the storage service's official client (ali-oss) re-check the signature of
#   every request the executable sent and agree with the emulator's verdict;
#   EXPECT_VALID_SIGNATURES also fails the test on any request that is not signed right.
set(KAVRINDEL_WITH_BUCKET "${CMAKE_SOURCE_DIR}/tools/local-bucket/with_bucket.py")

function(kavrindel_add_bucket_test name target)
  cmake_parse_arguments(T "FIXED_PORT;NO_RELEASE;CHECK_SIGNATURES;EXPECT_VALID_SIGNATURES" "RELEASE;LANG;TIMEOUT;RATE_LIMIT" "ENV;ARGS;LABELS" ${ARGN})
  if(NOT T_LANG)
    set(T_LANG en_US.UTF-8)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(runner --build-dir "${CMAKE_BINARY_DIR}")
  if(T_NO_RELEASE)
    list(APPEND runner --no-release)
  elseif(DEFINED T_RELEASE)
    list(APPEND runner "--release=${T_RELEASE}")
  endif()
  if(T_FIXED_PORT)
    list(APPEND runner --fixed-port)
  endif()
  if(T_CHECK_SIGNATURES)
    list(APPEND runner --check-signatures)
  endif()
  if(T_EXPECT_VALID_SIGNATURES)
    list(APPEND runner --expect-valid-signatures)
  endif()
  if(T_RATE_LIMIT)
    list(APPEND runner --rate-limit ${T_RATE_LIMIT})
  endif()
  add_test(NAME ${name}
           COMMAND ${Python3_EXECUTABLE} "${KAVRINDEL_WITH_BUCKET}" ${runner}
                   -- "${KAVRINDEL_WINE_RUN}" "$<TARGET_FILE:${target}>" ${T_ARGS})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "LANG=${T_LANG};LC_ALL=${T_LANG};${T_ENV}"
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}")
  if(T_FIXED_PORT)
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK kavrindel_fixed_port)
  endif()
endfunction()
