# Runs the configure-time account check on one set of values (cmake -P, values as -D options).
cmake_minimum_required(VERSION 3.25)
# EXPECT_POSITIONS, when given, is the list the check must hand back.
list(APPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}/../../cmake")
include(KavrindelAccountCheck)
kavrindel_check_account("${ENDPOINT}" "${BUCKET}" "${TEXT}" "${POSITIONS}" positions)
if(DEFINED EXPECT_POSITIONS AND NOT positions STREQUAL EXPECT_POSITIONS)
  message(FATAL_ERROR "positions ${positions}, expected ${EXPECT_POSITIONS}")
endif()
