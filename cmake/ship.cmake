# Turns a freshly linked binary into the one that ships: its debug sections
# and symbols move to FILE.debug beside it (a debug link names that file), and
# with SIGN_PKCS12 it gets an Authenticode signature. On any failure FILE is
# removed, so no unsigned binary stands where a signed one was asked for and
# the next build links it again.
#   cmake -DFILE=... -DOBJCOPY=... -DEPOCH=... [-DSIGN_PKCS12=... [-DSIGN_TIMESTAMP_URL=...]] -P ship.cmake
# With -DSIGN_ONLY=ON the file is only signed (an installer packed from a
# stub that was stripped already).
# The PKCS#12 password comes from the environment (VARNEL_SIGN_PASSWORD),
# never from a command line.
cmake_minimum_required(VERSION 3.25)

get_filename_component(name ${FILE} NAME)
get_filename_component(folder ${FILE} DIRECTORY)
set(work ${FILE}.ship)
# objcopy writes a new PE time stamp: the build's fixed one.
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})

function(fail message)
  file(REMOVE ${FILE} ${work} ${work}.signed)
  message(FATAL_ERROR "${name}: ${message}")
endfunction()

function(run what)
  execute_process(${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("${what}\n${out}${err}")
  endif()
endfunction()

if(SIGN_ONLY)
  if(NOT SIGN_PKCS12)
    return()
  endif()
  file(COPY_FILE ${FILE} ${work})
else()
  run("cannot keep the debug information apart"
    COMMAND ${OBJCOPY} --only-keep-debug ${FILE} ${FILE}.debug)
  # The debug link holds the file name only; objcopy reads the file for its CRC.
  run("cannot strip"
    COMMAND ${OBJCOPY} --strip-all --add-gnu-debuglink=${name}.debug ${FILE} ${work}
    WORKING_DIRECTORY ${folder})
endif()

if(SIGN_PKCS12)
  if(NOT EXISTS ${SIGN_PKCS12})
    fail("no signing certificate: VARNEL_SIGN_PKCS12 names ${SIGN_PKCS12}, which does not exist")
  endif()
  execute_process(
    COMMAND openssl pkcs12 -in ${SIGN_PKCS12} -passin env:VARNEL_SIGN_PASSWORD -nokeys -clcerts
    COMMAND openssl x509 -noout -checkend 0
    RESULTS_VARIABLE rcs OUTPUT_VARIABLE out ERROR_VARIABLE err)
  list(GET rcs 0 open_rc)
  list(GET rcs 1 valid_rc)
  if(NOT open_rc EQUAL 0)
    fail("cannot open ${SIGN_PKCS12}: wrong password in VARNEL_SIGN_PASSWORD, or not a PKCS#12 file\n${err}")
  elseif(NOT valid_rc EQUAL 0)
    fail("the certificate in ${SIGN_PKCS12} has expired (or holds no certificate for its key)")
  endif()
  set(stamp)
  if(SIGN_TIMESTAMP_URL)
    set(stamp -ts ${SIGN_TIMESTAMP_URL})
  endif()
  # The password reaches osslsigncode on its standard input.
  run("signing failed"
    COMMAND sh -c "printf '%s' \"$VARNEL_SIGN_PASSWORD\""
    COMMAND osslsigncode sign -pkcs12 ${SIGN_PKCS12} -readpass - -h sha256 ${stamp}
            -in ${work} -out ${work}.signed)
  file(RENAME ${work}.signed ${work})
endif()
file(RENAME ${work} ${FILE})
