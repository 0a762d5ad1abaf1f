# Fetches the pinned RNNoise WebAssembly package with npm, checks it against
# its pinned SHA-512 and translates its module to C with wasm2c.
#
# cmake -DNPM=... -DWASM2C=... -DPACKAGE=name@version -DTARBALL=file.tgz
#       -DSHA512=hex -DWORK_DIR=dir -DOUTPUT=dir/rnnoise_wasm.c -P this file
#
# The tarball stays in WORK_DIR, so later builds in the same tree translate
# again without the network.
foreach(variable NPM WASM2C PACKAGE TARBALL SHA512 WORK_DIR OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "fetch_rnnoise_wasm: ${variable} is not set")
  endif()
endforeach()

set(tarball "${WORK_DIR}/${TARBALL}")

function(tarball_matches result)
  set(${result} FALSE PARENT_SCOPE)
  if(EXISTS "${tarball}")
    file(SHA512 "${tarball}" actual)
    if(actual STREQUAL SHA512)
      set(${result} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

tarball_matches(cached)
if(NOT cached)
  file(REMOVE "${tarball}")
  file(MAKE_DIRECTORY "${WORK_DIR}")
  # A private npm cache keeps the build from writing into the user's.
  execute_process(
    COMMAND "${NPM}" pack "${PACKAGE}" --pack-destination "${WORK_DIR}"
            --cache "${WORK_DIR}/npm-cache" --silent --no-audit --no-fund
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE npm_result
    OUTPUT_VARIABLE npm_output
    ERROR_VARIABLE npm_error)
  if(NOT npm_result EQUAL 0 OR NOT EXISTS "${tarball}")
    message(FATAL_ERROR "npm pack ${PACKAGE} failed (${npm_result}):\n${npm_output}${npm_error}")
  endif()
  tarball_matches(fetched)
  if(NOT fetched)
    file(SHA512 "${tarball}" actual)
    file(REMOVE "${tarball}")
    message(FATAL_ERROR "${PACKAGE}: SHA-512 ${actual} differs from the pinned ${SHA512}")
  endif()
endif()

set(unpacked "${WORK_DIR}/unpacked")
file(REMOVE_RECURSE "${unpacked}")
file(MAKE_DIRECTORY "${unpacked}")
file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${unpacked}" PATTERNS package/dist/rnnoise.wasm)
set(module "${unpacked}/package/dist/rnnoise.wasm")
if(NOT EXISTS "${module}")
  message(FATAL_ERROR "${PACKAGE} holds no dist/rnnoise.wasm")
endif()

# The module name gives the generated symbols their Z_rnnoise prefix.
execute_process(
  COMMAND "${WASM2C}" "${module}" -n rnnoise -o "${OUTPUT}"
  RESULT_VARIABLE wasm2c_result
  ERROR_VARIABLE wasm2c_error)
if(NOT wasm2c_result EQUAL 0)
  message(FATAL_ERROR "wasm2c failed (${wasm2c_result}): ${wasm2c_error}")
endif()
file(REMOVE_RECURSE "${unpacked}")
