# Authenticode signing of the installer (osslsigncode, SHA-256) right after it is linked.
#
# A vendor build names its code-signing certificate:
#   KAVRINDEL_SIGNING_PFX             the PKCS#12 file with the certificate, its chain and its key
#   KAVRINDEL_SIGNING_PASSWORD_FILE   a file whose first line is the PFX's password
#   KAVRINDEL_SIGNING_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional)
#   KAVRINDEL_SIGNING_ROOTS           root certificates (PEM) that the build tests check the signature
#                                     against (optional; without it, the roots this machine trusts)
# Without a PFX the build makes a test root CA and a code-signing certificate under it, once per
# build folder (signing/ in it), and signs with those, so that every build runs a signed installer.
set(KAVRINDEL_SIGNING_PFX "" CACHE FILEPATH "PKCS#12 file of the vendor's code-signing certificate (empty: a test certificate of the build folder)")
set(KAVRINDEL_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File that holds the password of KAVRINDEL_SIGNING_PFX")
set(KAVRINDEL_SIGNING_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature (empty: none)")
set(KAVRINDEL_SIGNING_ROOTS "" CACHE FILEPATH "Root certificates (PEM) that the tests check a vendor's signature against (empty: the machine's)")

find_program(KAVRINDEL_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(KAVRINDEL_OPENSSL openssl REQUIRED)

set(KAVRINDEL_TEST_SIGNING_DIR "${CMAKE_BINARY_DIR}/signing")
set(KAVRINDEL_TEST_SIGNER_SUBJECT "/O=Ondrix Information/CN=Ondrix Information test code signing")
set(KAVRINDEL_TEST_ROOT_SUBJECT "/O=Ondrix Information/CN=Kavrindel test root")
set(KAVRINDEL_TEST_ROOT_CERTIFICATE "${KAVRINDEL_TEST_SIGNING_DIR}/test-root.pem")

if(KAVRINDEL_SIGNING_PFX)
  if(NOT EXISTS "${KAVRINDEL_SIGNING_PFX}")
    message(FATAL_ERROR "KAVRINDEL_SIGNING_PFX: ${KAVRINDEL_SIGNING_PFX} does not exist")
  endif()
  if(KAVRINDEL_SIGNING_PASSWORD_FILE AND NOT EXISTS "${KAVRINDEL_SIGNING_PASSWORD_FILE}")
    message(FATAL_ERROR "KAVRINDEL_SIGNING_PASSWORD_FILE: ${KAVRINDEL_SIGNING_PASSWORD_FILE} does not exist")
  endif()
  set(KAVRINDEL_SIGNING_USES_TEST_CERTIFICATE OFF)
  set(KAVRINDEL_SIGNING_PFX_IN_USE "${KAVRINDEL_SIGNING_PFX}")
  set(KAVRINDEL_SIGNING_PASSWORD_FILE_IN_USE "${KAVRINDEL_SIGNING_PASSWORD_FILE}")
else()
  set(KAVRINDEL_SIGNING_USES_TEST_CERTIFICATE ON)
  set(KAVRINDEL_SIGNING_PFX_IN_USE "${KAVRINDEL_TEST_SIGNING_DIR}/test-signer.pfx")
  set(KAVRINDEL_SIGNING_PASSWORD_FILE_IN_USE "${KAVRINDEL_TEST_SIGNING_DIR}/test-signer.password")
  # Made when missing and kept afterwards: rebuilds sign with the same certificate.
  add_custom_command(
    OUTPUT "${KAVRINDEL_TEST_ROOT_CERTIFICATE}" "${KAVRINDEL_SIGNING_PFX_IN_USE}" "${KAVRINDEL_SIGNING_PASSWORD_FILE_IN_USE}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${KAVRINDEL_TEST_SIGNING_DIR}"
    COMMAND "${CMAKE_COMMAND}" "-DDIR=${KAVRINDEL_TEST_SIGNING_DIR}" "-DSUBJECT=${KAVRINDEL_TEST_SIGNER_SUBJECT}"
            "-DROOT_SUBJECT=${KAVRINDEL_TEST_ROOT_SUBJECT}" "-DOPENSSL=${KAVRINDEL_OPENSSL}"
            -P "${CMAKE_CURRENT_LIST_DIR}/MakeTestSigningCertificate.cmake"
    COMMENT "Making the build folder's test code-signing certificate"
    VERBATIM)
  add_custom_target(kavrindel_test_signing_certificate
    DEPENDS "${KAVRINDEL_SIGNING_PFX_IN_USE}" "${KAVRINDEL_SIGNING_PASSWORD_FILE_IN_USE}")
endif()

# kavrindel_sign_executable(<target> <description>)
#   Signs the target's file after every link. A new certificate file or signing script relinks the
#   target and so signs it again.
function(kavrindel_sign_executable target description)
  if(KAVRINDEL_SIGNING_USES_TEST_CERTIFICATE)
    add_dependencies(${target} kavrindel_test_signing_certificate)
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
               "${KAVRINDEL_SIGNING_PFX_IN_USE}" "${CMAKE_SOURCE_DIR}/cmake/SignExecutable.cmake")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DEXE=$<TARGET_FILE:${target}>" "-DPFX=${KAVRINDEL_SIGNING_PFX_IN_USE}"
            "-DPASSWORD_FILE=${KAVRINDEL_SIGNING_PASSWORD_FILE_IN_USE}"
            "-DTIMESTAMP_URL=${KAVRINDEL_SIGNING_TIMESTAMP_URL}" "-DDESCRIPTION=${description}"
            "-DOSSLSIGNCODE=${KAVRINDEL_OSSLSIGNCODE}" -P "${CMAKE_SOURCE_DIR}/cmake/SignExecutable.cmake"
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()
