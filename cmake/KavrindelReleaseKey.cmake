# The release public key compiled into the installer: the cache variable names a PEM file
# (SubjectPublicKeyInfo) whose P-256 point goes into a generated header; `none` builds an installer
# that verifies nothing. By default the test key of the local bucket under tools/ is used.
set(KAVRINDEL_TEST_RELEASE_PUBLIC_KEY "${CMAKE_SOURCE_DIR}/tools/release-signing/test-key/public-key.pem")
set(KAVRINDEL_RELEASE_PUBLIC_KEY "${KAVRINDEL_TEST_RELEASE_PUBLIC_KEY}" CACHE STRING
    "PEM file with the vendor's ECDSA P-256 release public key (relative: below the source folder), or none")

include(KavrindelReleaseKeyCheck)

function(kavrindel_generate_release_key_header output)
  if(KAVRINDEL_RELEASE_PUBLIC_KEY STREQUAL "none")
    message(WARNING
      "KAVRINDEL_RELEASE_PUBLIC_KEY is none: this installer verifies no release. It installs whatever "
      "summary.ini and the packages hold, so anyone who can change the bucket or the network path can "
      "make it run any program with administrator rights. Build releases for users with a release key.")
    set(KAV_RELEASE_KEY_PRESENT_C "false")
    set(KAV_RELEASE_KEY_BYTES_C "0")
  else()
    find_program(KAVRINDEL_OPENSSL NAMES openssl REQUIRED)
    # A relative path names a file below the source folder.
    get_filename_component(pem "${KAVRINDEL_RELEASE_PUBLIC_KEY}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
    kavrindel_release_key_bytes("${pem}" "${KAVRINDEL_OPENSSL}" bytes)
    if(KAVRINDEL_RELEASE_PUBLIC_KEY STREQUAL KAVRINDEL_TEST_RELEASE_PUBLIC_KEY)
      message(STATUS "Release verification with the local bucket's test key (tools/release-signing/test-key)")
    else()
      message(STATUS "Release verification with ${pem}")
    endif()
    set(KAV_RELEASE_KEY_PRESENT_C "true")
    set(KAV_RELEASE_KEY_BYTES_C "${bytes}")
    # A new key in the same file is picked up by the next build.
    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pem}")
  endif()
  configure_file("${CMAKE_SOURCE_DIR}/cloud/ReleaseKeySettings.h.in" "${output}" @ONLY)
endfunction()
