# Signs a Windows executable in place with Authenticode (SHA-256), in script mode:
#
#   cmake -DEXE=<file> -DPFX=<PKCS#12 file> [-DPASSWORD_FILE=<file>] [-DTIMESTAMP_URL=<url>]
#         [-DDESCRIPTION=<text>] [-DOSSLSIGNCODE=<program>] -P SignExecutable.cmake
#
# The signed image is written beside the executable and then renamed over it, so that an
# interrupted build never leaves a half-signed file. When signing fails the executable is deleted:
# the build tool would otherwise take the unsigned file for a finished one (for example after a
# return to settings that once signed it) and never link and sign it again.
# The password is read by osslsigncode from its file and never appears on a command line.
cmake_minimum_required(VERSION 3.25)

foreach(required EXE PFX)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "SignExecutable: ${required} is not set")
  endif()
endforeach()
if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "SignExecutable: ${EXE} does not exist")
endif()
if(NOT EXISTS "${PFX}")
  message(FATAL_ERROR "SignExecutable: the PKCS#12 file ${PFX} does not exist")
endif()
if(NOT OSSLSIGNCODE)
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()

set(command "${OSSLSIGNCODE}" sign -pkcs12 "${PFX}" -h sha256)
if(PASSWORD_FILE)
  if(NOT EXISTS "${PASSWORD_FILE}")
    message(FATAL_ERROR "SignExecutable: the password file ${PASSWORD_FILE} does not exist")
  endif()
  list(APPEND command -readpass "${PASSWORD_FILE}")
endif()
if(DESCRIPTION)
  list(APPEND command -n "${DESCRIPTION}")
endif()
if(TIMESTAMP_URL)
  # An RFC 3161 time stamp keeps the signature valid after the certificate expires.
  list(APPEND command -ts "${TIMESTAMP_URL}")
endif()

set(signing "${EXE}.signing")
file(REMOVE "${signing}")
execute_process(COMMAND ${command} -in "${EXE}" -out "${signing}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS "${signing}")
  file(REMOVE "${signing}" "${EXE}")
  message(FATAL_ERROR "SignExecutable: osslsigncode could not sign ${EXE} (${status}), so it was deleted:\n${output}")
endif()
# osslsigncode writes a new file with plain read-write rights; the executable keeps its own.
file(CHMOD "${signing}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
file(RENAME "${signing}" "${EXE}")
