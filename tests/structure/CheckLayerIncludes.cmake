# cmake -DSOURCE_DIR=<root> -P CheckLayerIncludes.cmake
# Every #include "<folder>/..." in a layer's sources names that layer or one below it. The
# layer link checks catch calls across layers; this catches headers used alone (constants,
# inline code), which link to nothing.
cmake_minimum_required(VERSION 3.24)
# The UTF-8 conversion (support/Utf8, target kor_utf8) depends on nothing and sits below
# the platform layer, whose Windows side hands UTF-16 paths to the system.
set(allowed_platform utf8 platform)
set(allowed_support ${allowed_platform} support)
set(allowed_jobs ${allowed_support} jobs)
set(allowed_codec ${allowed_jobs} codec)
# The frame model implements the public interfaces, and its particle groups are its own.
set(allowed_frame ${allowed_codec} frame particles korloader)
set(allowed_particles ${allowed_frame})
set(allowed_cachefile ${allowed_frame} cachefile)
set(allowed_foreign ${allowed_frame} foreign)
set(allowed_loader ${allowed_cachefile} foreign loader)

set(violations "")
foreach(layer platform support jobs codec frame particles cachefile foreign loader)
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^#include \"[^/\"]+/")
        foreach(line ${includes})
            string(REGEX REPLACE "^#include \"([^/\"]+)/.*" "\\1" folder "${line}")
            if(line MATCHES "^#include \"support/Utf8\\.h\"")
                set(folder utf8)
            endif()
            if(NOT folder IN_LIST allowed_${layer})
                file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
                string(APPEND violations "  ${name}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()
if(violations)
    message(FATAL_ERROR "Includes from a layer above or beside:\n${violations}")
endif()
