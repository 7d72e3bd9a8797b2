cmake_minimum_required(VERSION 3.21)
# Runs the digest program on the frames and compares its lines with the recorded ones.
#   -DDIGEST=<command, '|'-separated> -DFRAMES=<paths, '|'-separated> -DEXPECTED=<file>
#   [-DUPDATE=ON]  rewrites EXPECTED instead (the Linux build's update_crosscheck_digests)
string(REPLACE "|" ";" command "${DIGEST}")
list(FILTER command EXCLUDE REGEX "^$")
string(REPLACE "|" ";" frames "${FRAMES}")
execute_process(COMMAND ${command} ${frames}
    OUTPUT_VARIABLE actual ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the digest program failed (${result}):\n${errors}")
endif()
# Windows writes its text with "\r\n".
string(REPLACE "\r" "" actual "${actual}")
if(UPDATE)
    file(WRITE ${EXPECTED} "${actual}")
    message(STATUS "wrote ${EXPECTED}")
    return()
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "this build reads the frames differently\nexpected:\n${expected}\n"
                        "actual:\n${actual}")
endif()
