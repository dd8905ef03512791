# Turns the release public key (a PEM SubjectPublicKeyInfo file) into the 64 bytes X||Y of its
# point, refusing anything but an ECDSA P-256 key. Used at configure time and by a test in script
# mode. The installer itself then never parses ASN.1.

# The DER prefix of every P-256 SubjectPublicKeyInfo with an uncompressed point: the algorithm
# (id-ecPublicKey, prime256v1), the bit string's header and the 0x04 of an uncompressed point.
set(_KAVRINDEL_P256_SPKI_PREFIX "3059301306072a8648ce3d020106082a8648ce3d03010703420004")

# out_bytes receives "0x..,0x..,..." (64 bytes) for a C array.
function(kavrindel_release_key_bytes pem openssl out_bytes)
  if(NOT EXISTS "${pem}")
    message(FATAL_ERROR "KAVRINDEL_RELEASE_PUBLIC_KEY: ${pem} does not exist (or pass none)")
  endif()
  file(READ "${pem}" text)
  if(NOT text MATCHES "-----BEGIN PUBLIC KEY-----")
    message(FATAL_ERROR "KAVRINDEL_RELEASE_PUBLIC_KEY: ${pem} holds no \"-----BEGIN PUBLIC KEY-----\" block")
  endif()
  get_filename_component(name "${pem}" NAME)
  string(RANDOM LENGTH 8 tag)
  set(der "${CMAKE_CURRENT_BINARY_DIR}/${name}.${tag}.der")
  execute_process(
    COMMAND "${openssl}" pkey -pubin -in "${pem}" -outform DER -out "${der}"
    RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    file(REMOVE "${der}")
    message(FATAL_ERROR "KAVRINDEL_RELEASE_PUBLIC_KEY: openssl cannot read ${pem} as a public key: ${error}")
  endif()
  # Only an elliptic-curve key has a point form; the point is wanted uncompressed.
  execute_process(
    COMMAND "${openssl}" pkey -pubin -in "${pem}" -outform DER -ec_conv_form uncompressed -out "${der}"
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(NOT result EQUAL 0)
    file(REMOVE "${der}")
    message(FATAL_ERROR "not an ECDSA P-256 key (KAVRINDEL_RELEASE_PUBLIC_KEY): ${pem}")
  endif()
  file(READ "${der}" hex HEX)
  file(REMOVE "${der}")
  string(LENGTH "${_KAVRINDEL_P256_SPKI_PREFIX}" prefix_length)
  string(LENGTH "${hex}" hex_length)
  math(EXPR expected_length "${prefix_length} + 128")
  if(hex_length LESS prefix_length)
    set(prefix "")
  else()
    string(SUBSTRING "${hex}" 0 ${prefix_length} prefix)
  endif()
  if(NOT hex_length EQUAL expected_length OR NOT prefix STREQUAL _KAVRINDEL_P256_SPKI_PREFIX)
    message(FATAL_ERROR "not an ECDSA P-256 key (KAVRINDEL_RELEASE_PUBLIC_KEY): ${pem}; release keys are "
                        "made by tools/release-signing/make_key_pair.py")
  endif()
  string(SUBSTRING "${hex}" ${prefix_length} 128 point)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${point}")
  string(REGEX REPLACE ",$" "" bytes "${bytes}")
  set(${out_bytes} "${bytes}" PARENT_SCOPE)
endfunction()
