# Install -> configure consumer -> build -> run. Any failing step fails the test.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})
set(find_options -DCMAKE_PREFIX_PATH=${prefix})
if(TOOLCHAIN_FILE)
    # A cross toolchain looks for packages under its target root only.
    set(find_options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}
        -Dkorloader_DIR=${prefix}/lib/cmake/korloader)
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
    ${find_options}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
string(REPLACE "|" ";" emulator "${EMULATOR}")
if(emulator)
    # Found through the DLL search path, as a host finds it; Wine adds WINEPATH to it.
    run(${CMAKE_COMMAND} -E env WINEPATH=Z:${prefix}/bin ${emulator}
        ${WORK_DIR}/build/consumer.exe)
else()
    run(${WORK_DIR}/build/consumer)
endif()
if(NOT last_output MATCHES "korloader 3.4.0")
    message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()
message(STATUS "${last_output}")
