# Makes the build folder's test code-signing certificate, in script mode:
#
#   cmake -DDIR=<folder> -DSUBJECT=<signer subject> -DROOT_SUBJECT=<root subject> [-DOPENSSL=<program>]
#         -P MakeTestSigningCertificate.cmake
#
# A test root CA and a leaf certificate for code signing that it issued, both with OpenSSL. DIR then
# holds test-root.pem (the root, for verifiers), test-signer.pfx (the leaf with its key and the
# root) and test-signer.password (the PFX's random password, readable by the owner only). The
# private keys go nowhere else: once the PFX exists the root's key is deleted, so that nobody can
# issue more certificates under a root that someone may have trusted for a test.
cmake_minimum_required(VERSION 3.25)

foreach(required DIR SUBJECT ROOT_SUBJECT)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "MakeTestSigningCertificate: ${required} is not set")
  endif()
endforeach()
if(NOT OPENSSL)
  find_program(OPENSSL openssl REQUIRED)
endif()

set(key_type rsa:3072)
set(valid_days 3650)

function(run)
  execute_process(COMMAND "${OPENSSL}" ${ARGN} WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "MakeTestSigningCertificate: openssl ${ARGV0} failed (${status}):\n${output}")
  endif()
endfunction()

# Everything is made in a fresh folder and moved into place at the end.
set(work "${DIR}/.making")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

file(WRITE "${work}/extensions.cnf" "[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
")

run(req -x509 -newkey ${key_type} -nodes -sha256 -days ${valid_days} -subj "${ROOT_SUBJECT}"
    -config extensions.cnf -extensions root -keyout root.key -out test-root.pem)
run(req -new -newkey ${key_type} -nodes -sha256 -subj "${SUBJECT}" -keyout signer.key -out signer.csr)
run(x509 -req -in signer.csr -CA test-root.pem -CAkey root.key -sha256 -days ${valid_days}
    -extfile extensions.cnf -extensions signer -out signer.pem)
run(rand -hex -out test-signer.password 24)
file(CHMOD "${work}/test-signer.password" PERMISSIONS OWNER_READ OWNER_WRITE)
run(pkcs12 -export -inkey signer.key -in signer.pem -certfile test-root.pem -name "${SUBJECT}"
    -passout file:test-signer.password -out test-signer.pfx)
file(CHMOD "${work}/test-signer.pfx" PERMISSIONS OWNER_READ OWNER_WRITE)

foreach(name test-root.pem test-signer.password test-signer.pfx)
  file(RENAME "${work}/${name}" "${DIR}/${name}")
endforeach()
file(REMOVE_RECURSE "${work}")
