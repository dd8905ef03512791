# Runs the configure-time conversion of a release public key (cmake -P, values as -D options):
# PEM, OPENSSL, and EXPECT_BYTES, the C initialiser the conversion must give, when accepted.
cmake_minimum_required(VERSION 3.25)
list(APPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}/../../cmake")
include(KavrindelReleaseKeyCheck)
kavrindel_release_key_bytes("${PEM}" "${OPENSSL}" bytes)
if(DEFINED EXPECT_BYTES AND NOT bytes STREQUAL EXPECT_BYTES)
  message(FATAL_ERROR "key bytes ${bytes}, expected ${EXPECT_BYTES}")
endif()
