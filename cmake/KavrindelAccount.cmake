# The storage account compiled into the installer: four cache variables, checked here and written
# into one generated header. Without an account text and secret positions of its own, a build
# uses the local bucket's test key pair, turned into text and positions by the tools/ script.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(KAVRINDEL_OSS_ENDPOINT "127.0.0.1:47195" CACHE STRING
    "Storage endpoint: a host name or IP address with an optional :port; https:// in front selects HTTPS")
set(KAVRINDEL_OSS_BUCKET "kavbucket" CACHE STRING "Storage bucket, 9 characters")
set(KAVRINDEL_OSS_ACCOUNT_TEXT "" CACHE STRING
    "The stored 57-character credential text (tools/account-text/make_account_text.py makes it)")
set(KAVRINDEL_OSS_SECRET_POSITIONS "" CACHE STRING
    "30 comma-separated 0-based positions of the secret within the text's last 54 characters")

set(KAVRINDEL_TEST_KEY_ID "LTAI5tKavrindelTestKey01")
set(KAVRINDEL_TEST_KEY_SECRET "KavrindelLocalBucketSecret0001")
set(KAVRINDEL_ACCOUNT_TEXT_SCRIPT "${CMAKE_SOURCE_DIR}/tools/account-text/make_account_text.py")

# A text that goes into a C string literal: printable ASCII without quote or backslash.
function(_kavrindel_check_literal name value)
  string(FIND "${value}" "\"" quote)
  string(FIND "${value}" "\\" backslash)
  if(NOT value MATCHES "^[ -~]*$" OR NOT quote EQUAL -1 OR NOT backslash EQUAL -1)
    message(FATAL_ERROR "${name} may hold only printable ASCII characters without \" and \\: '${value}'")
  endif()
endfunction()

function(kavrindel_generate_account_header output)
  set(text "${KAVRINDEL_OSS_ACCOUNT_TEXT}")
  set(positions "${KAVRINDEL_OSS_SECRET_POSITIONS}")
  if(text STREQUAL "" OR positions STREQUAL "")
    if(NOT text STREQUAL "" OR NOT positions STREQUAL "")
      message(FATAL_ERROR "KAVRINDEL_OSS_ACCOUNT_TEXT and KAVRINDEL_OSS_SECRET_POSITIONS go together")
    endif()
    if(NOT EXISTS "${KAVRINDEL_ACCOUNT_TEXT_SCRIPT}")
      message(FATAL_ERROR "${KAVRINDEL_ACCOUNT_TEXT_SCRIPT} is missing: pass KAVRINDEL_OSS_ACCOUNT_TEXT and "
                          "KAVRINDEL_OSS_SECRET_POSITIONS")
    endif()
    execute_process(
      COMMAND "${Python3_EXECUTABLE}" "${KAVRINDEL_ACCOUNT_TEXT_SCRIPT}"
              --key-id "${KAVRINDEL_TEST_KEY_ID}" --key-secret "${KAVRINDEL_TEST_KEY_SECRET}"
      OUTPUT_VARIABLE script_output RESULT_VARIABLE script_result ERROR_VARIABLE script_error)
    if(NOT script_result EQUAL 0)
      message(FATAL_ERROR "make_account_text.py failed: ${script_error}")
    endif()
    string(REGEX MATCH "ACCOUNT_TEXT=([^\n]*)" _ "${script_output}")
    set(text "${CMAKE_MATCH_1}")
    string(REGEX MATCH "SECRET_POSITIONS=([^\n]*)" _ "${script_output}")
    set(positions "${CMAKE_MATCH_1}")
  endif()
  string(STRIP "${text}" text)
  string(REPLACE " " "" positions "${positions}")

  if(KAVRINDEL_OSS_ENDPOINT STREQUAL "")
    message(FATAL_ERROR "KAVRINDEL_OSS_ENDPOINT is empty")
  endif()
  _kavrindel_check_literal(KAVRINDEL_OSS_ENDPOINT "${KAVRINDEL_OSS_ENDPOINT}")
  _kavrindel_check_literal(KAVRINDEL_OSS_BUCKET "${KAVRINDEL_OSS_BUCKET}")
  _kavrindel_check_literal(KAVRINDEL_OSS_ACCOUNT_TEXT "${text}")
  string(LENGTH "${KAVRINDEL_OSS_BUCKET}" bucket_length)
  if(NOT bucket_length EQUAL 9)
    message(FATAL_ERROR "KAVRINDEL_OSS_BUCKET must have 9 characters, '${KAVRINDEL_OSS_BUCKET}' has ${bucket_length}")
  endif()
  string(LENGTH "${text}" text_length)
  if(NOT text_length EQUAL 57)
    message(FATAL_ERROR "KAVRINDEL_OSS_ACCOUNT_TEXT must have 57 characters, it has ${text_length}")
  endif()
  if(NOT positions MATCHES "^[0-9]+(,[0-9]+)*$")
    message(FATAL_ERROR "KAVRINDEL_OSS_SECRET_POSITIONS must be comma-separated numbers: '${positions}'")
  endif()
  string(REPLACE "," ";" position_list "${positions}")
  list(LENGTH position_list position_count)
  if(NOT position_count EQUAL 30)
    message(FATAL_ERROR "KAVRINDEL_OSS_SECRET_POSITIONS must name 30 positions, it names ${position_count}")
  endif()
  set(seen)
  foreach(p IN LISTS position_list)
    if(p GREATER_EQUAL 54)
      message(FATAL_ERROR "secret position ${p} lies outside the 54 positions (0..53)")
    endif()
    math(EXPR p "${p}")  # drops leading zeros, so 07 and 7 count as the same position
    if(p IN_LIST seen)
      message(FATAL_ERROR "secret position ${p} is named twice")
    endif()
    list(APPEND seen ${p})
  endforeach()

  set(KAV_OSS_ENDPOINT_C "${KAVRINDEL_OSS_ENDPOINT}")
  set(KAV_OSS_BUCKET_C "${KAVRINDEL_OSS_BUCKET}")
  set(KAV_OSS_ACCOUNT_TEXT_C "${text}")
  list(JOIN seen ", " KAV_OSS_SECRET_POSITIONS_C)
  configure_file("${CMAKE_SOURCE_DIR}/cloud/OssAccountSettings.h.in" "${output}" @ONLY)
endfunction()
